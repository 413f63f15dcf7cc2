// Loopback stand-ins for the backup service: an FTP server (pyftpdlib) and
// an HTTP endpoint that logs every request path. Started by the tests,
// stopped by pid.
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace apptest {

class FtpPeer {
 public:
  ~FtpPeer();
  // Serves `home` (which must exist) for user/password on address:port.
  // With bytes_per_second > 0 the server takes uploads no faster than that
  // (pyftpdlib's throttled data handler).
  void Start(const std::string& address, int port, const std::string& home, const std::string& user,
             const std::string& password, int bytes_per_second = 0);
  void Stop();

 private:
  testsupport::TempDir dir_{"yedek-ftp"};
  pid_t pid_ = -1;
};

class HttpPeer {
 public:
  ~HttpPeer();
  void Start(const std::string& address, int port);
  void Stop();
  // Request paths received so far, one per line.
  std::string Log() const;

 private:
  testsupport::TempDir dir_{"yedek-http"};
  pid_t pid_ = -1;
};

}  // namespace apptest
