// A TCP relay on loopback that slows the bytes down, so a backup run through
// it lasts long enough to watch the window, press İPTAL or close it.
//
// Flow: ThrottledProxy p(listen_address, listen_port, target_address,
// target_port, bytes_per_second); p.Start(); ... destructor (or Stop) ends
// the relay thread and closes every connection. Each direction of each
// connection gets at most bytes_per_second. Used from the test thread; the
// relay runs on a thread of its own.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace apptest {

class ThrottledProxy {
 public:
  ThrottledProxy(std::string listen_address, int listen_port, std::string target_address,
                 int target_port, int bytes_per_second);
  ~ThrottledProxy();
  ThrottledProxy(const ThrottledProxy&) = delete;
  ThrottledProxy& operator=(const ThrottledProxy&) = delete;

  void Start();
  void Stop();
  // Stops forwarding (connections stay open, nothing moves) or resumes.
  void Stall(bool stalled) { stalled_ = stalled; }

 private:
  void Run(int listener);

  std::string listen_address_, target_address_;
  int listen_port_, target_port_, rate_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> stalled_{false};
};

}  // namespace apptest
