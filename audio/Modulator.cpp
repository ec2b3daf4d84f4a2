#include "audio/Modulator.h"

#include "common/HexText.h"

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
    // Each byte takes three characters, its two digits and a separator.
    auto bytes = ParseHex(text.substr(0, text.size() / 3 * 3), 3);
    if (!bytes) throw std::invalid_argument("tone table text is not hexadecimal");
    return std::move(*bytes);
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
