#include "audio/DelayTime.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace tolbe;
using namespace tolbe::audio;

namespace {

struct CountingYield {
    void operator()() { ++calls; }
    int calls = 0;
};

} // namespace

TEST(DelayTime, WaitsAtLeastTheGivenTimeWhileProcessingEvents) {
    CountingYield yield;
    const auto start = std::chrono::steady_clock::now();
    DelayTime(30, std::ref(yield));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(30));
    // Events are processed again and again during the wait, not once.
    EXPECT_GE(yield.calls, 2);
}

TEST(DelayTime, ZeroOrNegativeReturnsWithoutProcessingEvents) {
    CountingYield yield;
    DelayTime(0, std::ref(yield));
    DelayTime(-5, std::ref(yield));
    EXPECT_EQ(yield.calls, 0);
}
