#pragma once

#include "audio/Capture.h"

#include <string>

namespace tolbe::audio {

// Records `seconds` from a winmm sound input ("default" is the system's, else the input of that
// product name) as 16-bit PCM with `channels` at `sample_rate` (within CheckCaptureRequest; the
// wave mapper converts when the hardware cannot). Blocks for the recording time; an input that
// delivers nothing for 5 seconds ends it with a failure.
Result<CapturedAudio> CaptureFromWinmm(const std::string& device, double seconds, int sample_rate = 44100,
                                       int channels = 2);

} // namespace tolbe::audio
