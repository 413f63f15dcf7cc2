// The upload under a temporary name; see ftp_upload.h.
#include "ftp/ftp_upload.h"

namespace ftp {

TNetCleanupShield::TNetCleanupShield(TNetFTP& client)
    : scope_(calm_), client_(client), saved_read_timeout_(client.ReadTimeout()) {
  if (saved_read_timeout_ <= 0 || saved_read_timeout_ > kCleanupReplyMs)
    client.SetReadTimeout(kCleanupReplyMs);
}

TNetCleanupShield::~TNetCleanupShield() { client_.SetReadTimeout(saved_read_timeout_); }

void put_via_temporary_name(TNetFTP& client, TStream& source, const std::string& name) {
  const std::string partial = name + kPartialSuffix;
  try {
    client.Put(source, partial, false, -1);
    client.Rename(partial, name);
  } catch (...) {
    try {
      TNetCleanupShield shield(client);
      if (client.IsConnected()) client.Delete(partial);
    } catch (...) {
      // best effort: the ".part" name marks the file as incomplete anyway
    }
    throw;
  }
}

}  // namespace ftp
