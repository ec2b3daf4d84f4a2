#include "audio/AlsaCapture.h"

#include <alsa/asoundlib.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <utility>

namespace tolbe::audio {

namespace {

// Large enough that a busy machine does not overrun the device between two reads.
constexpr unsigned kCaptureLatencyUs = 500000;
constexpr int kMaxRecoveries = 8;

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

// ALSA prints its own diagnostics to stderr; the failure already reaches the user through the result.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

void InstallQuietErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
}

Result<CapturedAudio> Refuse(const std::string& device, const std::string& what, int code) {
    return Result<CapturedAudio>::Fail("capture device \"" + device + "\": " + what + ": " + snd_strerror(code));
}

} // namespace

Result<CapturedAudio> CaptureFromAlsa(const std::string& device, double seconds, int sample_rate, int channels) {
    if (const Status request = CheckCaptureRequest(seconds, sample_rate, channels); !request)
        return Result<CapturedAudio>::Fail(request.Error());

    InstallQuietErrorHandler();
    snd_pcm_t* raw = nullptr;
    int rc = snd_pcm_open(&raw, device.c_str(), SND_PCM_STREAM_CAPTURE, 0);
    PcmHandle handle(raw);
    if (rc < 0) return Refuse(device, "cannot open", rc);
    rc = snd_pcm_set_params(handle.get(), SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                            static_cast<unsigned>(channels), static_cast<unsigned>(sample_rate), 1, kCaptureLatencyUs);
    if (rc < 0) return Refuse(device, "cannot record 16-bit audio at " + std::to_string(sample_rate) + " Hz", rc);

    CapturedAudio audio;
    audio.sample_rate = sample_rate;
    audio.channels = channels;
    const auto frames = static_cast<snd_pcm_uframes_t>(CaptureFrames(seconds, sample_rate));
    audio.samples.resize(frames * static_cast<std::size_t>(channels));
    snd_pcm_uframes_t done = 0;
    int recoveries = 0;
    while (done < frames) {
        const snd_pcm_sframes_t n = snd_pcm_readi(
            handle.get(), audio.samples.data() + done * static_cast<std::size_t>(channels), frames - done);
        if (n < 0) {
            // An overrun loses a moment of sound, which the check will then report; a device that keeps
            // failing ends the recording.
            rc = ++recoveries > kMaxRecoveries ? static_cast<int>(n)
                                               : snd_pcm_recover(handle.get(), static_cast<int>(n), 1);
            if (rc < 0) return Refuse(device, "recording failed", rc);
            continue;
        }
        done += static_cast<snd_pcm_uframes_t>(n);
    }
    return Result<CapturedAudio>::Ok(std::move(audio));
}

} // namespace tolbe::audio
