#include "audio/WavFile.h"

#include "common/AtomicFile.h"

#include <cstring>
#include <fstream>
#include <optional>
#include <string>

// 16-bit PCM WAV files without libsndfile: RIFF chunks, "fmt " as PCM or as the extensible form
// with the PCM sub-format, "data"; every other chunk is skipped.
namespace tolbe::audio {
namespace {

template <typename T> Result<T> Refuse(const std::filesystem::path& file, const std::string& what) {
    return Result<T>::Fail(file.string() + ": " + what);
}

void Put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFFu);
    out += static_cast<char>((v >> 8) & 0xFFu);
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFFu);
    Put16(out, v >> 16);
}

std::uint32_t Get16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}

std::uint32_t Get32(const unsigned char* p) {
    return Get16(p) | (Get16(p + 2) << 16);
}

// The PCM sub-format of WAVE_FORMAT_EXTENSIBLE: 00000001-0000-0010-8000-00aa00389b71.
constexpr unsigned char kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                        0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

} // namespace

Status WriteWavFile(const std::filesystem::path& file, std::span<const std::uint8_t> pcm, int sample_rate,
                    int channels) {
    if (channels < 1 || sample_rate < 1) return Refuse<Done>(file, "invalid sample rate or channel count");
    const std::size_t frame_bytes = 2u * static_cast<unsigned>(channels);
    if (pcm.size() % frame_bytes != 0) return Refuse<Done>(file, "sample data is not a whole number of frames");
    if (pcm.size() > 0xFFFFFFFFu - 36) return Refuse<Done>(file, "too long for a WAV file");
    std::string bytes;
    bytes.reserve(44 + pcm.size());
    bytes += "RIFF";
    Put32(bytes, static_cast<std::uint32_t>(36 + pcm.size()));
    bytes += "WAVEfmt ";
    Put32(bytes, 16);
    Put16(bytes, 1); // PCM
    Put16(bytes, static_cast<std::uint32_t>(channels));
    Put32(bytes, static_cast<std::uint32_t>(sample_rate));
    Put32(bytes, static_cast<std::uint32_t>(sample_rate) * static_cast<std::uint32_t>(frame_bytes));
    Put16(bytes, static_cast<std::uint32_t>(frame_bytes));
    Put16(bytes, 16);
    bytes += "data";
    Put32(bytes, static_cast<std::uint32_t>(pcm.size()));
    // The samples are little-endian already, as a WAV file holds them.
    bytes.append(reinterpret_cast<const char*>(pcm.data()), pcm.size());
    try {
        WriteFileAtomically(file, bytes);
    } catch (const std::filesystem::filesystem_error& e) {
        return Refuse<Done>(file, e.code().message());
    }
    return Ok();
}

Result<WavAudio> ReadWavFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return Refuse<WavAudio>(file, "cannot be opened");
    std::error_code ec;
    const std::uintmax_t file_bytes = std::filesystem::file_size(file, ec);
    if (ec) return Refuse<WavAudio>(file, ec.message());
    unsigned char head[12];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return Refuse<WavAudio>(file, "not a WAV file");
    WavAudio audio;
    int bits = 0;
    bool have_format = false;
    // Chunks one after another, each padded to an even length; a file of lies ends at its end.
    for (std::uintmax_t at = 12; at + 8 <= file_bytes;) {
        unsigned char chunk[8];
        if (!in.seekg(static_cast<std::streamoff>(at)) || !in.read(reinterpret_cast<char*>(chunk), 8)) break;
        const std::uint32_t size = Get32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[40] = {};
            if (size < 16 || !in.read(reinterpret_cast<char*>(fmt), std::min<std::uint32_t>(size, sizeof fmt)))
                return Refuse<WavAudio>(file, "has a damaged format chunk");
            const std::uint32_t tag = Get16(fmt);
            const bool pcm = tag == 1 || (tag == 0xFFFE && size >= 40 && std::memcmp(fmt + 24, kPcmGuid, 16) == 0);
            if (!pcm) return Refuse<WavAudio>(file, "not 16-bit PCM");
            audio.channels = static_cast<int>(Get16(fmt + 2));
            const std::uint32_t rate = Get32(fmt + 4);
            audio.sample_rate = rate > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(rate);
            bits = static_cast<int>(Get16(fmt + 14));
            have_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format) return Refuse<WavAudio>(file, "has its samples before their format");
            if (bits != 16) return Refuse<WavAudio>(file, "not 16-bit PCM");
            if (audio.channels != 1 && audio.channels != 2)
                return Refuse<WavAudio>(file, "has " + std::to_string(audio.channels) + " channels");
            if (audio.sample_rate < kMinWavSampleRate || audio.sample_rate > kMaxWavSampleRate)
                return Refuse<WavAudio>(file, "claims " + std::to_string(audio.sample_rate) + " samples per second; " +
                                                  std::to_string(kMinWavSampleRate) + " to " +
                                                  std::to_string(kMaxWavSampleRate) + " are read");
            const std::uintmax_t frame_bytes = 2u * static_cast<unsigned>(audio.channels);
            const std::uintmax_t frames = size / frame_bytes;
            if (frames > static_cast<std::uintmax_t>(kMaxWavSeconds) * static_cast<unsigned>(audio.sample_rate))
                return Refuse<WavAudio>(
                    file, "lasts " + std::to_string(frames / static_cast<unsigned>(audio.sample_rate)) +
                              " s; a download of all four slots lasts " +
                              std::to_string(static_cast<int>(Slot::kCount * kLongestDownload_ms / 1000) + 1) +
                              " s, so recordings of at most " + std::to_string(kMaxWavSeconds) + " s are read");
            // Nor more samples than the file has bytes for: a lying header must not size the buffer.
            if (at + 8 + frames * frame_bytes > file_bytes) return Refuse<WavAudio>(file, "is shorter than announced");
            audio.pcm.resize(static_cast<std::size_t>(frames * frame_bytes));
            if (!in.read(reinterpret_cast<char*>(audio.pcm.data()), static_cast<std::streamsize>(audio.pcm.size())))
                return Refuse<WavAudio>(file, "is shorter than announced");
            return Result<WavAudio>::Ok(std::move(audio));
        }
        at += 8 + static_cast<std::uintmax_t>(size) + (size & 1u);
    }
    return Refuse<WavAudio>(file, have_format ? "has no samples" : "not a WAV file");
}

} // namespace tolbe::audio
