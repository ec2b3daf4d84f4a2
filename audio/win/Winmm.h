#pragma once

// What winmm's wave output and sound input have alike: their calls differ only in name.

#include "audio/win/WinmmWaveOut.h"
#include "common/win/WinText.h"

#include <windows.h>

#include <mmsystem.h>

#include <string>

namespace tolbe::audio {

// 16-bit PCM of `channels` at `sample_rate`.
inline WAVEFORMATEX Pcm16Format(int channels, int sample_rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(sample_rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 2);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    return format;
}

// The device of that product name among the `count` that `get_caps` (waveOutGetDevCapsW or
// waveInGetDevCapsW) describes, or the wave mapper for "default"; none when no device has it.
template <class Caps>
bool FindWaveDevice(const std::string& name, UINT count, MMRESULT(WINAPI* get_caps)(UINT_PTR, Caps*, UINT), UINT& id) {
    if (name.empty() || name == kDefaultWaveDevice) {
        id = WAVE_MAPPER;
        return true;
    }
    for (UINT i = 0; i < count; ++i) {
        Caps caps{};
        if (get_caps(i, &caps, sizeof caps) == MMSYSERR_NOERROR && win::Narrow(caps.szPname) == name) {
            id = i;
            return true;
        }
    }
    return false;
}

// winmm's text for `code` through `get_text` (waveOutGetErrorTextW or waveInGetErrorTextW), else
// `what` and the number.
inline std::string WaveErrorText(MMRESULT code, MMRESULT(WINAPI* get_text)(MMRESULT, LPWSTR, UINT),
                                 const std::string& what) {
    wchar_t text[MAXERRORLENGTH] = {};
    if (get_text(code, text, MAXERRORLENGTH) != MMSYSERR_NOERROR || text[0] == L'\0')
        return what + " " + std::to_string(code);
    return win::Narrow(text);
}

} // namespace tolbe::audio
