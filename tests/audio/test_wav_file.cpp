#include "audio/WavFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tolbe;
using namespace tolbe::audio;

namespace {

std::string Le32(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF), static_cast<char>(v >> 16 & 0xFF),
            static_cast<char>(v >> 24 & 0xFF)};
}
std::string Le16(std::uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string PcmWav(int channels, int rate, int bits, const std::string& data) {
    const int align = channels * bits / 8;
    return "RIFF" + Le32(36 + static_cast<std::uint32_t>(data.size())) + "WAVEfmt " + Le32(16) + Le16(1) +
           Le16(static_cast<std::uint16_t>(channels)) + Le32(static_cast<std::uint32_t>(rate)) +
           Le32(static_cast<std::uint32_t>(rate * align)) + Le16(static_cast<std::uint16_t>(align)) +
           Le16(static_cast<std::uint16_t>(bits)) + "data" + Le32(static_cast<std::uint32_t>(data.size())) + data;
}

} // namespace

TEST(WavFile, WritesACanonicalStereoFile) {
    test::TempDir dir;
    const std::vector<std::uint8_t> pcm{0x00, 0xEC, 0xD9, 0xC7, 0x01, 0x80, 0xFF, 0x7F};
    ASSERT_TRUE(WriteWavFile(dir / "out.wav", pcm, 44100, 2));
    const std::string bytes = test::ReadFile(dir / "out.wav");
    EXPECT_EQ(bytes, PcmWav(2, 44100, 16, std::string(pcm.begin(), pcm.end())));
}

TEST(WavFile, ReadsBackMonoAndStereoAtAnyRate) {
    test::TempDir dir;
    std::vector<std::uint8_t> pcm(4000);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::uint8_t>(i * 13);
    ASSERT_TRUE(WriteWavFile(dir / "s.wav", pcm, 44100, 2));
    const WavAudio s = ReadWavFile(dir / "s.wav").Value();
    EXPECT_EQ(s.sample_rate, 44100);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.FrameCount(), 1000u);
    EXPECT_EQ(s.pcm, pcm);

    test::WriteFile(dir / "m.wav", PcmWav(1, 8000, 16, std::string("\x01\x02\x03\x04", 4)));
    const WavAudio m = ReadWavFile(dir / "m.wav").Value();
    EXPECT_EQ(m.sample_rate, 8000);
    EXPECT_EQ(m.channels, 1);
    EXPECT_EQ(m.pcm, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST(WavFile, BadInputGivesAClearError) {
    test::TempDir dir;
    EXPECT_FALSE(ReadWavFile(dir / "missing.wav"));
    test::WriteFile(dir / "text.wav", "this is not a sound file at all");
    EXPECT_FALSE(ReadWavFile(dir / "text.wav"));
    test::WriteFile(dir / "eight.wav", PcmWav(1, 8000, 8, std::string(16, '\x80')));
    const auto eight = ReadWavFile(dir / "eight.wav");
    ASSERT_FALSE(eight) << "8-bit file accepted";
    EXPECT_NE(eight.Error().find("eight.wav"), std::string::npos);
    EXPECT_NE(eight.Error().find("16-bit"), std::string::npos);
    // Rates no sound card records at, and headers that claim more audio than the file holds.
    for (const int rate : {kMinWavSampleRate - 1, kMaxWavSampleRate + 1, 1000000000}) {
        test::WriteFile(dir / "rate.wav", PcmWav(1, rate, 16, std::string(64, '\x01')));
        const auto read = ReadWavFile(dir / "rate.wav");
        EXPECT_FALSE(read) << rate << " Hz accepted";
        EXPECT_NE(read.Error().find(std::to_string(rate) + " samples per second"), std::string::npos) << read.Error();
    }
    // Ten minutes at 384 kHz (a sparse file): longer than a download of every slot, refused unread.
    const std::uint32_t bytes = 600u * 384000u * 4u;
    test::WriteFile(dir / "long.wav",
                    PcmWav(2, 384000, 16, "").replace(4, 4, Le32(36 + bytes)).replace(40, 4, Le32(bytes)));
    std::filesystem::resize_file(dir / "long.wav", 44 + bytes);
    const std::string why = ReadWavFile(dir / "long.wav").Error();
    EXPECT_NE(why.find("lasts 600 s"), std::string::npos) << why;
    test::WriteFile(dir / "top.wav", PcmWav(1, kMaxWavSampleRate, 16, std::string(64, '\x01')));
    EXPECT_EQ(ReadWavFile(dir / "top.wav")->sample_rate, kMaxWavSampleRate);
    const std::vector<std::uint8_t> odd{1, 2, 3};
    EXPECT_FALSE(WriteWavFile(dir / "odd.wav", odd, 44100, 2));
    EXPECT_FALSE(WriteWavFile(dir / "no" / "such" / "folder.wav", std::vector<std::uint8_t>(4), 44100, 2));
}
