// Cancelling a long run from another thread.
//
// The user-interface thread owns a CancelToken and raises it when the operator
// asks to stop; the worker thread installs it with a CancelScope for the
// length of the run. Code that may wait or loop for long (socket waits, row
// loops, compression loops) calls throw_if_cancelled() at least every
// kCancelPollMs, so a run stops within a fraction of a second. The exception
// unwinds through the components, whose destructors and guards clean up as on
// any other error.
//
// Flow: token.Reset() -> std::thread([&] { CancelScope s(token); ... }) ->
// token.Cancel() from any thread -> throw_if_cancelled() raises ECancelled on
// the worker.
#pragma once

#include <atomic>
#include <stdexcept>

namespace platform {

// Longest slice a cancellable wait blocks before it checks the token again.
inline constexpr int kCancelPollMs = 200;

// Raised on the worker when its run was cancelled.
class ECancelled : public std::runtime_error {
 public:
  ECancelled() : std::runtime_error("Operation cancelled") {}
};

class CancelToken {
 public:
  void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  void Reset() { cancelled_.store(false, std::memory_order_relaxed); }
  bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> cancelled_{false};
};

// Installs a token for the current thread while the scope lasts; scopes nest.
class CancelScope {
 public:
  explicit CancelScope(const CancelToken& token);
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;

 private:
  const CancelToken* previous_;
};

// True when the current thread's token (if any) is raised.
bool cancel_requested();
// Raises ECancelled when cancel_requested().
void throw_if_cancelled();

}  // namespace platform
