#pragma once

#include "audio/Mixer.h"

#include <cstdint>

namespace tolbe::audio {

// The mixer over the Windows mixer API of the first mixer device: the speakers destination line,
// and its wave output source line; muted means the line's mute switch is on.
class WinMixer final : public Mixer {
public:
    WinMixer() = default;
    ~WinMixer() override;
    WinMixer(const WinMixer&) = delete;
    WinMixer& operator=(const WinMixer&) = delete;

    bool OpenVolumeControl(MixerLine line) override;
    bool OpenMuteControl(MixerLine line) override;
    bool CloseMixer() override;
    bool GetVolume(std::int32_t& left, std::int32_t& right) override;
    bool SetVolume(std::int32_t left, std::int32_t right) override;
    bool GetMute(bool& muted) override;
    bool SetMute(bool muted) override;
    std::int32_t VolumeMaximum() const override { return m_maximum; }

private:
    bool Open(MixerLine line, std::uint32_t controlType);

    std::uintptr_t m_mixer = 0; // HMIXER while open
    std::uint32_t m_control = 0;
    std::uint32_t m_channels = 0;
    std::int32_t m_maximum = 0;
};

} // namespace tolbe::audio
