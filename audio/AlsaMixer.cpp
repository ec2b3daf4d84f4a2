#include "audio/AlsaMixer.h"

#include <alsa/asoundlib.h>

#include <mutex>

namespace tolbe::audio {

namespace {

struct MixerCloser {
    void operator()(snd_mixer_t* m) const { snd_mixer_close(m); }
};
using MixerHandle = std::unique_ptr<snd_mixer_t, MixerCloser>;

void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

const char* ElementName(MixerLine line) {
    return line == MixerLine::WaveOut ? "PCM" : "Master";
}

int PlaybackChannels(snd_mixer_elem_t* elem) {
    if (snd_mixer_selem_is_playback_mono(elem)) return 1;
    int count = 0;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c)
        if (snd_mixer_selem_has_playback_channel(elem, static_cast<snd_mixer_selem_channel_id_t>(c))) ++count;
    return count;
}

} // namespace

struct AlsaMixer::State {
    MixerHandle mixer;
    snd_mixer_elem_t* elem = nullptr; // owned by `mixer`
};

AlsaMixer::AlsaMixer(std::string card) : m_card(std::move(card)) {
    // A machine without a mixer is normal here; ALSA's own complaints about it only clutter stderr.
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
}

std::string MixerCardFor(const std::string& pcmDevice) {
    const auto colon = pcmDevice.find(':');
    if (colon == std::string::npos) return pcmDevice.empty() ? std::string("default") : pcmDevice;
    const std::string args = pcmDevice.substr(colon + 1);
    std::string card;
    if (const auto at = args.find("CARD="); at != std::string::npos) {
        card = args.substr(at + 5, args.find(',', at) - (at + 5));
    } else {
        // Positional arguments: the card comes first ("hw:1,0", "plughw:PCH").
        card = args.substr(0, args.find(','));
    }
    // A quoted value or a file name is no card; such a device has no mixer of its own.
    if (card.empty() || card.find_first_of("'\"/ ") != std::string::npos) return pcmDevice.substr(0, colon);
    return "hw:" + card;
}

void AlsaMixer::SelectCard(const std::string& card) {
    CloseMixer();
    m_card = card;
}

AlsaMixer::~AlsaMixer() {
    CloseMixer();
}

bool AlsaMixer::Open(MixerLine line, Control control) {
    CloseMixer();
    snd_mixer_t* raw = nullptr;
    if (snd_mixer_open(&raw, 0) < 0) return false;
    MixerHandle mixer(raw);
    if (snd_mixer_attach(mixer.get(), m_card.c_str()) < 0) return false;
    if (snd_mixer_selem_register(mixer.get(), nullptr, nullptr) < 0) return false;
    if (snd_mixer_load(mixer.get()) < 0) return false;

    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, ElementName(line));
    snd_mixer_elem_t* elem = snd_mixer_find_selem(mixer.get(), id);
    if (!elem) return false;

    if (control == Control::Volume) {
        if (!snd_mixer_selem_has_playback_volume(elem)) return false;
        long low = 0;
        long high = 0;
        if (snd_mixer_selem_get_playback_volume_range(elem, &low, &high) < 0) return false;
        m_maximum = static_cast<std::int32_t>(high);
    } else if (!snd_mixer_selem_has_playback_switch(elem)) {
        return false;
    }
    m_channels = PlaybackChannels(elem);
    m_control = control;
    m_state = std::make_unique<State>(State{std::move(mixer), elem});
    return true;
}

bool AlsaMixer::OpenVolumeControl(MixerLine line) {
    return Open(line, Control::Volume);
}
bool AlsaMixer::OpenMuteControl(MixerLine line) {
    return Open(line, Control::Mute);
}

bool AlsaMixer::CloseMixer() {
    m_state.reset();
    m_control = Control::None;
    return true;
}

bool AlsaMixer::GetVolume(std::int32_t& left, std::int32_t& right) {
    left = -1;
    right = -1;
    if (!m_state || m_control != Control::Volume) return false;
    long value = 0;
    if (snd_mixer_selem_get_playback_volume(m_state->elem, SND_MIXER_SCHN_FRONT_LEFT, &value) < 0) return false;
    left = static_cast<std::int32_t>(value);
    if (m_channels == 2) {
        if (snd_mixer_selem_get_playback_volume(m_state->elem, SND_MIXER_SCHN_FRONT_RIGHT, &value) < 0) return false;
        right = static_cast<std::int32_t>(value);
    }
    return true;
}

bool AlsaMixer::SetVolume(std::int32_t left, std::int32_t right) {
    if (!m_state || m_control != Control::Volume) return false;
    // Lines with more than two channels get their first two written; the others keep their level.
    if (snd_mixer_selem_set_playback_volume(m_state->elem, SND_MIXER_SCHN_FRONT_LEFT, left) < 0) return false;
    if (m_channels >= 2 &&
        snd_mixer_selem_set_playback_volume(m_state->elem, SND_MIXER_SCHN_FRONT_RIGHT, right < 0 ? left : right) < 0)
        return false;
    return true;
}

bool AlsaMixer::GetMute(bool& muted) {
    if (!m_state || m_control != Control::Mute) return false;
    int on = 0;
    if (snd_mixer_selem_get_playback_switch(m_state->elem, SND_MIXER_SCHN_FRONT_LEFT, &on) < 0) return false;
    muted = on == 0;
    return true;
}

bool AlsaMixer::SetMute(bool muted) {
    if (!m_state || m_control != Control::Mute) return false;
    return snd_mixer_selem_set_playback_switch_all(m_state->elem, muted ? 0 : 1) >= 0;
}

} // namespace tolbe::audio
