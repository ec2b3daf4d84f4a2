#include "audio/Packets.h"

#include <algorithm>

namespace tolbe::audio {

std::uint8_t GetCheckSum(std::span<const std::uint8_t> bytes, std::size_t n) {
    unsigned sum = 0;
    for (const std::uint8_t b : bytes.first(std::min(n, bytes.size())))
        sum += b;
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

Packet BuildHeaderPacket(std::uint8_t slot, std::uint8_t blockCount) {
    Packet p(kHeaderPacketBytes, 0);
    p[0] = kPacketMark1;
    p[1] = kPacketMark2;
    p[2] = 0x06;
    p[3] = kKindHeader;
    p[4] = slot;
    p[5] = GetCheckSum(p, 5);
    p[6] = blockCount;
    return p;
}

Packet BuildDataPacket(std::uint16_t address, std::span<const std::uint8_t> block) {
    Packet p(kDataPacketBytes, 0);
    p[0] = kPacketMark1;
    p[1] = kPacketMark2;
    p[2] = static_cast<std::uint8_t>(kDataPacketBytes);
    p[3] = kKindData;
    p[4] = static_cast<std::uint8_t>(address >> 8);
    p[5] = static_cast<std::uint8_t>(address & 0xFFu);
    std::copy_n(block.begin(), std::min(block.size(), kBlockBytes), p.begin() + 6);
    p[70] = GetCheckSum(p, 70);
    return p;
}

Packet BuildEndPacket() {
    Packet p(kEndPacketBytes, 0);
    p[0] = kPacketMark1;
    p[1] = kPacketMark2;
    p[2] = 0x05;
    p[3] = kKindEnd;
    p[4] = GetCheckSum(p, 4);
    return p;
}

std::vector<Packet> BuildDownloadPackets(std::uint8_t slot, std::span<const std::uint8_t> codeBuffer,
                                         std::uint8_t blockCount) {
    std::vector<Packet> packets;
    packets.reserve(blockCount + 2u);
    packets.push_back(BuildHeaderPacket(slot, blockCount));
    std::uint16_t address = Slot::FromNumber(slot).BaseAddress();
    for (std::size_t k = 0; k < blockCount; ++k) {
        const std::size_t from = std::min(k * kBlockBytes, codeBuffer.size());
        const std::size_t len = std::min(kBlockBytes, codeBuffer.size() - from);
        packets.push_back(BuildDataPacket(address, codeBuffer.subspan(from, len)));
        address = static_cast<std::uint16_t>(address + kBlockBytes);
    }
    packets.push_back(BuildEndPacket());
    return packets;
}

} // namespace tolbe::audio
