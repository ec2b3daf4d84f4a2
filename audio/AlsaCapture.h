#pragma once

#include "audio/DownloadSequence.h"
#include "common/Result.h"

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

// Records `seconds` (above 0, at most kMaxCapture_s) from an ALSA capture device as S16_LE with `channels`
// (1 or 2) at `sample_rate` (8000 to 192000 Hz; ALSA converts when the hardware cannot). Blocks for the
// recording time. A value out of range fails, and so does the device, naming it and ALSA's reason.
Result<CapturedAudio> CaptureFromAlsa(const std::string& device, double seconds, int sample_rate = 44100,
                                      int channels = 2);

} // namespace tolbe::audio
