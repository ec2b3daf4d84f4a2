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
    Result<Playback> Play(std::span<const std::uint8_t> pcm, PlaybackObserver* observer) override;
    std::string DeviceName() const override { return m_device; }
    const std::string& Device() const { return m_device; }

private:
    std::string m_device;
};

// A playback output a user can choose.
struct PlaybackDevice {
    std::string name;        // what to open, e.g. "default", "pulse", "sysdefault:CARD=PCH"
    std::string description; // the system's words for it, lines joined by ", "
    std::string card;        // the sound card's name when this is a card's own output, else empty
};

// One entry of ALSA's device hints, as the system lists it.
struct DeviceHint {
    std::string name;
    std::string description; // lines joined by ", "
    std::string io;          // "Output", "Input" or empty (both)
};

// A sound card: its id (as in CARD=id) and its name.
struct SoundCard {
    std::string id;
    std::string name;
};

// What of the hints plays to a sound card or a sound server, in this order: "default" (always);
// "pulse" and
// "pipewire" where `server_runs` says that server is there; then one output per card that plays
// (its "sysdefault" device, else its first device), named by the card. Rate converters, mix-downs,
// "null", "jack", "oss" and the like are no outputs of their own and are left out.
std::vector<PlaybackDevice> ChoosePlaybackOutputs(const std::vector<DeviceHint>& hints,
                                                  const std::vector<SoundCard>& cards,
                                                  bool (*server_runs)(const std::string& server));

// The outputs of this system (ChoosePlaybackOutputs over ALSA's hints and cards and the sound
// servers that answer here); empty when ALSA lists none.
std::vector<PlaybackDevice> ListPlaybackDevices();

// Whether the sound server `server` ("pulse" or "pipewire") has its socket here.
bool SoundServerRuns(const std::string& server);

} // namespace tolbe::audio
