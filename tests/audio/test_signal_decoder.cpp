#include "audio/Packets.h"
#include "audio/SignalDecoder.h"
#include "audio/WavFile.h"
#include "tests/audio/test_signal_decoder_support.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using tolbe::Slot;
using namespace tolbe;
using namespace tolbe::audio;
using test::DownloadSamples;
using test::ExpectDownload;
using test::RandomCodeBuffer;

namespace {

const std::vector<std::uint8_t> kFiveBlocks = RandomCodeBuffer(5, 77);

std::vector<std::int16_t> Channel(std::span<const std::int16_t> stereo, int channel) {
    std::vector<std::int16_t> mono(stereo.size() / 2);
    for (std::size_t i = 0; i < mono.size(); ++i)
        mono[i] = stereo[2 * i + static_cast<std::size_t>(channel)];
    return mono;
}

bool HasFault(const SignalCheck& check, const std::string& fault) {
    return std::find(check.faults.begin(), check.faults.end(), fault) != check.faults.end();
}

} // namespace

class SignalRoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(SignalRoundTrip, DecodesEveryPacketAndTheSlotBytes) {
    const auto [slot, blocks] = GetParam();
    const auto buffer = RandomCodeBuffer(blocks, static_cast<std::uint32_t>(100 * slot + blocks));
    const auto check = CheckDownloadSignal(DownloadSamples(static_cast<std::uint8_t>(slot), buffer), 2, 44100);
    ExpectDownload(check, slot, buffer);

    // The packets read back are the packets sent, byte for byte.
    const auto sent = BuildDownloadPackets(static_cast<std::uint8_t>(slot), buffer, static_cast<std::uint8_t>(blocks));
    ASSERT_EQ(check.packets.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_TRUE(std::equal(check.packets[i].bytes.begin(), check.packets[i].bytes.end(), sent[i].begin()))
            << "packet " << i;
        EXPECT_EQ(check.packets[i].bytes_read, 71u);
    }

    // Only the slot's own blocks of the remote's memory were written.
    const std::size_t first = Slot::FromNumber(slot).BaseAddress() / kBlockBytes;
    for (std::size_t b = 0; b < check.block_written.size(); ++b)
        EXPECT_EQ(check.block_written[b], b >= first && b < first + static_cast<std::size_t>(blocks)) << "block " << b;
    EXPECT_EQ(std::count(check.memory.begin(), check.memory.end(), 0) +
                  std::count_if(buffer.begin(), buffer.end(), [](std::uint8_t v) { return v != 0; }),
              static_cast<std::ptrdiff_t>(kRemoteMemoryBytes));
    EXPECT_FALSE(check.inverted);
    EXPECT_NEAR(check.peak_dBFS, -0.1, 0.2);
}

INSTANTIATE_TEST_SUITE_P(SlotsAndSizes, SignalRoundTrip,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3), ::testing::Values(1, 12)));

TEST(SignalDecoder, AuxTwelveBlocksRunFrom0x0900To0x0BC0) {
    const auto buffer = RandomCodeBuffer(12, 3);
    const auto check = CheckDownloadSignal(DownloadSamples(3, buffer), 2, 44100);
    ASSERT_EQ(check.packets.size(), 14u);
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(check.packets[static_cast<std::size_t>(k) + 1].address, 0x0900 + 0x40 * k);
    EXPECT_EQ(check.packets[0].bytes[6], 12);
    // The time stamps follow the download's rhythm: 308.4 ms per packet, 400 ms after the header, 80 ms after
    // each block.
    EXPECT_NEAR(check.packets[1].time_s - check.packets[0].time_s, 0.7084, 0.001);
    EXPECT_NEAR(check.packets[2].time_s - check.packets[1].time_s, 0.3884, 0.001);
}

