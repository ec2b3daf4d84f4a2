#include "audio/WavFile.h"

#include <sndfile.h>

#include <memory>
#include <string>
#include <utility>

namespace tolbe::audio {

namespace {

struct SndCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndHandle = std::unique_ptr<SNDFILE, SndCloser>;

template <typename T> Result<T> Refuse(const std::filesystem::path& file, const std::string& what) {
    return Result<T>::Fail(file.string() + ": " + what);
}

} // namespace

Status WriteWavFile(const std::filesystem::path& file, std::span<const std::uint8_t> pcm, int sample_rate,
                    int channels) {
    if (channels < 1 || sample_rate < 1) return Refuse<Done>(file, "invalid sample rate or channel count");
    const std::size_t frame_bytes = 2u * static_cast<unsigned>(channels);
    if (pcm.size() % frame_bytes != 0) return Refuse<Done>(file, "sample data is not a whole number of frames");

    SF_INFO info{};
    info.samplerate = sample_rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_FILE;
    SndHandle out(sf_open(file.c_str(), SFM_WRITE, &info));
    if (!out) return Refuse<Done>(file, sf_strerror(nullptr));

    // Through 16-bit samples assembled from little-endian bytes, so the file is right on any host.
    std::vector<short> samples(pcm.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(static_cast<std::uint16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8)));
    const auto frames = static_cast<sf_count_t>(pcm.size() / frame_bytes);
    if (sf_writef_short(out.get(), samples.data(), frames) != frames) return Refuse<Done>(file, sf_strerror(out.get()));
    if (sf_close(out.release()) != 0) return Refuse<Done>(file, "could not be completed");
    return Ok();
}

Result<WavAudio> ReadWavFile(const std::filesystem::path& file) {
    SF_INFO info{};
    SndHandle in(sf_open(file.c_str(), SFM_READ, &info));
    if (!in) return Refuse<WavAudio>(file, sf_strerror(nullptr));
    if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV && (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAVEX)
        return Refuse<WavAudio>(file, "not a WAV file");
    if ((info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16) return Refuse<WavAudio>(file, "not 16-bit PCM");
    if (info.channels != 1 && info.channels != 2)
        return Refuse<WavAudio>(file, "has " + std::to_string(info.channels) + " channels");
    if (info.samplerate < kMinWavSampleRate || info.samplerate > kMaxWavSampleRate)
        return Refuse<WavAudio>(file, "claims " + std::to_string(info.samplerate) + " samples per second; " +
                                          std::to_string(kMinWavSampleRate) + " to " +
                                          std::to_string(kMaxWavSampleRate) + " are read");
    if (info.frames < 0 || info.frames > static_cast<sf_count_t>(kMaxWavSeconds) * info.samplerate)
        return Refuse<WavAudio>(
            file, "lasts " + std::to_string(info.frames / info.samplerate) + " s; a download of all four slots " +
                      "lasts " + std::to_string(static_cast<int>(Slot::kCount * kLongestDownload_ms / 1000) + 1) +
                      " s, so recordings of at most " + std::to_string(kMaxWavSeconds) + " s are read");
    // Nor more samples than the file has bytes for: a lying header must not size the buffer.
    std::error_code ec;
    const auto file_bytes = std::filesystem::file_size(file, ec);
    if (!ec && static_cast<std::uintmax_t>(info.frames) * 2u * static_cast<unsigned>(info.channels) > file_bytes)
        return Refuse<WavAudio>(file, "is shorter than announced");

    WavAudio audio;
    audio.sample_rate = info.samplerate;
    audio.channels = info.channels;
    std::vector<short> samples(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    if (sf_readf_short(in.get(), samples.data(), info.frames) != info.frames)
        return Refuse<WavAudio>(file, "is shorter than announced");
    audio.pcm.resize(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(samples[i]);
        audio.pcm[2 * i] = static_cast<std::uint8_t>(v & 0xFFu);
        audio.pcm[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return Result<WavAudio>::Ok(std::move(audio));
}

} // namespace tolbe::audio
