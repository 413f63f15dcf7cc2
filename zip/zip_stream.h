// The seekable byte streams the archiver reads sources from and writes
// archives to, under the names the archiver uses; see platform/byte_stream.h.
// The archiver owns the streams it opens; a caller may hand it its own
// archive stream instead.
#pragma once

#include "platform/byte_stream.h"

namespace zip {

using TZipStream = platform::ByteStream;
using TZipFileStream = platform::FileStream;
using platform::copy_stream;

}  // namespace zip