TEST(SignalDecoder, ToleratesDcOffsetInversionOneChannelAndMono) {
    const auto clean = test::Attenuate(DownloadSamples(2, kFiveBlocks), -12);

    std::vector<std::int16_t> offset(clean);
    for (auto& v : offset)
        v = test::Clamp16(v + 6000.0);
    auto check = CheckDownloadSignal(offset, 2, 44100);
    ExpectDownload(check, 2, kFiveBlocks);
    EXPECT_NEAR(check.dc_offset, 6000, 50);

    std::vector<std::int16_t> inverted(clean);
    for (auto& v : inverted)
        v = test::Clamp16(-static_cast<double>(v));
    check = CheckDownloadSignal(inverted, 2, 44100);
    ExpectDownload(check, 2, kFiveBlocks);
    EXPECT_TRUE(check.inverted);

    std::vector<std::int16_t> right_only(clean);
    for (std::size_t i = 0; i < right_only.size(); i += 2)
        right_only[i] = 0;
    check = CheckDownloadSignal(right_only, 2, 44100);
    ExpectDownload(check, 2, kFiveBlocks);
    EXPECT_EQ(check.channel_used, 1);
    // Asked for the silent left channel, the decoder says so rather than guessing.
    check = CheckDownloadSignal(right_only, 2, 44100, DecodeOptions{0});
    EXPECT_EQ(check.FirstFault(), "no signal: the recording is silent");

    check = CheckDownloadSignal(Channel(clean, 0), 1, 44100);
    ExpectDownload(check, 2, kFiveBlocks);
    check = CheckDownloadSignal(Channel(clean, 1), 1, 44100);
    ExpectDownload(check, 2, kFiveBlocks);
}

TEST(SignalDecoder, ToleratesOverdriveDriftingOffsetAndClockError) {
    const auto samples = DownloadSamples(3, kFiveBlocks);

    // A line input driven 20 dB too hard turns the tones into square waves.
    auto check = CheckDownloadSignal(test::Attenuate(samples, 20), 2, 44100);
    ExpectDownload(check, 3, kFiveBlocks);

    // An offset that wanders by 8000 over the recording, as an AC-coupled input settling down.
    auto drifting = test::Attenuate(samples, -12);
    for (std::size_t i = 0; i < drifting.size(); ++i)
        drifting[i] =
            test::Clamp16(drifting[i] + 8000.0 * static_cast<double>(i) / static_cast<double>(drifting.size()));
    ExpectDownload(CheckDownloadSignal(drifting, 2, 44100), 3, kFiveBlocks);

    // Sound cards whose clocks disagree by 3 % either way.
    ExpectDownload(CheckDownloadSignal(samples, 2, 42800), 3, kFiveBlocks);
    ExpectDownload(CheckDownloadSignal(samples, 2, 45400), 3, kFiveBlocks);
}

TEST(SignalDecoder, ThirtyDecibelsDownStillPassesAndQuieterIsReportedWithItsLevel) {
    const auto samples = DownloadSamples(1, kFiveBlocks);
    auto check = CheckDownloadSignal(test::Attenuate(samples, -30), 2, 44100);
    ExpectDownload(check, 1, kFiveBlocks);
    EXPECT_NEAR(check.peak_dBFS, -30.1, 0.3);

    // Still readable, but too weak to trust the remote with: a volume problem, not a code problem.
    check = CheckDownloadSignal(test::Attenuate(samples, -38), 2, 44100);
    EXPECT_EQ(check.FirstFault(), "signal too quiet: peak -38 dBFS");
    EXPECT_EQ(check.faults.size(), 1u);
    EXPECT_EQ(check.SlotBytes(), kFiveBlocks);

    // The limit is the caller's to set.
    check = CheckDownloadSignal(test::Attenuate(samples, -38), 2, 44100, DecodeOptions{-1, -45});
    EXPECT_TRUE(check.Ok()) << check.FirstFault();
}

TEST(SignalDecoder, DroppedBlockIsNamedByItsAddress) {
    // Packet 2 is the SAT slot's second block, at 0x0340.
    const auto samples = DownloadSamples(1, kFiveBlocks, [](int i, std::vector<std::uint8_t>&) { return i != 2; });
    const auto check = CheckDownloadSignal(samples, 2, 44100);
    EXPECT_EQ(check.FirstFault(), "block at 0x0340 missing");
    EXPECT_EQ(check.blocks_found, 4);
    EXPECT_EQ(check.header_blocks, 5);
    EXPECT_TRUE(HasFault(check, "4 blocks sent, the header announced 5"));
    EXPECT_FALSE(check.block_written[0x0340 / 64]);
    EXPECT_TRUE(check.block_written[0x0380 / 64]);
}

