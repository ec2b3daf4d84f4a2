#include "audio/Modulator.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string>

namespace tolbe::audio {

namespace {

struct ToneTables {
    std::vector<std::uint8_t> bit0;
    std::vector<std::uint8_t> bit1;
    std::array<std::uint8_t, 8> mask{};
};

ToneTables& Tables() {
    static ToneTables tables;
    return tables;
}

std::once_flag g_tables_once;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void FillTables() {
    ToneTables& t = Tables();
    t.bit0 = ParseToneTable(kWaveBit0Text);
    t.bit1 = ParseToneTable(kWaveBit1Text);
    for (std::size_t i = 0; i < t.mask.size(); ++i)
        t.mask[i] = static_cast<std::uint8_t>(0x80u >> i);
    // The buffer size and the sample-frame alignment of every bit rest on these lengths.
    if (t.bit0.size() != kWaveBit0Bytes || t.bit1.size() != kWaveBit1Bytes)
        throw std::logic_error("tone table has the wrong length");
}

const ToneTables& ReadyTables() {
    std::call_once(g_tables_once, FillTables);
    return Tables();
}

void RequirePacket(std::span<const std::uint8_t> packet) {
    if (packet.size() < kPacketAirBytes)
        throw std::invalid_argument("packet has " + std::to_string(packet.size()) + " bytes; at least " +
                                    std::to_string(kPacketAirBytes) + " are needed");
}

} // namespace

std::vector<std::uint8_t> ParseToneTable(std::string_view text) {
    // Each byte takes three characters; the highest index is length / 3 - 1.
    const std::size_t count = text.size() / 3;
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int hi = HexDigit(text[3 * i]);
        const int lo = HexDigit(text[3 * i + 1]);
        if (hi < 0 || lo < 0)
            throw std::invalid_argument("tone table text is not hexadecimal at character " + std::to_string(3 * i));
        bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return bytes;
}

void InitWaveTable() {
    ReadyTables();
}

std::span<const std::uint8_t> WaveBit0() {
    return ReadyTables().bit0;
}
std::span<const std::uint8_t> WaveBit1() {
    return ReadyTables().bit1;
}
std::span<const std::uint8_t> BitMask() {
    return ReadyTables().mask;
}

std::array<std::uint8_t, kFrameBytes> BuildAudioFrame(std::span<const std::uint8_t> packet) {
    RequirePacket(packet);
    std::array<std::uint8_t, kFrameBytes> frame{};
    auto out = std::fill_n(frame.begin(), kPreambleBytes, kPreambleByte);
    *out++ = kSyncByte1;
    *out++ = kSyncByte2;
    out = std::copy_n(packet.begin(), kPacketAirBytes, out);
    std::fill_n(out, kTrailerBytes, std::uint8_t{0});
    return frame;
}

WaveBuffer BuildWaveBuffer(std::span<const std::uint8_t> packet) {
    const ToneTables& t = ReadyTables();
    const auto frame = BuildAudioFrame(packet);
    WaveBuffer buffer{};
    auto out = buffer.begin();
    for (const std::uint8_t b : frame) {
        for (const std::uint8_t mask : t.mask) {
            const auto& tone = (b & mask) != 0 ? t.bit1 : t.bit0;
            out = std::copy(tone.begin(), tone.end(), out);
        }
    }
    return buffer;
}

} // namespace tolbe::audio
