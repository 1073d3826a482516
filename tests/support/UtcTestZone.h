// Included by a GoogleTest program whose expectations are written in UTC:
// the whole program runs with TZ=UTC.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

namespace {

class UtcEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};
const auto* const kUtc = ::testing::AddGlobalTestEnvironment(new UtcEnvironment);

}  // namespace
