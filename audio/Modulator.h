#pragma once

#include "audio/Packets.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tolbe::audio {

// One packet on the air is framed as preamble, sync, the packet's first 71 bytes and a trailer.
inline constexpr std::size_t kFrameBytes = 85;
inline constexpr std::uint8_t kPreambleByte = 0x55;
inline constexpr std::size_t kPreambleBytes = 8;
inline constexpr std::uint8_t kSyncByte1 = 0xCC;
inline constexpr std::uint8_t kSyncByte2 = 0x33;
inline constexpr std::size_t kTrailerBytes = 4;

// Output format of the modulated signal: 16-bit little-endian stereo at 44100 frames per second.
inline constexpr int kSampleRate = 44100;
inline constexpr int kChannels = 2;
inline constexpr std::size_t kBytesPerFrame = 4;

// Every bit is one period of a tone: a 0 bit one period of WaveBit0 (10 sample frames, 4410 Hz),
// a 1 bit one period of WaveBit1 (20 sample frames, 2205 Hz).
inline constexpr std::size_t kWaveBit0Bytes = 40;
inline constexpr std::size_t kWaveBit1Bytes = 80;

// Big enough for a frame of nothing but 1 bits, so every packet fits and every buffer plays 308.4 ms.
inline constexpr std::size_t kWaveBufferBytes = kFrameBytes * 8 * kWaveBit1Bytes; // 54400
using WaveBuffer = std::array<std::uint8_t, kWaveBufferBytes>;

// The tone tables as the program keeps them: two upper-case hexadecimal digits and a blank per byte.
inline constexpr std::string_view kWaveBit0Text =
    "00 EC D9 C7 B6 A7 9A 8F 88 83 82 83 88 8F 9A A7 B6 C7 D9 ED 00 13 27 39 4A 59 66 71 78 7D 7E 7D 78 71 66 59 "
    "4A 39 27 14 ";
inline constexpr std::string_view kWaveBit1Text =
    "00 F6 EC E3 D9 D0 C7 BE B6 AE A7 A0 9A 94 8F 8B 88 85 83 82 82 82 83 85 88 8B 8F 94 9A A0 A7 AE B6 BE C7 D0 "
    "D9 E3 ED F7 00 09 13 1D 27 30 39 42 4A 52 59 60 66 6C 71 75 78 7B 7D 7E 7E 7E 7D 7B 78 75 71 6C 66 60 59 52 "
    "4A 42 39 30 27 1D 14 0A ";

// Parses a table text of "HH " groups into its bytes. Throws std::invalid_argument on a non-hex pair.
std::vector<std::uint8_t> ParseToneTable(std::string_view text);

// Fills the process-wide tables WaveBit0, WaveBit1 and BitMask. Safe to call more than once;
// BuildWaveBuffer fills them itself if nobody did.
void InitWaveTable();

// Read-only views of the process-wide tables (filled on first use).
std::span<const std::uint8_t> WaveBit0();
std::span<const std::uint8_t> WaveBit1();
std::span<const std::uint8_t> BitMask();

// The 85-byte audio frame around packet bytes 0 to 70. Throws std::invalid_argument for a packet
// shorter than 71 bytes.
std::array<std::uint8_t, kFrameBytes> BuildAudioFrame(std::span<const std::uint8_t> packet);

// Modulates packet bytes 0 to 70 (most significant bit first) into a whole sample buffer; the bytes
// after the frame's last bit are silence. Further packet bytes are ignored. Throws
// std::invalid_argument for a packet shorter than 71 bytes.
WaveBuffer BuildWaveBuffer(std::span<const std::uint8_t> packet);

} // namespace tolbe::audio
