#pragma once

#include "audio/Capture.h"

#include <string>

namespace tolbe::audio {

// Records `seconds` from an ALSA capture device as S16_LE with `channels` at `sample_rate` (within
// CheckCaptureRequest; ALSA converts when the hardware cannot). Blocks for the
// recording time. A value out of range fails, and so does the device, naming it and ALSA's reason.
Result<CapturedAudio> CaptureFromAlsa(const std::string& device, double seconds, int sample_rate = 44100,
                                      int channels = 2);

} // namespace tolbe::audio
