#pragma once

#include "common/Slot.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tolbe::audio {

// A download packet: zero-filled when created; its first 71 bytes go on the air.
using Packet = std::vector<std::uint8_t>;

// Only a packet's first 71 bytes are sent, whatever its length.
inline constexpr std::size_t kPacketAirBytes = 71;
inline constexpr std::size_t kBlockBytes = Slot::kBlockBytes;
inline constexpr std::size_t kHeaderPacketBytes = 71;
inline constexpr std::size_t kDataPacketBytes = 71;
inline constexpr std::size_t kEndPacketBytes = 101;
inline constexpr int kMaxBlocks = Slot::kMaxBlocks;

inline constexpr std::uint8_t kPacketMark1 = 0x55;
inline constexpr std::uint8_t kPacketMark2 = 0xAA;
inline constexpr std::uint8_t kKindHeader = 0x00;
inline constexpr std::uint8_t kKindData = 0x01;
inline constexpr std::uint8_t kKindEnd = 0x02;

// The layout every packet shares: the two marks, a length byte, the kind byte.
inline constexpr std::size_t kMarkAt = 0;
inline constexpr std::size_t kLengthAt = 2;
inline constexpr std::size_t kKindAt = 3;

// One kind of packet as the writer builds it and the decoder reads it: its kind and length bytes,
// the bytes it is created with, and where its checksum stands (the sum of all bytes before it).
struct PacketLayout {
    std::uint8_t kind;
    std::uint8_t length;
    std::size_t bytes;
    std::size_t checksumAt;
};
inline constexpr PacketLayout kHeaderLayout{kKindHeader, 0x06, kHeaderPacketBytes, 5};
inline constexpr PacketLayout kDataLayout{kKindData, static_cast<std::uint8_t>(kDataPacketBytes), kDataPacketBytes, 70};
inline constexpr PacketLayout kEndLayout{kKindEnd, 0x05, kEndPacketBytes, 4};
// Header: the slot, then the block count behind the checksum.
inline constexpr std::size_t kHeaderSlotAt = 4;
inline constexpr std::size_t kHeaderBlockCountAt = 6;
// Data: the block's address, high byte first, then its 64 code bytes.
inline constexpr std::size_t kDataAddressAt = 4;
inline constexpr std::size_t kDataCodeAt = 6;
static_assert(kDataCodeAt + kBlockBytes == kDataLayout.checksumAt);

// Sum of the first n bytes, modulo 256. n larger than the array counts only the bytes there are.
std::uint8_t GetCheckSum(std::span<const std::uint8_t> bytes, std::size_t n);

// Whether the packet `bytes` of kind `layout` carries the right checksum.
bool ChecksumHolds(std::span<const std::uint8_t> bytes, const PacketLayout& layout);

// Header: 55 AA 06 00 slot checksum blockCount, zeros to byte 70. The block count stands behind the
// checksum and is covered by neither checksum nor length.
Packet BuildHeaderPacket(std::uint8_t slot, std::uint8_t blockCount);

// Data: 55 AA 47 01 addrHi addrLo, 64 code bytes, checksum of bytes 0 to 69. Code bytes missing from
// a short block stay zero.
Packet BuildDataPacket(std::uint16_t address, std::span<const std::uint8_t> block);

// End: 55 AA 05 02 06, zeros to byte 100.
Packet BuildEndPacket();

// Every packet of one download, in sending order: the header, block k of `codeBuffer` addressed at
// the slot's base address + 64 k for k = 0 to blockCount - 1, and the end packet.
std::vector<Packet> BuildDownloadPackets(std::uint8_t slot, std::span<const std::uint8_t> codeBuffer,
                                         std::uint8_t blockCount);

} // namespace tolbe::audio
