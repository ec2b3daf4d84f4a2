#pragma once

#include "audio/WaveOut.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolbe::cli {

// Output as scripts read it on every platform: lines end in a bare line feed, text is UTF-8.
void PrepareConsole();

// The platform's wave output: ALSA's pcm device on Linux, winmm on Windows. An empty `device`
// is the one the "AudioDevice" setting names, else the system's default.
std::unique_ptr<audio::WaveOut> OpenWaveOut(const std::string& device);

// Interleaved 16-bit samples recorded from a capture device (see audio::CaptureFromAlsa).
struct Recording {
    int sample_rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
};
// Records from a capture device; throws audio::CaptureError (or std::invalid_argument) with the
// reason, on Windows always (record to a WAV file there and verify that).
Recording RecordFrom(const std::string& device, double seconds, int sample_rate, int channels);

} // namespace tolbe::cli
