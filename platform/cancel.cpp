#include "platform/cancel.h"

namespace platform {
namespace {
thread_local const CancelToken* current_token = nullptr;
}  // namespace

CancelScope::CancelScope(const CancelToken& token) : previous_(current_token) {
  current_token = &token;
}

CancelScope::~CancelScope() { current_token = previous_; }

bool cancel_requested() { return current_token != nullptr && current_token->Cancelled(); }

void throw_if_cancelled() {
  if (cancel_requested()) throw ECancelled();
}

}  // namespace platform
