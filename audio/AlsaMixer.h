#pragma once

#include "audio/Mixer.h"

#include <memory>
#include <string>

namespace tolbe::audio {

// The mixer that goes with a playback device: "hw:X" for a device of card X ("hw:1,0", "plughw:1",
// "front:CARD=PCH,DEV=0"), and the device's own name otherwise ("default", "pulse", "pipewire"), whose
// control ALSA then looks up by that name.
std::string MixerCardFor(const std::string& pcmDevice);

// The mixer over ALSA's simple mixer interface of one card: "PCM" is the wave output line, "Master"
// the speakers line; muted means the playback switch is off.
class AlsaMixer final : public Mixer {
public:
    explicit AlsaMixer(std::string card = "default");
    ~AlsaMixer() override;
    AlsaMixer(const AlsaMixer&) = delete;
    AlsaMixer& operator=(const AlsaMixer&) = delete;

    bool OpenVolumeControl(MixerLine line) override;
    bool OpenMuteControl(MixerLine line) override;
    bool CloseMixer() override;
    bool GetVolume(std::int32_t& left, std::int32_t& right) override;
    bool SetVolume(std::int32_t left, std::int32_t right) override;
    bool GetMute(bool& muted) override;
    bool SetMute(bool muted) override;
    std::int32_t VolumeMaximum() const override { return m_maximum; }
    void SelectCard(const std::string& card) override;
    const std::string& Card() const { return m_card; }

private:
    struct State;
    enum class Control { None, Volume, Mute };
    bool Open(MixerLine line, Control control);

    std::string m_card;
    std::unique_ptr<State> m_state; // null while no mixer is open
    Control m_control = Control::None;
    int m_channels = 0;
    std::int32_t m_maximum = 0;
};

} // namespace tolbe::audio
