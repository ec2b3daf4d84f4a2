#include "audio/DelayTime.h"

#include "common/Prompt.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace tolbe;
using namespace tolbe::audio;

namespace {

class CountingYield final : public Yield {
public:
    void DoEvents() override { ++calls; }
    int calls = 0;
};

} // namespace

TEST(DelayTime, WaitsAtLeastTheGivenTimeWhileProcessingEvents) {
    CountingYield yield;
    const auto start = std::chrono::steady_clock::now();
    DelayTime(30, yield);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(30));
    // Events are processed again and again during the wait, not once.
    EXPECT_GE(yield.calls, 2);
}

TEST(DelayTime, ZeroOrNegativeReturnsWithoutProcessingEvents) {
    CountingYield yield;
    DelayTime(0, yield);
    DelayTime(-5, yield);
    EXPECT_EQ(yield.calls, 0);
}
