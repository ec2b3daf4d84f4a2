#pragma once

#include "audio/DownloadSequence.h"
#include "common/Result.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace tolbe::audio {

// Interleaved 16-bit samples as recorded.
struct CapturedAudio {
    int sample_rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
};

inline constexpr double kMaxCapture_s = kMaxRecording_s;

// What every capture backend accepts: above 0 and at most kMaxCapture_s seconds, 8000 to 192000 Hz,
// 1 or 2 channels.
inline Status CheckCaptureRequest(double seconds, int sample_rate, int channels) {
    if (!(seconds > 0 && seconds <= kMaxCapture_s))
        return Status::Fail("recording time must be above 0 and at most " +
                            std::to_string(static_cast<int>(kMaxCapture_s)) + " seconds");
    if (sample_rate < 8000 || sample_rate > 192000)
        return Status::Fail("sample rate " + std::to_string(sample_rate) + " Hz is outside 8000 to 192000");
    if (channels != 1 && channels != 2) return Status::Fail("1 or 2 channels can be recorded");
    return Ok();
}

// The frames `seconds` hold at `sample_rate`.
inline std::size_t CaptureFrames(double seconds, int sample_rate) {
    return static_cast<std::size_t>(std::llround(seconds * sample_rate));
}

} // namespace tolbe::audio
