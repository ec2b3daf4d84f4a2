#include "audio/Modulator.h"
#include "audio/Packets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

using namespace tolbe::audio;

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

bool SliceEquals(const WaveBuffer& buf, std::size_t at, std::span<const std::uint8_t> tone) {
    return at + tone.size() <= buf.size() && std::equal(tone.begin(), tone.end(), buf.begin() + at);
}

// Reads the bits back out of a buffer by recognising the two tone periods; stops at the first
// position that holds neither (the silence). Returns the bits and the position where it stopped.
std::pair<std::vector<int>, std::size_t> Demodulate(const WaveBuffer& buf) {
    std::vector<int> bits;
    std::size_t p = 0;
    while (p < buf.size()) {
        if (SliceEquals(buf, p, WaveBit1())) {
            bits.push_back(1);
            p += kWaveBit1Bytes;
        } else if (SliceEquals(buf, p, WaveBit0())) {
            bits.push_back(0);
            p += kWaveBit0Bytes;
        } else {
            break;
        }
    }
    return {bits, p};
}

std::vector<std::uint8_t> BitsToBytes(const std::vector<int>& bits) {
    std::vector<std::uint8_t> out(bits.size() / 8);
    for (std::size_t i = 0; i < out.size() * 8; ++i)
        out[i / 8] = static_cast<std::uint8_t>(out[i / 8] << 1 | bits[i]);
    return out;
}

std::vector<std::uint8_t> RandomPacket(std::mt19937& gen) {
    std::vector<std::uint8_t> p(kPacketAirBytes);
    for (auto& b : p)
        b = static_cast<std::uint8_t>(gen() & 0xFF);
    return p;
}

} // namespace

TEST(ToneTables, TextsParseToOneSinePeriodEach) {
    InitWaveTable();
    EXPECT_EQ(kWaveBit0Text.size(), 120u);
    EXPECT_EQ(kWaveBit1Text.size(), 240u);
    const auto bit0 = WaveBit0();
    const auto bit1 = WaveBit1();
    ASSERT_EQ(bit0.size(), 40u);
    ASSERT_EQ(bit1.size(), 80u);
    auto s = [](std::uint8_t b) { return static_cast<int>(static_cast<std::int8_t>(b)); };
    EXPECT_EQ(s(bit0[0]), 0);
    EXPECT_EQ(s(bit0[10]), -126);
    EXPECT_EQ(s(bit0[20]), 0);
    EXPECT_EQ(s(bit0[30]), 126);
    EXPECT_EQ(bit0[39], 0x14);
    EXPECT_EQ(*std::min_element(bit0.begin(), bit0.end(), [&](auto a, auto b) { return s(a) < s(b); }), 0x82);
    for (int i : {19, 20, 21})
        EXPECT_EQ(s(bit1[i]), -126) << i;
    for (int i : {59, 60, 61})
        EXPECT_EQ(s(bit1[i]), 126) << i;
    EXPECT_EQ(s(bit1[40]), 0);
    EXPECT_EQ(bit1[79], 0x0A);
    EXPECT_EQ(std::vector<std::uint8_t>(BitMask().begin(), BitMask().end()), Bytes({128, 64, 32, 16, 8, 4, 2, 1}));
}

TEST(ToneTables, ParseRejectsNonHexadecimalText) {
    EXPECT_EQ(ParseToneTable("0a FF "), Bytes({0x0A, 0xFF}));
    EXPECT_THROW(ParseToneTable("00 G1 "), std::invalid_argument);
}