TEST(SignalDecoder, LastBlockDroppedIsMissingToo) {
    const auto samples = DownloadSamples(0, kFiveBlocks, [](int i, std::vector<std::uint8_t>&) { return i != 5; });
    const auto check = CheckDownloadSignal(samples, 2, 44100);
    EXPECT_EQ(check.FirstFault(), "block at 0x0100 missing");
}

TEST(SignalDecoder, FlippedBitBreaksTheBlocksChecksum) {
    const auto samples = DownloadSamples(1, kFiveBlocks, [](int i, std::vector<std::uint8_t>& p) {
        if (i == 1) p[40] ^= 0x08;
        return true;
    });
    const auto check = CheckDownloadSignal(samples, 2, 44100);
    EXPECT_EQ(check.faults, std::vector<std::string>{"checksum wrong in block at 0x0300"});
    EXPECT_FALSE(check.packets[1].checksum_ok);
    // The remote keeps nothing of a block it cannot trust.
    EXPECT_FALSE(check.block_written[0x0300 / 64]);
}

TEST(SignalDecoder, FlippedBitInHeaderOrEnd) {
    auto check = CheckDownloadSignal(DownloadSamples(1, kFiveBlocks,
                                                     [](int i, std::vector<std::uint8_t>& p) {
                                                         if (i == 0) p[5] ^= 0x01;
                                                         return true;
                                                     }),
                                     2, 44100);
    EXPECT_EQ(check.FirstFault(), "checksum wrong in header packet");
    check = CheckDownloadSignal(DownloadSamples(1, kFiveBlocks,
                                                [](int i, std::vector<std::uint8_t>& p) {
                                                    if (i == 6) p[4] ^= 0x80;
                                                    return true;
                                                }),
                                2, 44100);
    EXPECT_EQ(check.FirstFault(), "checksum wrong in end packet");
}

TEST(SignalDecoder, MissingEndOrHeaderPacket) {
    auto check = CheckDownloadSignal(
        DownloadSamples(3, kFiveBlocks, [](int i, std::vector<std::uint8_t>&) { return i != 6; }), 2, 44100);
    EXPECT_EQ(check.faults, std::vector<std::string>{"no end packet"});
    EXPECT_EQ(check.SlotBytes(), kFiveBlocks);

    check = CheckDownloadSignal(
        DownloadSamples(3, kFiveBlocks, [](int i, std::vector<std::uint8_t>&) { return i != 0; }), 2, 44100);
    EXPECT_EQ(check.faults, std::vector<std::string>{"no header packet"});
    EXPECT_TRUE(check.SlotBytes().empty());
}

TEST(SignalDecoder, HeaderAndBlocksThatDisagree) {
    // A header announcing fewer blocks than follow.
    auto check = CheckDownloadSignal(DownloadSamples(0, kFiveBlocks,
                                                     [](int i, std::vector<std::uint8_t>& p) {
                                                         if (i == 0) p[6] = 4;
                                                         return true;
                                                     }),
                                     2, 44100);
    EXPECT_EQ(check.faults, std::vector<std::string>{"5 blocks sent, the header announced 4"});

    // A block sent twice (leaving a gap) and one addressed outside the TV slot.
    check = CheckDownloadSignal(DownloadSamples(0, kFiveBlocks,
                                                [](int i, std::vector<std::uint8_t>& p) {
                                                    const std::vector<std::uint8_t> ones(64, 1);
                                                    if (i == 3) p = BuildDataPacket(0x0040, ones);
                                                    if (i == 5) p = BuildDataPacket(0x0300, ones);
                                                    return true;
                                                }),
                                2, 44100);
    EXPECT_EQ(check.faults, (std::vector<std::string>{"block at 0x0040 sent again", "block at 0x0080 missing",
                                                      "block at 0x0300 outside the slot's region 0x0000 to 0x02FF",
                                                      "block at 0x0100 missing"}));
    EXPECT_FALSE(check.block_written[0x0300 / 64]);
}

