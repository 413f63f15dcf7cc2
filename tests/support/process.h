// Starting and stopping helper processes (servers) from tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// Runs a shell command, returns its exit status (-1 when it did not exit).
int run_shell(const std::string& command);
// Runs a shell command and returns its standard output; throws when it fails.
std::string shell_output(const std::string& command);
// Quotes a word for /bin/sh.
std::string shell_quote(const std::string& word);

// Starts argv detached (own session, stdin from /dev/null, stdout and stderr
// to log_path). Returns the pid.
pid_t spawn(const std::vector<std::string>& argv, const std::string& log_path);
// SIGTERM, then SIGKILL after timeout_ms; reaps the child.
void stop_process(pid_t pid, int timeout_ms = 10000);

// A TCP port on 127.0.0.1 that was free a moment ago.
int free_tcp_port(const std::string& address = "127.0.0.1");
// True once something accepts TCP connections on address:port.
bool wait_for_port(const std::string& address, int port, int timeout_ms);

// Directory of the source tree (YEDEK_SOURCE_DIR set by CTest, else cwd).
std::string source_dir();
std::string binary_dir();

}  // namespace testsupport