TEST(BuildWaveBuffer, StartsWithPreambleAndSyncLayout) {
    const WaveBuffer buf = BuildWaveBuffer(BuildEndPacket());
    static_assert(std::tuple_size_v<WaveBuffer> == 54400);
    EXPECT_EQ(buf[0], 0x00);
    EXPECT_EQ(buf[1], 0xEC);
    EXPECT_EQ(buf[2], 0xD9);
    EXPECT_EQ(buf[3], 0xC7);
    // First stereo sample frame: -5120 left, -14375 right.
    EXPECT_EQ(static_cast<std::int16_t>(buf[0] | buf[1] << 8), -5120);
    EXPECT_EQ(static_cast<std::int16_t>(buf[2] | buf[3] << 8), -14375);
    EXPECT_TRUE(SliceEquals(buf, 0, WaveBit0()));
    EXPECT_TRUE(SliceEquals(buf, 40, WaveBit1()));
    EXPECT_TRUE(SliceEquals(buf, 120, WaveBit0()));
    // 64 preamble bits alternate 0,1 and end at 3840; sync 0xCC is 1,1,0,0,1,1,0,0 and 0x33 its inverse.
    const auto [bits, end] = Demodulate(buf);
    ASSERT_GE(bits.size(), 80u);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(bits[i], i % 2) << i;
    EXPECT_EQ(std::vector<int>(bits.begin() + 64, bits.begin() + 72), (std::vector<int>{1, 1, 0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(std::vector<int>(bits.begin() + 72, bits.begin() + 80), (std::vector<int>{0, 0, 1, 1, 0, 0, 1, 1}));
    // 0x55 takes 4 x 40 + 4 x 80 = 480 bytes, so the preamble ends at 3840; each sync byte also takes 480.
    EXPECT_TRUE(SliceEquals(buf, 3840, WaveBit1()));
    EXPECT_TRUE(SliceEquals(buf, 3840 + 80 + 80 + 40 + 40, WaveBit1()));
    EXPECT_TRUE(SliceEquals(buf, 4320, WaveBit0()));
    EXPECT_TRUE(SliceEquals(buf, 4320 + 40 + 40, WaveBit1()));
}

TEST(BuildWaveBuffer, PacketBitsStartAt4800AndRoundTrip) {
    std::mt19937 gen(7);
    for (int round = 0; round < 50; ++round) {
        const auto packet = RandomPacket(gen);
        const WaveBuffer buf = BuildWaveBuffer(packet);
        // The first packet bit, MSB of byte 0, is always the first thing at 4800.
        EXPECT_TRUE(SliceEquals(buf, 4800, (packet[0] & 0x80) ? WaveBit1() : WaveBit0()));
        const auto [bits, end] = Demodulate(buf);
        ASSERT_EQ(bits.size(), kFrameBytes * 8);
        const auto frame = BitsToBytes(bits);
        EXPECT_TRUE(std::all_of(frame.begin(), frame.begin() + 8, [](auto b) { return b == 0x55; }));
        EXPECT_EQ(frame[8], 0xCC);
        EXPECT_EQ(frame[9], 0x33);
        EXPECT_EQ(std::vector<std::uint8_t>(frame.begin() + 10, frame.begin() + 81), packet);
        EXPECT_TRUE(std::all_of(frame.begin() + 81, frame.end(), [](auto b) { return b == 0; }));
        // Everything after the frame is silence.
        EXPECT_TRUE(std::all_of(buf.begin() + static_cast<long>(end), buf.end(), [](auto b) { return b == 0; }));
    }
}

TEST(BuildWaveBuffer, SignalLengthDependsOnlyOnTheOnesCount) {
    const std::vector<std::uint8_t> zeros(kPacketAirBytes, 0x00);
    const WaveBuffer quiet = BuildWaveBuffer(zeros);
    // Fixed parts take 6080 bytes, 568 zero bits 22720 more: the last period ends at 28799.
    EXPECT_EQ(Demodulate(quiet).second, 28800u);
    EXPECT_EQ(quiet[28799], 0x14);
    EXPECT_TRUE(std::all_of(quiet.begin() + 28800, quiet.end(), [](auto b) { return b == 0; }));

    const std::vector<std::uint8_t> ones(kPacketAirBytes, 0xFF);
    const WaveBuffer loud = BuildWaveBuffer(ones);
    EXPECT_EQ(Demodulate(loud).second, 51520u);
    EXPECT_EQ(loud[51519], 0x14); // the trailer's last zero bit
    EXPECT_TRUE(std::all_of(loud.begin() + 51520, loud.end(), [](auto b) { return b == 0; }));
    // The trailer is always 32 zero bits right after packet byte 70.
    for (int i = 0; i < 32; ++i)
        EXPECT_TRUE(SliceEquals(loud, 51520 - 1280 + 40u * i, WaveBit0())) << i;
}

TEST(BuildWaveBuffer, EndPacketZerosBecomeShortPeriods) {
    const auto end = BuildEndPacket();
    ASSERT_EQ(end.size(), 101u);
    const WaveBuffer buf = BuildWaveBuffer(end);
    const auto [bits, stop] = Demodulate(buf);
    ASSERT_EQ(bits.size(), kFrameBytes * 8);
    // Packet bytes 5 to 70 (frame bits 120 to 647) are 528 zero bits.
    EXPECT_TRUE(std::all_of(bits.begin() + 120, bits.begin() + 648, [](int b) { return b == 0; }));
    // Only the first 71 bytes count: a longer array with other bytes beyond gives the same buffer.
    std::vector<std::uint8_t> longer(end.begin(), end.begin() + 71);
    EXPECT_EQ(BuildWaveBuffer(longer), buf);
    longer.resize(300, 0xA5);
    EXPECT_EQ(BuildWaveBuffer(longer), buf);
}

TEST(BuildWaveBuffer, RejectsAShortPacket) {
    const std::vector<std::uint8_t> shortPacket(70, 0);
    EXPECT_THROW(BuildWaveBuffer(shortPacket), std::invalid_argument);
}
