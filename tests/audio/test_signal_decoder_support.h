#pragma once

#include "audio/DownloadSequence.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "audio/SignalDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <span>
#include <vector>

namespace tolbe::test {

// Code bytes that differ from block to block, so a block stored at the wrong place shows.
inline std::vector<std::uint8_t> RandomCodeBuffer(int blocks, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(blocks) * audio::kBlockBytes);
    for (auto& b : buffer)
        b = static_cast<std::uint8_t>(gen() & 0xFFu);
    return buffer;
}

// Records a download like PcmCaptureSink but lets a test change or drop packets on the way.
// `tamper` gets the packet's index in sending order (0 is the header) and returns false to drop it.
class TamperingSink final : public audio::DownloadSink {
public:
    using Tamper = std::function<bool(int index, std::vector<std::uint8_t>& packet)>;
    explicit TamperingSink(Tamper tamper) : m_tamper(std::move(tamper)) {}
    bool PlayPacket(std::span<const std::uint8_t> packet) override {
        std::vector<std::uint8_t> p(packet.begin(), packet.end());
        if (!m_tamper(m_index++, p)) return true;
        return m_capture.PlayPacket(p);
    }
    void Pause(int pause_ms) override { m_capture.Pause(pause_ms); }
    const std::vector<std::uint8_t>& Pcm() const { return m_capture.Pcm(); }

private:
    Tamper m_tamper;
    audio::PcmCaptureSink m_capture;
    int m_index = 0;
};

// The stereo 44100 Hz samples of a whole download of `buffer`, as the program would play it.
inline std::vector<std::int16_t> DownloadSamples(std::uint8_t slot, std::span<const std::uint8_t> buffer,
                                                 TamperingSink::Tamper tamper = {}) {
    TamperingSink sink(tamper ? std::move(tamper) : [](int, std::vector<std::uint8_t>&) { return true; });
    audio::NoProgress progress;
    audio::SendCodeRecord(slot, buffer, static_cast<std::int16_t>(buffer.size() / audio::kBlockBytes), "TV", sink,
                          progress);
    return audio::SamplesFromPcm(sink.Pcm());
}

inline std::int16_t Clamp16(double v) {
    return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
}

// Scales every sample by `gain_dB`, rounding as a sound card would.
inline std::vector<std::int16_t> Attenuate(std::span<const std::int16_t> s, double gain_dB) {
    const double g = std::pow(10.0, gain_dB / 20.0);
    std::vector<std::int16_t> out(s.size());
    std::transform(s.begin(), s.end(), out.begin(), [g](std::int16_t v) { return Clamp16(std::round(v * g)); });
    return out;
}

// A clean download of `buffer` for `slot` decodes to exactly its packets and bytes.
inline void ExpectDownload(const audio::SignalCheck& check, int slot, std::span<const std::uint8_t> buffer) {
    const int blocks = static_cast<int>(buffer.size() / audio::kBlockBytes);
    EXPECT_TRUE(check.Ok()) << check.FirstFault();
    EXPECT_EQ(check.slot, slot);
    EXPECT_EQ(check.header_blocks, blocks);
    EXPECT_EQ(check.blocks_found, blocks);
    ASSERT_EQ(check.packets.size(), static_cast<std::size_t>(blocks) + 2);
    EXPECT_EQ(check.packets.front().kind, audio::PacketKind::Header);
    EXPECT_EQ(check.packets.back().kind, audio::PacketKind::End);
    for (const auto& p : check.packets)
        EXPECT_TRUE(p.checksum_ok);
    const std::vector<std::uint8_t> bytes = check.SlotBytes();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.begin(), buffer.end()));
}

} // namespace tolbe::test
