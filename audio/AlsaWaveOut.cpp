#include "audio/AlsaWaveOut.h"

#include "audio/Modulator.h"
#include "common/SettingsStore.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

namespace tolbe::audio {

namespace {

// Enough to ride out scheduling hiccups of a desktop without delaying the first bit noticeably.
constexpr unsigned kLatencyUs = 100000;
constexpr int kMaxRecoveries = 4;
// Written in pieces of 10 ms, so the played position is known to about that and a stop request
// is heard soon.
constexpr snd_pcm_uframes_t kPieceFrames = kSampleRate / 100;

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

// ALSA prints its own diagnostics to stderr; the failure already reaches the user as a message.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

void InstallQuietErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
}

Result<Playback> Failure(int code) {
    return Result<Playback>::Fail(GetWaveErrorText(code));
}

// Frames the device has played: written less what still waits in its buffer.
std::size_t PlayedFrames(snd_pcm_t* pcm, snd_pcm_uframes_t written) {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm, &delay) < 0 || delay < 0) delay = 0;
    const auto waiting = std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(delay), written);
    return written - waiting;
}

} // namespace

std::string PcmDeviceFromSettings(const SettingsStore& settings) {
    std::string device = settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kAudioDevice);
    return device.empty() ? std::string(kDefaultPcmDevice) : device;
}

std::string GetWaveErrorText(int code) {
    const char* text = snd_strerror(code);
    return text ? std::string(text) : std::string();
}

AlsaWaveOut::AlsaWaveOut(std::string device) : m_device(device.empty() ? kDefaultPcmDevice : std::move(device)) {}

Result<Playback> AlsaWaveOut::Play(std::span<const std::uint8_t> pcm, PlaybackObserver* observer) {
    InstallQuietErrorHandler();
    snd_pcm_t* raw = nullptr;
    int rc = snd_pcm_open(&raw, m_device.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    PcmHandle handle(raw);
    if (rc < 0) return Failure(rc);

    rc = snd_pcm_set_params(handle.get(), SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, kChannels, kSampleRate,
                            1, kLatencyUs);
    if (rc < 0) return Failure(rc);

    // A trailing partial frame cannot be played; the signal never has one.
    const snd_pcm_uframes_t total = pcm.size() / kBytesPerFrame;
    snd_pcm_uframes_t done = 0;
    std::size_t reported = 0;
    int recoveries = 0;
    while (done < total) {
        if (observer && observer->StopRequested()) {
            snd_pcm_drop(handle.get());
            return Result<Playback>::Ok(Playback{.stopped = true});
        }
        const snd_pcm_uframes_t piece = std::min(kPieceFrames, total - done);
        const snd_pcm_sframes_t n = snd_pcm_writei(handle.get(), pcm.data() + done * kBytesPerFrame, piece);
        if (n < 0) {
            // An underrun or a suspend: recover and go on writing, but do not loop for ever on a
            // device that keeps failing.
            rc = ++recoveries > kMaxRecoveries ? static_cast<int>(n)
                                               : snd_pcm_recover(handle.get(), static_cast<int>(n), 1);
            if (rc < 0) return Failure(rc);
            continue;
        }
        done += static_cast<snd_pcm_uframes_t>(n);
        if (observer) {
            reported = std::max(reported, PlayedFrames(handle.get(), done));
            observer->Played(reported);
        }
    }
    // Drain failures are like the original's failed unprepare: playback is over either way.
    snd_pcm_drain(handle.get());
    if (observer) observer->Played(total);
    return Result<Playback>::Ok({});
}

namespace {

// The card a hint's device belongs to ("CARD=PCH" in "sysdefault:CARD=PCH" or "hw:CARD=PCH,DEV=0").
std::string CardOf(const std::string& name) {
    const auto at = name.find("CARD=");
    if (at == std::string::npos) return {};
    const auto from = at + 5;
    return name.substr(from, name.find(',', from) - from);
}

} // namespace

std::vector<PlaybackDevice> ChoosePlaybackOutputs(const std::vector<DeviceHint>& hints,
                                                  const std::vector<SoundCard>& cards,
                                                  bool (*server_runs)(const std::string& server)) {
    std::vector<PlaybackDevice> out;
    const auto plays = [](const DeviceHint& h) { return h.io.empty() || h.io == "Output"; };
    const auto hinted = [&](const std::string& name) -> const DeviceHint* {
        for (const auto& h : hints)
            if (h.name == name && plays(h)) return &h;
        return nullptr;
    };
    // The system's default output is there even when ALSA's hints do not list it (no sound server).
    const DeviceHint* standard = hinted("default");
    out.push_back({"default", standard ? standard->description : std::string(), {}});
    for (const std::string server : {"pulse", "pipewire"})
        if (const DeviceHint* h = hinted(server); h && server_runs && server_runs(server))
            out.push_back({h->name, h->description, {}});
    for (const auto& card : cards) {
        const DeviceHint* chosen = hinted("sysdefault:CARD=" + card.id);
        for (const auto& h : hints)
            if (!chosen && plays(h) && CardOf(h.name) == card.id) chosen = &h;
        if (chosen) out.push_back({chosen->name, chosen->description, card.name.empty() ? card.id : card.name});
    }
    return out;
}

bool SoundServerRuns(const std::string& server) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const auto exists = [](const std::string& path) {
        std::error_code ec;
        return std::filesystem::exists(path, ec);
    };
    if (server == "pulse") {
        if (const char* address = std::getenv("PULSE_SERVER"); address && *address) {
            const std::string a = address;
            return a.rfind("unix:", 0) != 0 || exists(a.substr(5));
        }
        return runtime && exists(std::string(runtime) + "/pulse/native");
    }
    if (server == "pipewire") {
        const char* remote = std::getenv("PIPEWIRE_REMOTE");
        return runtime && exists(std::string(runtime) + "/" + (remote && *remote ? remote : "pipewire-0"));
    }
    return false;
}

std::vector<PlaybackDevice> ListPlaybackDevices() {
    InstallQuietErrorHandler();
    std::vector<DeviceHint> hints;
    void** raw = nullptr;
    if (snd_device_name_hint(-1, "pcm", &raw) < 0 || raw == nullptr) return {};
    const auto text = [](void* hint, const char* id) {
        char* value = snd_device_name_get_hint(hint, id);
        std::string s = value ? value : "";
        std::free(value);
        return s;
    };
    for (void** h = raw; *h != nullptr; ++h) {
        DeviceHint d{text(*h, "NAME"), {}, text(*h, "IOID")};
        if (d.name.empty()) continue;
        for (char c : text(*h, "DESC"))
            d.description += c == '\n' ? std::string(", ") : std::string(1, c);
        hints.push_back(std::move(d));
    }
    snd_device_name_free_hint(raw);
    std::vector<SoundCard> cards;
    for (int index = -1; snd_card_next(&index) == 0 && index >= 0;) {
        char* name = nullptr;
        snd_ctl_t* ctl = nullptr;
        SoundCard card;
        if (snd_ctl_open(&ctl, ("hw:" + std::to_string(index)).c_str(), 0) == 0) {
            snd_ctl_card_info_t* info = nullptr;
            snd_ctl_card_info_alloca(&info);
            if (snd_ctl_card_info(ctl, info) == 0) card.id = snd_ctl_card_info_get_id(info);
            snd_ctl_close(ctl);
        }
        if (snd_card_get_name(index, &name) == 0 && name) card.name = name;
        std::free(name);
        if (!card.id.empty()) cards.push_back(std::move(card));
    }
    return ChoosePlaybackOutputs(hints, cards, &SoundServerRuns);
}

} // namespace tolbe::audio
