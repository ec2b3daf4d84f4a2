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

// Sum of the first n bytes, modulo 256. n larger than the array counts only the bytes there are.
std::uint8_t GetCheckSum(std::span<const std::uint8_t> bytes, std::size_t n);

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
