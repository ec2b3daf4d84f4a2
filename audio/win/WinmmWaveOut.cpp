#include "audio/win/WinmmWaveOut.h"

#include "audio/Modulator.h"
#include "audio/win/Winmm.h"
#include "common/SettingsStore.h"
#include "common/win/WinText.h"

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

namespace tolbe::audio {
namespace {

// 50 ms a buffer and eight queued: 400 ms ride out a busy system, and the played position and a
// stop request are known to 50 ms.
constexpr std::size_t kBufferFrames = kSampleRate / 20;
constexpr std::size_t kQueued = 8;
// A device that stops returning buffers is given up on after this long without progress.
constexpr DWORD kStallLimit_ms = 5000;

Result<Playback> Failure(MMRESULT code) {
    return Result<Playback>::Fail(WaveErrorText(code, ::waveOutGetErrorTextW, "wave output error"));
}

Result<Playback> Failure(std::string why) {
    return Result<Playback>::Fail(std::move(why));
}

struct Device {
    HWAVEOUT out = nullptr;
    HANDLE done = nullptr; // signalled whenever the device returns a buffer
    std::deque<WAVEHDR> headers;
    ~Device() {
        if (out != nullptr) {
            ::waveOutReset(out);
            for (WAVEHDR& h : headers)
                if (h.dwFlags & WHDR_PREPARED) ::waveOutUnprepareHeader(out, &h, sizeof h);
            ::waveOutClose(out);
        }
        if (done != nullptr) ::CloseHandle(done);
    }
};

} // namespace

std::string WaveDeviceFromSettings(const SettingsStore& settings) {
    std::string device = settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kAudioDevice);
    return device.empty() ? std::string(kDefaultWaveDevice) : device;
}

WinmmWaveOut::WinmmWaveOut(std::string device) : m_device(device.empty() ? kDefaultWaveDevice : std::move(device)) {}

Result<Playback> WinmmWaveOut::Play(std::span<const std::uint8_t> pcm, PlaybackObserver* observer) {
    UINT id = WAVE_MAPPER;
    if (!FindWaveDevice(m_device, ::waveOutGetNumDevs(), ::waveOutGetDevCapsW, id))
        return Failure("no wave output is named \"" + m_device + "\"");
    Device dev;
    dev.done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (dev.done == nullptr) return Failure(win::SystemMessage(::GetLastError()));
    const WAVEFORMATEX format = Pcm16Format(kChannels, kSampleRate);
    if (const MMRESULT rc =
            ::waveOutOpen(&dev.out, id, &format, reinterpret_cast<DWORD_PTR>(dev.done), 0, CALLBACK_EVENT);
        rc != MMSYSERR_NOERROR) {
        dev.out = nullptr;
        return Failure(rc);
    }

    // A trailing partial frame cannot be played; the signal never has one.
    const std::size_t total = pcm.size() / kBytesPerFrame;
    std::size_t queued = 0, played = 0, reported = 0;
    DWORD lastProgress = ::GetTickCount();
    while (played < total) {
        if (observer && observer->StopRequested()) {
            ::waveOutReset(dev.out);
            return Result<Playback>::Ok(Playback{.stopped = true});
        }
        // Keep the queue full: the device plays the buffers back to back, without gaps.
        while (queued < total && dev.headers.size() < kQueued) {
            const std::size_t frames = std::min(kBufferFrames, total - queued);
            WAVEHDR& h = dev.headers.emplace_back();
            h.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(pcm.data() + queued * kBytesPerFrame));
            h.dwBufferLength = static_cast<DWORD>(frames * kBytesPerFrame);
            if (const MMRESULT rc = ::waveOutPrepareHeader(dev.out, &h, sizeof h); rc != MMSYSERR_NOERROR) {
                dev.headers.pop_back();
                return Failure(rc);
            }
            if (const MMRESULT rc = ::waveOutWrite(dev.out, &h, sizeof h); rc != MMSYSERR_NOERROR) return Failure(rc);
            queued += frames;
        }
        ::WaitForSingleObject(dev.done, 10);
        // Buffers come back in the order they were written.
        while (!dev.headers.empty() && (dev.headers.front().dwFlags & WHDR_DONE) != 0) {
            WAVEHDR& h = dev.headers.front();
            played += h.dwBufferLength / kBytesPerFrame;
            ::waveOutUnprepareHeader(dev.out, &h, sizeof h);
            dev.headers.pop_front();
            lastProgress = ::GetTickCount();
        }
        if (observer) {
            // Between returned buffers, the device's own count says how far it is.
            MMTIME at{};
            at.wType = TIME_SAMPLES;
            std::size_t position = played;
            if (::waveOutGetPosition(dev.out, &at, sizeof at) == MMSYSERR_NOERROR && at.wType == TIME_SAMPLES)
                position = std::clamp<std::size_t>(at.u.sample, played, queued);
            reported = std::max(reported, position);
            observer->Played(reported);
        }
        if (::GetTickCount() - lastProgress > kStallLimit_ms)
            return Failure("the wave output " + m_device + " stopped playing");
    }
    if (observer) observer->Played(total);
    return Result<Playback>::Ok({});
}

} // namespace tolbe::audio
