#pragma once

#include "audio/WaveOut.h"

#include <string>

namespace tolbe {
class SettingsStore;
}

namespace tolbe::audio {

inline constexpr const char* kDefaultPcmDevice = "default";

// The playback device named by the setting "AudioDevice", or "default" when it is empty.
std::string PcmDeviceFromSettings(const SettingsStore& settings);

// ALSA's text for an error code of its pcm functions (a negative errno value).
std::string GetWaveErrorText(int code);

// Wave output over an ALSA pcm device: for every buffer it opens the device, sets S16_LE, two
// channels and 44100 Hz, writes the whole buffer, drains and closes.
class AlsaWaveOut final : public WaveOut {
public:
    explicit AlsaWaveOut(std::string device = kDefaultPcmDevice);
    WaveResult Play(std::span<const std::uint8_t> pcm) override;
    const std::string& Device() const { return m_device; }

private:
    std::string m_device;
};

} // namespace tolbe::audio
