#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tolbe {
class Prompt;
}

namespace tolbe::audio {

// Outcome of playing one buffer: ok, or the platform's text for why not.
struct WaveResult {
    bool ok = true;
    std::string error;
};

// The wave output device: plays one whole buffer of 16-bit little-endian stereo PCM at 44100 Hz
// and returns once the device has played all of it. Opened anew for every buffer.
class WaveOut {
public:
    virtual ~WaveOut() = default;
    virtual WaveResult Play(std::span<const std::uint8_t> pcm) = 0;
};

// Title of the wave output's error box: the application's own name.
inline constexpr const char* kWaveErrorTitle = "Tolbe";

// Modulates the packet (its first 71 bytes) and plays the whole 54400-byte buffer. Blocks for the
// playing time; no window events are processed meanwhile. On failure the device's error text is
// shown in a box with OK only and no icon, and the result is false.
bool SendWaveData(std::span<const std::uint8_t> packet, WaveOut& out, Prompt& prompt);

} // namespace tolbe::audio
