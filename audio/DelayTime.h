#pragma once

namespace tolbe {
class Yield;
}

namespace tolbe::audio {

// Waits `ms` milliseconds on a monotonic clock, processing window events through `yield` while it
// waits. Sleeps about a millisecond between polls so that the wait does not spin a core. Zero or
// a negative count returns at once.
void DelayTime(int ms, Yield& yield);

} // namespace tolbe::audio
