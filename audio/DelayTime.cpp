#include "audio/DelayTime.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tolbe::audio {

void DelayTime(int ms, const std::function<void()>& between) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto wait = std::chrono::milliseconds(ms);
    constexpr auto kPoll = std::chrono::milliseconds(1);
    for (auto elapsed = Clock::now() - start; elapsed < wait; elapsed = Clock::now() - start) {
        if (between) between();
        const auto left = wait - (Clock::now() - start);
        if (left > Clock::duration::zero()) std::this_thread::sleep_for(std::min<Clock::duration>(left, kPoll));
    }
}

} // namespace tolbe::audio
