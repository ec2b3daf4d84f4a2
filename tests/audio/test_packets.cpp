#include "audio/Packets.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using tolbe::Slot;
using namespace tolbe::audio;

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values, std::size_t zeroFillTo) {
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    out.resize(zeroFillTo, 0);
    return out;
}

} // namespace

TEST(GetCheckSum, SumsTheFirstNBytesModulo256) {
    const std::vector<std::uint8_t> bytes{0x55, 0xAA, 0x06, 0x00, 0x02, 0xFF};
    EXPECT_EQ(GetCheckSum(bytes, 5), 0x07);
    EXPECT_EQ(GetCheckSum(bytes, 0), 0x00);
    EXPECT_EQ(GetCheckSum(bytes, 6), 0x06);
    // A count beyond the array sums what is there instead of reading past it.
    EXPECT_EQ(GetCheckSum(bytes, 100), 0x06);
}

TEST(Packets, HeaderForSlot2WithFiveBlocks) {
    const Packet p = BuildHeaderPacket(2, 5);
    EXPECT_EQ(p, Bytes({0x55, 0xAA, 0x06, 0x00, 0x02, 0x07, 0x05}, 71));
}

TEST(Packets, EndPacketIsFixed) {
    const Packet p = BuildEndPacket();
    EXPECT_EQ(p, Bytes({0x55, 0xAA, 0x05, 0x02, 0x06}, 101));
}

TEST(Packets, DataPacketLayoutAndChecksum) {
    const std::vector<std::uint8_t> zeros(64, 0);
    const Packet p = BuildDataPacket(0x0000, zeros);
    ASSERT_EQ(p.size(), 71u);
    Packet expected = Bytes({0x55, 0xAA, 0x47, 0x01, 0x00, 0x00}, 71);
    expected[70] = 0x47;
    EXPECT_EQ(p, expected);

    std::vector<std::uint8_t> block(64);
    std::iota(block.begin(), block.end(), std::uint8_t{0xC0});
    const Packet q = BuildDataPacket(0x0BC0, block);
    ASSERT_EQ(q.size(), 71u);
    EXPECT_EQ(q[4], 0x0B);
    EXPECT_EQ(q[5], 0xC0);
    EXPECT_EQ(std::vector<std::uint8_t>(q.begin() + 6, q.begin() + 70), block);
    // 55+AA+47+01+0B+C0 = 0x212 and the block C0..FF sums to 0x37E0: 0x39F2 modulo 256.
    EXPECT_EQ(q[70], 0xF2);
}

TEST(Packets, SlotBaseAddresses) {
    const auto base = [](int n) { return Slot::FromNumber(n).BaseAddress(); };
    EXPECT_EQ(base(0), 0x0000);
    EXPECT_EQ(base(1), 0x0300);
    EXPECT_EQ(base(2), 0x0600);
    EXPECT_EQ(base(3), 0x0900);
    EXPECT_EQ(base(4), 0x0900);
    EXPECT_EQ(base(-1), 0x0900);
    EXPECT_EQ(base(255), 0x0900);
}

TEST(Packets, TwelveAuxBlocksAddressedUpTo0x0BC0) {
    std::vector<std::uint8_t> code(768);
    for (std::size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<std::uint8_t>(i / 64 + 1);
    const auto packets = BuildDownloadPackets(3, code, 12);
    ASSERT_EQ(packets.size(), 14u);
    EXPECT_EQ(packets.front(), Bytes({0x55, 0xAA, 0x06, 0x00, 0x03, 0x08, 0x0C}, 71));
    for (int k = 0; k < 12; ++k) {
        const Packet& d = packets[1 + k];
        const int address = 0x0900 + 0x40 * k;
        EXPECT_EQ(d[4], address >> 8) << k;
        EXPECT_EQ(d[5], address & 0xFF) << k;
        EXPECT_EQ(d[6], k + 1);
        EXPECT_EQ(d[69], k + 1);
    }
    EXPECT_EQ(packets[12][4], 0x0B);
    EXPECT_EQ(packets[12][5], 0xC0);
    EXPECT_EQ(packets.back(), BuildEndPacket());
}

TEST(Packets, OneBlockGivesThreePacketsAndMissingBytesAreZero) {
    const std::vector<std::uint8_t> code(64, 0x11);
    const auto packets = BuildDownloadPackets(1, code, 1);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0][6], 0x01);
    EXPECT_EQ(packets[1][4], 0x03);
    EXPECT_EQ(packets[1][5], 0x00);

    // A block count beyond the buffer sends zeros rather than reading past its end.
    const auto padded = BuildDownloadPackets(0, code, 2);
    ASSERT_EQ(padded.size(), 4u);
    EXPECT_EQ(padded[2], BuildDataPacket(0x0040, std::vector<std::uint8_t>(64, 0)));
}
