#include "audio/SignalTiming.h"

#include "audio/DownloadSequence.h"
#include "audio/Modulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tolbe::audio {

namespace {

constexpr double kBufferSeconds = static_cast<double>(kWaveBufferBytes / kBytesPerFrame) / kSampleRate;
// A packet's time is where its first bit starts: after the preamble (32 bits of each tone) and the two
// sync bytes (8 of each), 1200 frames into its buffer.
constexpr std::size_t kFirstPacketBitBytes =
    kPreambleBytes * 4 * (kWaveBit0Bytes + kWaveBit1Bytes) + 8 * (kWaveBit0Bytes + kWaveBit1Bytes);
constexpr double kFirstPacketBitSeconds = static_cast<double>(kFirstPacketBitBytes / kBytesPerFrame) / kSampleRate;
static_assert(kFirstPacketBitBytes == 4800);

std::optional<int> ExpectedPauseAfter(PacketKind kind) {
    switch (kind) {
    case PacketKind::Header:
        return kHeaderPause_ms;
    case PacketKind::Data:
        return kBlockPause_ms;
    case PacketKind::End:
        return kEndPause_ms;
    case PacketKind::Unreadable:
        break;
    }
    return std::nullopt;
}

std::string Ms(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", v);
    return text;
}

std::string Where(const PacketTiming& p) {
    char text[64];
    std::snprintf(text, sizeof text, "%s packet at %.2f s", PacketKindName(p.kind), p.time_s);
    return text;
}

} // namespace

TimingCheck CheckSignalTiming(const SignalCheck& check) {
    TimingCheck timing;
    for (const DecodedPacket& d : check.packets) {
        PacketTiming p;
        p.time_s = d.time_s;
        p.kind = d.kind;
        p.preamble_bits = d.preamble_bits;
        p.expected_pause_ms = ExpectedPauseAfter(d.kind);
        timing.packets.push_back(p);
    }
    for (std::size_t i = 0; i < timing.packets.size(); ++i) {
        PacketTiming& p = timing.packets[i];
        if (p.preamble_bits < kWholePreambleBits)
            timing.faults.push_back("preamble of the " + Where(p) + ": " + std::to_string(p.preamble_bits) + " of " +
                                    std::to_string(kWholePreambleBits) + " bits");
        if (i + 1 < timing.packets.size()) {
            p.pause_ms = (timing.packets[i + 1].time_s - p.time_s - kBufferSeconds) * 1000.0;
        } else {
            const double buffer_end = p.time_s - kFirstPacketBitSeconds + kBufferSeconds;
            p.pause_ms = std::max(0.0, (check.duration_s - buffer_end) * 1000.0);
            p.pause_is_lower_bound = true;
        }
        if (!p.expected_pause_ms) continue;
        const double error = *p.pause_ms - *p.expected_pause_ms;
        if (p.pause_is_lower_bound) {
            if (error < -kPauseTolerance_ms)
                timing.faults.push_back("pause after the " + Where(p) + ": the recording ends " + Ms(*p.pause_ms) +
                                        " after it, before the " + std::to_string(*p.expected_pause_ms) + " ms pause");
            continue;
        }
        timing.worst_pause_error_ms = std::max(timing.worst_pause_error_ms, std::fabs(error));
        if (std::fabs(error) > kPauseTolerance_ms)
            timing.faults.push_back("pause after the " + Where(p) + ": " + Ms(*p.pause_ms) + ", not " +
                                    std::to_string(*p.expected_pause_ms) + " ms");
    }
    return timing;
}

} // namespace tolbe::audio
