// The service values of this build, from the compile definitions that
// app/CMakeLists.txt sets from the CMake cache (the one place they come from).
#include "app/service_config.h"

namespace app {

ServiceConfig compiled_service_config() {
  ServiceConfig c;
  c.host = YEDEK_SERVICE_HOST;
  c.user = YEDEK_SERVICE_USER;
  c.password = kServicePassword;
  c.ftp_port = YEDEK_FTP_PORT;
  c.web_port = YEDEK_WEB_PORT;
  return c;
}

}  // namespace app
