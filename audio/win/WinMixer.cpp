#include "audio/win/WinMixer.h"

#include <windows.h>

#include <mmsystem.h>

#include <vector>

namespace tolbe::audio {
namespace {

HMIXER Handle(std::uintptr_t mixer) {
    return reinterpret_cast<HMIXER>(mixer);
}

HMIXEROBJ Object(std::uintptr_t mixer) {
    return reinterpret_cast<HMIXEROBJ>(mixer);
}

// The speakers destination, or the wave output source among its connections.
bool FindLine(HMIXEROBJ mixer, MixerLine which, MIXERLINEW& line) {
    MIXERLINEW speakers{};
    speakers.cbStruct = sizeof speakers;
    speakers.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    if (::mixerGetLineInfoW(mixer, &speakers, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
        MMSYSERR_NOERROR)
        return false;
    if (which == MixerLine::Speakers) {
        line = speakers;
        return true;
    }
    for (DWORD i = 0; i < speakers.cConnections; ++i) {
        MIXERLINEW source{};
        source.cbStruct = sizeof source;
        source.dwDestination = speakers.dwDestination;
        source.dwSource = i;
        if (::mixerGetLineInfoW(mixer, &source, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE) == MMSYSERR_NOERROR &&
            source.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT) {
            line = source;
            return true;
        }
    }
    return false;
}

} // namespace

WinMixer::~WinMixer() {
    CloseMixer();
}

bool WinMixer::Open(MixerLine which, std::uint32_t controlType) {
    CloseMixer();
    if (::mixerGetNumDevs() == 0) return false;
    HMIXER mixer = nullptr;
    if (::mixerOpen(&mixer, 0, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR) return false;
    m_mixer = reinterpret_cast<std::uintptr_t>(mixer);
    MIXERLINEW line{};
    MIXERCONTROLW control{};
    MIXERLINECONTROLSW wanted{};
    wanted.cbStruct = sizeof wanted;
    wanted.dwControlType = controlType;
    wanted.cControls = 1;
    wanted.cbmxctrl = sizeof control;
    wanted.pamxctrl = &control;
    if (!FindLine(Object(m_mixer), which, line)) return false;
    wanted.dwLineID = line.dwLineID;
    if (::mixerGetLineControlsW(Object(m_mixer), &wanted, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
        MMSYSERR_NOERROR)
        return false;
    m_control = control.dwControlID;
    // A control that works on all channels together has one value.
    m_channels = (control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) != 0 ? 1 : line.cChannels;
    m_maximum = static_cast<std::int32_t>(control.Bounds.dwMaximum);
    return m_channels > 0;
}

bool WinMixer::OpenVolumeControl(MixerLine line) {
    return Open(line, MIXERCONTROL_CONTROLTYPE_VOLUME);
}

bool WinMixer::OpenMuteControl(MixerLine line) {
    return Open(line, MIXERCONTROL_CONTROLTYPE_MUTE);
}

bool WinMixer::CloseMixer() {
    if (m_mixer != 0) ::mixerClose(Handle(m_mixer));
    m_mixer = 0;
    m_control = 0;
    m_channels = 0;
    return true;
}

namespace {

bool Details(HMIXEROBJ mixer, DWORD control, DWORD channels, void* values, bool write) {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = control;
    details.cChannels = channels;
    details.cbDetails = sizeof(MIXERCONTROLDETAILS_UNSIGNED); // the same size as the Boolean form
    details.paDetails = values;
    return write ? ::mixerSetControlDetails(mixer, &details, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
                       MMSYSERR_NOERROR
                 : ::mixerGetControlDetailsW(mixer, &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) ==
                       MMSYSERR_NOERROR;
}

} // namespace

bool WinMixer::GetVolume(std::int32_t& left, std::int32_t& right) {
    left = right = -1;
    if (m_mixer == 0) return false;
    std::vector<MIXERCONTROLDETAILS_UNSIGNED> values(m_channels);
    if (!Details(Object(m_mixer), m_control, m_channels, values.data(), false)) return false;
    left = static_cast<std::int32_t>(values[0].dwValue);
    if (m_channels == 2) right = static_cast<std::int32_t>(values[1].dwValue);
    return true;
}

bool WinMixer::SetVolume(std::int32_t left, std::int32_t right) {
    if (m_mixer == 0) return false;
    std::vector<MIXERCONTROLDETAILS_UNSIGNED> values(m_channels);
    for (DWORD i = 0; i < m_channels; ++i)
        values[i].dwValue = static_cast<DWORD>(i == 1 ? right : left);
    return Details(Object(m_mixer), m_control, m_channels, values.data(), true);
}

bool WinMixer::GetMute(bool& muted) {
    if (m_mixer == 0) return false;
    // A mute switch is set for all channels at once.
    MIXERCONTROLDETAILS_BOOLEAN value{};
    if (!Details(Object(m_mixer), m_control, 1, &value, false)) return false;
    muted = value.fValue != 0;
    return true;
}

bool WinMixer::SetMute(bool muted) {
    if (m_mixer == 0) return false;
    MIXERCONTROLDETAILS_BOOLEAN value{};
    value.fValue = muted ? 1 : 0;
    return Details(Object(m_mixer), m_control, 1, &value, true);
}

} // namespace tolbe::audio
