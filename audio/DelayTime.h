#pragma once

#include <functional>

namespace tolbe::audio {

// Waits `ms` milliseconds on a monotonic clock, calling `between` (when given) at every poll.
// Sleeps about a millisecond between polls so that the wait does not spin a core. Zero or a
// negative count returns at once.
void DelayTime(int ms, const std::function<void()>& between = {});

} // namespace tolbe::audio
