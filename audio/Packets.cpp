#include "audio/Packets.h"

#include <algorithm>

namespace tolbe::audio {

std::uint8_t GetCheckSum(std::span<const std::uint8_t> bytes, std::size_t n) {
    unsigned sum = 0;
    for (const std::uint8_t b : bytes.first(std::min(n, bytes.size())))
        sum += b;
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

bool ChecksumHolds(std::span<const std::uint8_t> bytes, const PacketLayout& layout) {
    return bytes.size() > layout.checksumAt && bytes[layout.checksumAt] == GetCheckSum(bytes, layout.checksumAt);
}

namespace {

Packet Begin(const PacketLayout& layout) {
    Packet p(layout.bytes, 0);
    p[kMarkAt] = kPacketMark1;
    p[kMarkAt + 1] = kPacketMark2;
    p[kLengthAt] = layout.length;
    p[kKindAt] = layout.kind;
    return p;
}

void Seal(Packet& p, const PacketLayout& layout) {
    p[layout.checksumAt] = GetCheckSum(p, layout.checksumAt);
}

} // namespace

Packet BuildHeaderPacket(std::uint8_t slot, std::uint8_t blockCount) {
    Packet p = Begin(kHeaderLayout);
    p[kHeaderSlotAt] = slot;
    Seal(p, kHeaderLayout);
    p[kHeaderBlockCountAt] = blockCount;
    return p;
}

Packet BuildDataPacket(std::uint16_t address, std::span<const std::uint8_t> block) {
    Packet p = Begin(kDataLayout);
    p[kDataAddressAt] = static_cast<std::uint8_t>(address >> 8);
    p[kDataAddressAt + 1] = static_cast<std::uint8_t>(address & 0xFFu);
    std::copy_n(block.begin(), std::min(block.size(), kBlockBytes), p.begin() + kDataCodeAt);
    Seal(p, kDataLayout);
    return p;
}

Packet BuildEndPacket() {
    Packet p = Begin(kEndLayout);
    Seal(p, kEndLayout);
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
