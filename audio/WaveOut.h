#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tolbe::audio {

// Outcome of playing one stream: ok, or the platform's text for why not. `stopped` marks a stream
// that its observer asked to end early; that is no failure of the device and is not reported.
struct WaveResult {
    bool ok = true;
    std::string error;
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
    WaveResult Play(std::span<const std::uint8_t> pcm) { return Play(pcm, nullptr); }
    virtual WaveResult Play(std::span<const std::uint8_t> pcm, PlaybackObserver* observer) = 0;
    // The device as the system names it, for messages.
    virtual std::string DeviceName() const = 0;
};

} // namespace tolbe::audio
