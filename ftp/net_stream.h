// The byte streams the upload (TNetFTP::Put) and TNetIOHandlerStack::
// WriteStream read, under the names the FTP client uses; see
// platform/byte_stream.h.
#pragma once

#include "platform/byte_stream.h"

namespace ftp {

using TStream = platform::ByteStream;
using TFileStream = platform::FileStream;
using TMemoryStream = platform::MemoryStream;

}  // namespace ftp
