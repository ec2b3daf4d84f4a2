#pragma once

#include "audio/Capture.h"
#include "audio/WaveOut.h"
#include "common/Result.h"

#include <memory>
#include <string>
#include <vector>

namespace tolbe::cli {

// Output as scripts read it on every platform: lines end in a bare line feed, text is UTF-8.
void PrepareConsole();

// The program's arguments as UTF-8. Windows hands `argv` over in the system's code page, which
// cannot hold every file name; there they are read again from the wide command line.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The platform's wave output: ALSA's pcm device on Linux, winmm on Windows. An empty `device`
// is the one the "AudioDevice" setting names, else the system's default.
std::unique_ptr<audio::WaveOut> OpenWaveOut(const std::string& device);

// Records from a capture device: ALSA's (audio::CaptureFromAlsa) on Linux, a winmm sound input
// (audio::CaptureFromWinmm) on Windows.
Result<audio::CapturedAudio> RecordFrom(const std::string& device, double seconds, int sample_rate, int channels);

} // namespace tolbe::cli
