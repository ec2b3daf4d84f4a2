#pragma once

#include "audio/SignalDecoder.h"

#include <optional>
#include <string>
#include <vector>

// The strict reading of a checked download signal: is every preamble whole and does every pause keep
// its length? A remote that wakes on the preamble and a stream that drifts are what it catches.
namespace tolbe::audio {

// A preamble has 64 bits; a pause may be off by this much before it counts as wrong.
inline constexpr int kWholePreambleBits = 64;
inline constexpr double kPauseTolerance_ms = 1.0;

struct PacketTiming {
    double time_s = 0; // the packet's time as the check lists it
    PacketKind kind = PacketKind::Unreadable;
    int preamble_bits = 0;
    std::optional<double> pause_ms;       // silence between this packet's sample buffer and the next one's
    std::optional<int> expected_pause_ms; // 400 after the header, 80 after a block, 100 after the end
    bool pause_is_lower_bound = false;    // after the end packet: the recording may simply stop later
};

struct TimingCheck {
    std::vector<PacketTiming> packets;
    double worst_pause_error_ms = 0; // over the pauses that can be measured exactly
    std::vector<std::string> faults; // short preambles and pauses off by more than the tolerance
    bool Ok() const { return faults.empty(); }
};

// Measures the packets of `check`: each packet's sample buffer lasts 13600 frames, so the pause after
// it is the time to the next packet less 308.39 ms. The pause after the end packet is the rest of
// the recording, which must hold at least the end pause.
TimingCheck CheckSignalTiming(const SignalCheck& check);

} // namespace tolbe::audio
