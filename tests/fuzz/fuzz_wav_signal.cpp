// `tolbe-cli verify` on any file: the WAV reader, then the signal decoder on what it read. An input
// beginning with "RAW" goes to the decoder directly instead: 4 bytes of sample rate, 1 byte of
// channel count, then 16-bit samples, so its entry checks see any format too.
#include "tests/fuzz/FuzzSupport.h"

#include "audio/SignalDecoder.h"
#include "audio/WavFile.h"

#include <cstring>
#include <stdexcept>

namespace {

void CheckResult(const tolbe::audio::SignalCheck& check) {
    namespace au = tolbe::audio;
    FUZZ_CHECK(check.memory.size() == au::kRemoteMemoryBytes);
    for (const auto& p : check.packets)
        FUZZ_CHECK(p.bytes_read <= au::kPacketAirBytes);
    FUZZ_CHECK(check.SlotBytes().size() <= au::kSlotRegionBytes);
    // A download that checks out has a header, its blocks and an end.
    if (check.Ok()) FUZZ_CHECK(check.header_blocks >= 1 && check.blocks_found == check.header_blocks);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace au = tolbe::audio;
    if (size >= 8 && std::memcmp(data, "RAW", 3) == 0) {
        std::int32_t rate = 0;
        std::memcpy(&rate, data + 3, 4);
        const int channels = data[7];
        std::vector<std::int16_t> samples((size - 8) / 2);
        if (!samples.empty()) std::memcpy(samples.data(), data + 8, samples.size() * 2);
        try {
            CheckResult(au::CheckDownloadSignal(samples, channels, rate));
        } catch (const std::invalid_argument& e) {
            FUZZ_CHECK(std::strlen(e.what()) > 0);
        }
        return 0;
    }
    static tolbe::fuzz::MemoryFile file;
    file.Write(data, size);
    const auto read = au::ReadWavFile(file.Path());
    if (!read) return 0;
    const au::WavAudio& audio = *read;
    FUZZ_CHECK(audio.sample_rate >= au::kMinWavSampleRate && audio.sample_rate <= au::kMaxWavSampleRate);
    FUZZ_CHECK(audio.pcm.size() <= size); // never more samples than the file had bytes for
    try {
        CheckResult(au::CheckDownloadSignal(audio));
    } catch (const std::invalid_argument& e) {
        FUZZ_CHECK(std::strlen(e.what()) > 0);
    }
    return 0;
}
