// pyftpdlib and a minimal HTTP endpoint for the upload and notice tests.
#include "tests/app/service_peers.h"

#include <stdexcept>

#include "tests/support/process.h"

namespace apptest {

FtpPeer::~FtpPeer() { Stop(); }

void FtpPeer::Start(const std::string& address, int port, const std::string& home,
                    const std::string& user, const std::string& password, int bytes_per_second) {
  int pasv = testsupport::free_tcp_port(address);
  std::string range = std::to_string(pasv) + "-" + std::to_string(pasv + 4);
  if (bytes_per_second > 0) {
    std::string script = dir_.file("throttled.py");
    testsupport::write_all(script,
                           "import sys\n"
                           "from pyftpdlib.authorizers import DummyAuthorizer\n"
                           "from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler\n"
                           "from pyftpdlib.servers import FTPServer\n"
                           "addr, port, lo, hi, home, user, pw, rate = sys.argv[1:9]\n"
                           "auth = DummyAuthorizer()\n"
                           "auth.add_user(user, pw, home, perm='elradfmwMT')\n"
                           "ThrottledDTPHandler.read_limit = int(rate)\n"
                           // pyftpdlib 1.5.7 closes a data connection reset
                           // before it was accepted inside the base
                           // constructor, before _throttler exists: the
                           // AttributeError would end the whole server.
                           "ThrottledDTPHandler._throttler = None\n"
                           "FTPHandler.dtp_handler = ThrottledDTPHandler\n"
                           "FTPHandler.authorizer = auth\n"
                           "FTPHandler.passive_ports = range(int(lo), int(hi) + 1)\n"
                           "FTPServer((addr, int(port)), FTPHandler).serve_forever()\n");
    pid_ = testsupport::spawn(
        {"/usr/bin/python3", script, address, std::to_string(port), std::to_string(pasv),
         std::to_string(pasv + 4), home, user, password, std::to_string(bytes_per_second)},
        dir_.file("ftp.log"));
  } else {
    pid_ = testsupport::spawn(
        {"/usr/bin/python3", "-m", "pyftpdlib", "-i", address, "-p", std::to_string(port), "-r",
         range, "-w", "-d", home, "-u", user, "-P", password},
        dir_.file("ftp.log"));
  }
  if (!testsupport::wait_for_port(address, port, 10000))
    throw std::runtime_error("pyftpdlib did not start: " +
                             testsupport::read_all(dir_.file("ftp.log")));
}

void FtpPeer::Stop() {
  if (pid_ > 0) testsupport::stop_process(pid_, 3000);
  pid_ = -1;
}

HttpPeer::~HttpPeer() { Stop(); }

void HttpPeer::Start(const std::string& address, int port) {
  std::string script = dir_.file("endpoint.py");
  testsupport::write_all(
      script,
      "import sys, http.server\n"
      "log = sys.argv[3]\n"
      "class H(http.server.BaseHTTPRequestHandler):\n"
      "    def do_GET(self):\n"
      "        with open(log, 'a') as f: f.write(self.path + '\\n')\n"
      "        self.send_response(200); self.send_header('Content-Length', '2')\n"
      "        self.end_headers(); self.wfile.write(b'OK')\n"
      "    def log_message(self, *a): pass\n"
      "http.server.HTTPServer((sys.argv[1], int(sys.argv[2])), H).serve_forever()\n");
  testsupport::write_all(dir_.file("requests.log"), "");
  pid_ = testsupport::spawn(
      {"/usr/bin/python3", script, address, std::to_string(port), dir_.file("requests.log")},
      dir_.file("http.log"));
  if (!testsupport::wait_for_port(address, port, 10000))
    throw std::runtime_error("HTTP endpoint did not start: " +
                             testsupport::read_all(dir_.file("http.log")));
}

void HttpPeer::Stop() {
  if (pid_ > 0) testsupport::stop_process(pid_, 3000);
  pid_ = -1;
}

std::string HttpPeer::Log() const { return testsupport::read_all(dir_.file("requests.log")); }

}  // namespace apptest
