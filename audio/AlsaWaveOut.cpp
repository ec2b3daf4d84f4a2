#include "audio/AlsaWaveOut.h"

#include "audio/Modulator.h"
#include "common/SettingsStore.h"

#include <alsa/asoundlib.h>

#include <cstdarg>
#include <memory>
#include <mutex>

namespace tolbe::audio {

namespace {

// Enough to ride out scheduling hiccups of a desktop without delaying the first bit noticeably.
constexpr unsigned kLatencyUs = 100000;
constexpr int kMaxRecoveries = 4;

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

// ALSA prints its own diagnostics to stderr; the failure already reaches the user as a message box.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

void InstallQuietErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
}

WaveResult Failure(int code) {
    return WaveResult{false, GetWaveErrorText(code)};
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

AlsaWaveOut::AlsaWaveOut(std::string device) : m_device(std::move(device)) {}

WaveResult AlsaWaveOut::Play(std::span<const std::uint8_t> pcm) {
    InstallQuietErrorHandler();
    snd_pcm_t* raw = nullptr;
    int rc = snd_pcm_open(&raw, m_device.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    PcmHandle handle(raw);
    if (rc < 0) return Failure(rc);

    rc = snd_pcm_set_params(handle.get(), SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, kChannels, kSampleRate,
                            1, kLatencyUs);
    if (rc < 0) return Failure(rc);

    // A trailing partial frame cannot be played; the modulator never makes one.
    const snd_pcm_uframes_t total = pcm.size() / kBytesPerFrame;
    snd_pcm_uframes_t done = 0;
    int recoveries = 0;
    while (done < total) {
        const snd_pcm_sframes_t n = snd_pcm_writei(handle.get(), pcm.data() + done * kBytesPerFrame, total - done);
        if (n < 0) {
            // An underrun or a suspend in the middle of a packet: recover and go on writing, but do
            // not loop for ever on a device that keeps failing.
            rc = ++recoveries > kMaxRecoveries ? static_cast<int>(n)
                                               : snd_pcm_recover(handle.get(), static_cast<int>(n), 1);
            if (rc < 0) return Failure(rc);
            continue;
        }
        done += static_cast<snd_pcm_uframes_t>(n);
    }
    // Drain failures are like the original's failed unprepare: playback is over either way.
    snd_pcm_drain(handle.get());
    return {};
}

} // namespace tolbe::audio
