#pragma once

#include "audio/DownloadSequence.h"
#include "common/Result.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace tolbe::audio {

// 16-bit PCM audio: interleaved little-endian sample bytes, channels x 2 bytes per frame.
struct WavAudio {
    int sample_rate = 0;
    int channels = 0;
    std::vector<std::uint8_t> pcm;

    std::size_t FrameCount() const { return channels > 0 ? pcm.size() / (2u * static_cast<unsigned>(channels)) : 0; }
};

// Writes 16-bit little-endian interleaved PCM as a WAV file, replacing the file. A failure names the
// file and the cause.
Status WriteWavFile(const std::filesystem::path& file, std::span<const std::uint8_t> pcm, int sample_rate,
                    int channels);

// What the reader takes: rates a sound card records at, and no more audio than a recording of
// every slot's download holds. A header claiming more is refused before anything is allocated or
// filtered.
inline constexpr int kMinWavSampleRate = 8000;
inline constexpr int kMaxWavSampleRate = 384000;
inline constexpr int kMaxWavSeconds = kMaxRecording_s;

// Reads a WAV file of 16-bit PCM, mono or stereo, at kMinWavSampleRate to kMaxWavSampleRate and
// at most kMaxWavSeconds long. Anything else fails, naming the file and the cause.
Result<WavAudio> ReadWavFile(const std::filesystem::path& file);

} // namespace tolbe::audio
