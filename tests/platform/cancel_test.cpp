#include "platform/cancel.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(CancelTest, TokenReachesOnlyTheThreadThatInstalledIt) {
  platform::CancelToken token;
  token.Cancel();
  bool worker_saw = false;
  std::thread worker([&] {
    platform::CancelScope scope(token);
    worker_saw = platform::cancel_requested();
    EXPECT_THROW(platform::throw_if_cancelled(), platform::ECancelled);
  });
  worker.join();
  EXPECT_TRUE(worker_saw);
  EXPECT_FALSE(platform::cancel_requested());
  EXPECT_NO_THROW(platform::throw_if_cancelled());
}

TEST(CancelTest, ScopesNestAndRestoreTheOuterToken) {
  platform::CancelToken outer, inner;
  inner.Cancel();
  platform::CancelScope a(outer);
  {
    platform::CancelScope b(inner);
    EXPECT_TRUE(platform::cancel_requested());
  }
  EXPECT_FALSE(platform::cancel_requested());
  outer.Cancel();
  EXPECT_TRUE(platform::cancel_requested());
  outer.Reset();
  EXPECT_FALSE(platform::cancel_requested());
}

}  // namespace
