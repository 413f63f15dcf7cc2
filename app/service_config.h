// The backup service the upload and the web notice talk to.
//
// The program's own values are compiled in from the build configuration
// (service_config.cpp, built into the executable); tests hand the application
// values of their own.
#pragma once

#include <string>

namespace app {

struct ServiceConfig {
  std::string host;      // FTP server and web notice host
  std::string user;      // FTP account
  std::string password;  // FTP password
  int ftp_port = 21;
  int web_port = 80;
};

// The fixed FTP password of the service.
inline constexpr const char* kServicePassword = "Vq4RmT8xLc2N";

// Values of this build (YEDEK_SERVICE_HOST, YEDEK_SERVICE_USER,
// YEDEK_FTP_PORT, YEDEK_WEB_PORT).
ServiceConfig compiled_service_config();

}  // namespace app
