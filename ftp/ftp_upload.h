// Storing a file so that a failed upload never passes for a complete one.
//
// The stream goes up under a temporary name (the name + ".part") and is
// renamed to its own name only after the server confirmed the transfer
// (RNFR/RNTO). When the transfer or the rename fails, or the run is
// cancelled, the temporary file is deleted while the control connection still
// allows it (best effort, with short waits and shielded from the cancelled
// run's token): a late reply to the transfer is passed over, and a server
// that does not show the file yet is asked again for up to 2 s. The first
// error propagates. A refused rename (a server that
// will not replace the name) fails the upload the same way.
//
// Flow: TNetFTP::Connect -> ChangeWorkingDir -> put_via_temporary_name ->
// Disconnect.
#pragma once

#include <string>

#include "ftp/net_ftp.h"

namespace ftp {

inline constexpr const char* kPartialSuffix = ".part";
// Longest wait for each answer while cleaning up after a failure.
inline constexpr int kCleanupReplyMs = 5000;

void put_via_temporary_name(TNetFTP& client, TStream& source, const std::string& name);

// Clean-up after a failure or a cancel: the cancelled run's token is still
// raised, so the clean-up runs under a token of its own that nobody raises,
// with reply waits of at most kCleanupReplyMs.
class NetCleanupShield {
 public:
  explicit NetCleanupShield(TNetFTP& client);
  ~NetCleanupShield();
  NetCleanupShield(const NetCleanupShield&) = delete;
  NetCleanupShield& operator=(const NetCleanupShield&) = delete;

 private:
  platform::CancelToken calm_;
  platform::CancelScope scope_;
  TNetFTP& client_;
  int saved_read_timeout_;
};

}  // namespace ftp
