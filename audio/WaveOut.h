#pragma once

#include "common/Result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tolbe::audio {

// How a stream ended that the device did not fail: played whole, or `stopped` early because its
// observer asked, which is no failure of the device and is not reported. A failure carries the
// platform's text for why.
struct Playback {
    bool stopped = false;
};

// Follows a stream while it plays. Called on the playing thread.
class PlaybackObserver {
public:
    virtual ~PlaybackObserver() = default;
    // The device has played this many sample frames of the stream so far; never decreases.
    virtual void Played(std::size_t frames) = 0;
    // True ends the stream at the next chance, without playing the rest.
    virtual bool StopRequested() const { return false; }
};

// The wave output device: plays one whole stream of 16-bit little-endian stereo PCM at 44100 Hz
// without gaps and returns once the device has played all of it. Opened and closed once per call.
class WaveOut {
public:
    virtual ~WaveOut() = default;
    Result<Playback> Play(std::span<const std::uint8_t> pcm) { return Play(pcm, nullptr); }
    virtual Result<Playback> Play(std::span<const std::uint8_t> pcm, PlaybackObserver* observer) = 0;
    // The device as the system names it, for messages.
    virtual std::string DeviceName() const = 0;
};

} // namespace tolbe::audio
