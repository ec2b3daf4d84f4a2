#include "audio/win/WinmmCapture.h"

#include "audio/win/Winmm.h"
#include "common/win/WinText.h"

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <deque>

namespace tolbe::audio {
namespace {

// Quarter-second pieces, all queued before the start: the device fills them in order and a busy
// program never has to hand it a new one in time.
constexpr int kPiecesPerSecond = 4;
constexpr DWORD kStallLimit_ms = 5000;

Result<CapturedAudio> Refuse(const std::string& device, const std::string& what, MMRESULT code) {
    return Result<CapturedAudio>::Fail("capture device \"" + device + "\": " + what + ": " +
                                       WaveErrorText(code, ::waveInGetErrorTextW, "sound input error"));
}

struct Input {
    HWAVEIN in = nullptr;
    HANDLE filled = nullptr; // signalled whenever the device returns a piece
    std::deque<WAVEHDR> pieces;
    ~Input() {
        if (in != nullptr) {
            ::waveInReset(in);
            for (WAVEHDR& h : pieces)
                if (h.dwFlags & WHDR_PREPARED) ::waveInUnprepareHeader(in, &h, sizeof h);
            ::waveInClose(in);
        }
        if (filled != nullptr) ::CloseHandle(filled);
    }
};

} // namespace

Result<CapturedAudio> CaptureFromWinmm(const std::string& device, double seconds, int sample_rate, int channels) {
    if (const Status request = CheckCaptureRequest(seconds, sample_rate, channels); !request)
        return Result<CapturedAudio>::Fail(request.Error());
    UINT id = 0;
    if (!FindWaveDevice(device, ::waveInGetNumDevs(), ::waveInGetDevCapsW, id))
        return Result<CapturedAudio>::Fail("capture device \"" + device + "\": no sound input has that name");

    const WAVEFORMATEX format = Pcm16Format(channels, sample_rate);
    // The samples outlive the input: its close stops the device writing into them, on every return.
    CapturedAudio audio;
    audio.sample_rate = sample_rate;
    audio.channels = channels;
    audio.samples.resize(CaptureFrames(seconds, sample_rate) * static_cast<std::size_t>(channels));
    Input input;
    input.filled = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (input.filled == nullptr) return Result<CapturedAudio>::Fail(win::SystemMessage(::GetLastError()));
    MMRESULT rc = ::waveInOpen(&input.in, id, &format, reinterpret_cast<DWORD_PTR>(input.filled), 0, CALLBACK_EVENT);
    if (rc != MMSYSERR_NOERROR) {
        input.in = nullptr;
        return Refuse(device, "cannot record 16-bit audio at " + std::to_string(sample_rate) + " Hz", rc);
    }

    const std::size_t piece = static_cast<std::size_t>(sample_rate / kPiecesPerSecond) * channels;
    for (std::size_t at = 0; at < audio.samples.size(); at += piece) {
        WAVEHDR& h = input.pieces.emplace_back();
        h.lpData = reinterpret_cast<LPSTR>(audio.samples.data() + at);
        h.dwBufferLength = static_cast<DWORD>(std::min(piece, audio.samples.size() - at) * sizeof(std::int16_t));
        if ((rc = ::waveInPrepareHeader(input.in, &h, sizeof h)) != MMSYSERR_NOERROR ||
            (rc = ::waveInAddBuffer(input.in, &h, sizeof h)) != MMSYSERR_NOERROR)
            return Refuse(device, "cannot queue a recording buffer", rc);
    }
    if ((rc = ::waveInStart(input.in)) != MMSYSERR_NOERROR) return Refuse(device, "cannot start recording", rc);

    std::size_t done = 0;
    while (done < input.pieces.size()) {
        const DWORD waited = ::WaitForSingleObject(input.filled, kStallLimit_ms);
        const std::size_t before = done;
        while (done < input.pieces.size() && (input.pieces[done].dwFlags & WHDR_DONE) != 0)
            ++done;
        if (done == before && waited != WAIT_OBJECT_0)
            return Result<CapturedAudio>::Fail("capture device \"" + device + "\": no sound arrived for " +
                                               std::to_string(kStallLimit_ms / 1000) + " seconds");
    }
    // Every piece came back full: a short one only follows a reset.
    for (const WAVEHDR& h : input.pieces)
        if (h.dwBytesRecorded != h.dwBufferLength)
            return Result<CapturedAudio>::Fail("capture device \"" + device + "\": the recording ended early");
    return Result<CapturedAudio>::Ok(std::move(audio));
}

} // namespace tolbe::audio
