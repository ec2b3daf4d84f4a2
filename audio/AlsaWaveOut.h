#pragma once

#include "audio/WaveOut.h"

#include <string>
#include <vector>

namespace tolbe {
class SettingsStore;
}

namespace tolbe::audio {

inline constexpr const char* kDefaultPcmDevice = "default";

// The playback device named by the setting "AudioDevice", or "default" when it is empty.
std::string PcmDeviceFromSettings(const SettingsStore& settings);

// ALSA's text for an error code of its pcm functions (a negative errno value).
std::string GetWaveErrorText(int code);

// Wave output over an ALSA pcm device: for every stream it opens the device, sets S16_LE, two
// channels and 44100 Hz, writes the stream in short pieces (reporting the played position after
// each), drains and closes.
class AlsaWaveOut final : public WaveOut {
public:
    explicit AlsaWaveOut(std::string device = kDefaultPcmDevice);
    using WaveOut::Play;
    WaveResult Play(std::span<const std::uint8_t> pcm, PlaybackObserver* observer) override;
    std::string DeviceName() const override { return m_device; }
    const std::string& Device() const { return m_device; }

private:
    std::string m_device;
};

// A playback device as ALSA's device hints list it.
struct PlaybackDevice {
    std::string name;        // what to open, e.g. "default", "pulse", "hw:CARD=PCH,DEV=0"
    std::string description; // the system's words for it, lines joined by ", "
};

// Every device the system offers for playback, in ALSA's order; empty when it lists none.
std::vector<PlaybackDevice> ListPlaybackDevices();

} // namespace tolbe::audio
