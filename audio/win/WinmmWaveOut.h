#pragma once

#include "audio/WaveOut.h"

#include <string>

namespace tolbe {
class SettingsStore;
}

namespace tolbe::audio {

// The system's default wave output (the wave mapper), as the setting "AudioDevice" names it when
// empty.
inline constexpr const char* kDefaultWaveDevice = "default";

// The output named by the setting "AudioDevice" (a device's product name), or "default".
std::string WaveDeviceFromSettings(const SettingsStore& settings);

// Wave output over winmm, the system's own: for every stream it opens the device (the wave
// mapper, or the output whose product name is `device`) for 16-bit stereo at 44100 Hz, queues the
// stream in buffers of 50 ms, reports the played position as the buffers come back, and closes.
class WinmmWaveOut final : public WaveOut {
public:
    explicit WinmmWaveOut(std::string device = kDefaultWaveDevice);
    using WaveOut::Play;
    Result<Playback> Play(std::span<const std::uint8_t> pcm, PlaybackObserver* observer) override;
    std::string DeviceName() const override { return m_device; }

private:
    std::string m_device;
};

} // namespace tolbe::audio
