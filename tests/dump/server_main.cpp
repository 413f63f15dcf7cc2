// Registers the private server for the dump's server tests.
#include <gtest/gtest.h>

#include "tests/dump/server_fixture.h"

namespace {
const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new dumptest::ServerEnvironment);
}  // namespace