TEST(SignalDecoder, SecondDownloadAfterTheEndIsReported) {
    auto samples = DownloadSamples(0, kFiveBlocks);
    const auto again = DownloadSamples(0, kFiveBlocks);
    samples.insert(samples.end(), again.begin(), again.end());
    const auto check = CheckDownloadSignal(samples, 2, 44100);
    ASSERT_FALSE(check.Ok());
    EXPECT_EQ(check.FirstFault().rfind("header packet after the end packet at ", 0), 0u) << check.FirstFault();
    EXPECT_EQ(check.SlotBytes(), kFiveBlocks);
}

TEST(SignalDecoder, RecordingCutInsideAPacket) {
    auto samples = DownloadSamples(2, kFiveBlocks);
    // The third packet (block 1) starts 0.7084 + 0.3884 s in; cut 0.1 s into it.
    samples.resize(static_cast<std::size_t>((0.7084 + 0.3884 + 0.1) * 44100) * 2);
    const auto check = CheckDownloadSignal(samples, 2, 44100);
    ASSERT_EQ(check.packets.size(), 3u);
    EXPECT_EQ(check.packets[2].kind, PacketKind::Unreadable);
    EXPECT_LT(check.packets[2].bytes_read, 71u);
    EXPECT_EQ(check.FirstFault().rfind("unreadable packet at 1.", 0), 0u) << check.FirstFault();
    EXPECT_NE(check.FirstFault().find("signal broke off after"), std::string::npos);
    EXPECT_TRUE(HasFault(check, "no end packet"));
}

TEST(SignalDecoder, SilenceNoiseAndEmptyInput) {
    EXPECT_EQ(CheckDownloadSignal(std::vector<std::int16_t>{}, 2, 44100).FirstFault(),
              "no signal: the recording is silent");
    EXPECT_EQ(CheckDownloadSignal(std::vector<std::int16_t>(88200, 0), 2, 44100).FirstFault(),
              "no signal: the recording is silent");

    std::mt19937 gen(5);
    std::normal_distribution<double> noise(0, 3000);
    std::vector<std::int16_t> hiss(44100 * 2 * 3);
    for (auto& v : hiss)
        v = test::Clamp16(noise(gen));
    const auto check = CheckDownloadSignal(hiss, 2, 44100);
    EXPECT_EQ(check.faults, std::vector<std::string>{"no download signal found"});
}

TEST(SignalDecoder, RefusesFormatsItCannotRead) {
    const std::vector<std::int16_t> s(600, 0);
    EXPECT_THROW(CheckDownloadSignal(s, 3, 44100), std::invalid_argument);
    EXPECT_THROW(CheckDownloadSignal(s, 0, 44100), std::invalid_argument);
    EXPECT_THROW(CheckDownloadSignal(s, 2, 8000), std::invalid_argument);
    // Refused at once: the filters' cost grows with the rate and the length.
    EXPECT_THROW(CheckDownloadSignal(s, 1, kMaxSampleRate + 1), std::invalid_argument);
    EXPECT_THROW(CheckDownloadSignal(std::vector<std::int16_t>(std::size_t{kMinSampleRate} * (kMaxSignal_s + 1)), 1,
                                     kMinSampleRate),
                 std::invalid_argument);
    EXPECT_THROW(CheckDownloadSignal(s, 1, 44100, DecodeOptions{1}), std::invalid_argument);
    EXPECT_THROW(CheckDownloadSignal(s, 2, 44100, DecodeOptions{-2}), std::invalid_argument);
    // A stereo buffer with half a frame at its end loses only that half frame.
    const auto samples = DownloadSamples(0, RandomCodeBuffer(1, 1));
    std::vector<std::int16_t> odd(samples);
    odd.push_back(1234);
    ExpectDownload(CheckDownloadSignal(odd, 2, 44100), 0, RandomCodeBuffer(1, 1));
}

TEST(SignalDecoder, ReadsAWavFileAsWritten) {
    test::TempDir dir;
    const auto buffer = RandomCodeBuffer(3, 9);
    PcmCaptureSink sink;
    NoProgress progress;
    SendCodeRecord(2, buffer, 3, "DVD", sink, progress);
    ASSERT_TRUE(WriteWavFile(dir / "dvd.wav", sink.Pcm(), kSampleRate, kChannels));
    ExpectDownload(CheckDownloadSignal(ReadWavFile(dir / "dvd.wav").Value()), 2, buffer);
}
