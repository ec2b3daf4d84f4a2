#include "audio/SignalDecoder.h"

#include "audio/Modulator.h"
#include "audio/WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <stdexcept>

namespace tolbe::audio {

namespace {

// A 0 bit is one period of 4410 Hz, a 1 bit one period of 2205 Hz, whatever the sample rate.
constexpr double kZeroBitHz = static_cast<double>(kSampleRate) / (kWaveBit0Bytes / kBytesPerFrame);

// Period lengths in units of a 0 bit's period. The boundary between 0 and 1 sits halfway; anything
// far outside both is noise or a gap between frames.
constexpr double kShortestBit = 0.6;
constexpr double kBitBoundary = 1.5;
constexpr double kLongestBit = 2.6;

// A bit boundary counts only when the signal has swung beyond this fraction of its local peak on
// both sides of zero, so noise around a crossing cannot split a period.
constexpr double kHysteresis = 0.15;
constexpr double kEnvelopeHalfWindow_s = 0.001;
// Keeps digital silence and dither from making bit boundaries of their own.
constexpr float kMinHysteresis = 3.0f;

// Slow enough to leave a 2205 Hz period untouched, fast enough to follow a drifting offset.
constexpr double kDcWindow_s = 0.02;

// Both tones lie below 4.5 kHz; cutting what lies well above them removes most of a recording's
// hiss. The filter is symmetric, so both tones are delayed alike and periods keep their length.
constexpr double kLowPass_Hz = 7000.0;
constexpr double kLowPassLength_s = 0.0014;

// The end of the preamble that must be heard before the sync bytes. The first preamble bit has no
// boundary before it, and a real frame has 63 more; 16 make a chance match in noise or data unlikely.
constexpr int kPreambleBitsNeeded = 16;
constexpr int kSyncBits = 16;
constexpr std::size_t kPacketBits = kPacketAirBytes * 8;

// Quieter than this is dither or hum, no signal that any remote could take.
constexpr double kSilence_dBFS = -80.0;
constexpr double kFullScale = 32768.0;

struct Frame {
    double time_s = 0;
    int preamble_bits = 0;
    std::array<std::uint8_t, kPacketAirBytes> bytes{};
    std::size_t bytes_read = 0;
};

std::vector<float> ExtractChannel(std::span<const std::int16_t> samples, int channels, int channel) {
    const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
    std::vector<float> x(frames);
    for (std::size_t i = 0; i < frames; ++i)
        x[i] = static_cast<float>(samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)]);
    return x;
}

double Mean(const std::vector<float>& x) {
    if (x.empty()) return 0;
    double sum = 0;
    for (const float v : x)
        sum += v;
    return sum / static_cast<double>(x.size());
}

// `in` less its centred moving average, which removes a fixed or slowly drifting offset. The window
// sum is kept running: the samples are whole numbers, so the double sum stays exact.
void RemoveDc(const std::vector<float>& in, std::vector<float>& out, std::size_t half) {
    const std::size_t n = in.size();
    out.resize(n);
    double sum = 0;
    std::size_t lo = 0, hi = 0; // the window is [lo, hi)
    for (std::size_t i = 0; i < n; ++i) {
        for (; hi < std::min(n, i + half + 1); ++hi)
            sum += in[hi];
        for (; lo + half < i; ++lo)
            sum -= in[lo];
        out[i] = in[i] - static_cast<float>(sum / static_cast<double>(hi - lo));
    }
}

// Windowed-sinc low-pass (Blackman window) of `in` into `out`, centred so that nothing is delayed.
void LowPass(const std::vector<float>& in, std::vector<float>& out, int rate) {
    const double cutoff = std::min(kLowPass_Hz, 0.45 * rate) / rate;
    const int half = std::max(2, static_cast<int>(kLowPassLength_s * rate / 2));
    std::vector<double> taps(static_cast<std::size_t>(2 * half + 1));
    double sum = 0;
    for (int i = -half; i <= half; ++i) {
        const double sinc = i == 0 ? 2 * cutoff : std::sin(2 * M_PI * cutoff * i) / (M_PI * i);
        const double w = 0.42 + 0.5 * std::cos(M_PI * i / half) + 0.08 * std::cos(2 * M_PI * i / half);
        taps[static_cast<std::size_t>(i + half)] = sinc * w;
        sum += sinc * w;
    }
    for (auto& t : taps)
        t /= sum;

    const auto n = static_cast<std::ptrdiff_t>(in.size());
    out.resize(in.size());
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        double acc = 0;
        for (int k = -half; k <= half; ++k) {
            const std::ptrdiff_t j = i + k;
            if (j >= 0 && j < n) acc += taps[static_cast<std::size_t>(k + half)] * in[static_cast<std::size_t>(j)];
        }
        out[static_cast<std::size_t>(i)] = static_cast<float>(acc);
    }
}

// Largest |x| within +-half samples of each sample (sliding maximum, linear time).
void Envelope(const std::vector<float>& x, std::vector<float>& env, std::size_t half) {
    const std::size_t n = x.size();
    env.assign(n, 0.0f);
    std::deque<std::size_t> window; // indices of decreasing |x|
    std::size_t next = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t hi = std::min(n - 1, i + half);
        for (; next <= hi; ++next) {
            while (!window.empty() && std::fabs(x[window.back()]) <= std::fabs(x[next]))
                window.pop_back();
            window.push_back(next);
        }
        while (window.front() + half < i)
            window.pop_front();
        env[i] = std::fabs(x[window.front()]);
    }
}

// Times (in samples, interpolated) where a bit begins: the signal of every bit starts at zero and
// runs negative first, so its start is a downward zero crossing. `sign` -1 reads a reversed signal.
std::vector<double> BitBoundaries(const std::vector<float>& x, const std::vector<float>& env, float sign) {
    std::vector<double> t;
    bool high = false;
    double last_down = -1;
    for (std::size_t i = 1; i < x.size(); ++i) {
        const float y0 = sign * x[i - 1];
        const float y1 = sign * x[i];
        if (y0 >= 0 && y1 < 0) last_down = static_cast<double>(i - 1) + y0 / (y0 - y1);
        const float h = std::max(static_cast<float>(kHysteresis) * env[i], kMinHysteresis);
        if (high) {
            if (y1 < -h) {
                if (last_down >= 0) t.push_back(last_down);
                high = false;
            }
        } else if (y1 > h) {
            high = true;
        }
    }
    return t;
}

// Preamble bits heard before the sync bytes, when the 16 that the search needs begin at bits[k]: the
// alternating bits before those, plus the very first bit, whose start from silence is no boundary.
// That one counts when the signal swings negative where its trough would lie.
int PreambleBits(const std::vector<float>& x, const std::vector<float>& env, float sign, const std::vector<double>& t,
                 const std::vector<std::int8_t>& bits, std::size_t k, double zero_bit) {
    std::size_t first = k;
    while (first > 0 && bits[first - 1] == 1 - bits[first])
        --first;
    int count = static_cast<int>(k - first) + kPreambleBitsNeeded;
    const double period = (bits[first] == 1 ? 1.0 : 2.0) * zero_bit; // of the bit before bits[first]
    const double trough = t[first] - 0.75 * period;
    if (trough >= 0) {
        const auto i = static_cast<std::size_t>(std::lround(trough));
        const float h = std::max(static_cast<float>(kHysteresis) * env[i], kMinHysteresis);
        if (i < x.size() && sign * x[i] < -h) ++count;
    }
    return count;
}

std::vector<Frame> FindFrames(const std::vector<float>& x, const std::vector<float>& env, float sign, int rate) {
    const std::vector<double> t = BitBoundaries(x, env, sign);
    const double zero_bit = rate / kZeroBitHz;

    std::vector<std::int8_t> bits(t.size() > 1 ? t.size() - 1 : 0);
    for (std::size_t k = 0; k < bits.size(); ++k) {
        const double r = (t[k + 1] - t[k]) / zero_bit;
        bits[k] = r < kShortestBit || r >= kLongestBit ? std::int8_t{-1}
                  : r < kBitBoundary                   ? std::int8_t{0}
                                                       : std::int8_t{1};
    }

    std::array<std::int8_t, kPreambleBitsNeeded + kSyncBits> pattern{};
    for (int i = 0; i < kPreambleBitsNeeded; ++i)
        pattern[static_cast<std::size_t>(i)] = static_cast<std::int8_t>(i % 2);
    for (int i = 0; i < 8; ++i) {
        pattern[kPreambleBitsNeeded + i] = static_cast<std::int8_t>((kSyncByte1 >> (7 - i)) & 1);
        pattern[kPreambleBitsNeeded + 8 + i] = static_cast<std::int8_t>((kSyncByte2 >> (7 - i)) & 1);
    }

    std::vector<Frame> frames;
    std::size_t k = 0;
    while (k + pattern.size() <= bits.size()) {
        if (!std::equal(pattern.begin(), pattern.end(), bits.begin() + static_cast<std::ptrdiff_t>(k))) {
            ++k;
            continue;
        }
        const std::size_t start = k + pattern.size();
        Frame f;
        f.time_s = t[start] / rate;
        f.preamble_bits = PreambleBits(x, env, sign, t, bits, k, zero_bit);
        std::size_t j = 0;
        for (; j < kPacketBits && start + j < bits.size() && bits[start + j] >= 0; ++j)
            f.bytes[j / 8] = static_cast<std::uint8_t>(f.bytes[j / 8] | (bits[start + j] << (7 - j % 8)));
        f.bytes_read = j / 8;
        frames.push_back(f);
        // A broken frame may hide the next frame's preamble right after the break.
        k = start + std::max<std::size_t>(j, 1);
    }
    return frames;
}

std::size_t GoodFrames(const std::vector<Frame>& frames) {
    return static_cast<std::size_t>(std::count_if(frames.begin(), frames.end(), [](const Frame& f) {
        return f.bytes_read == kPacketAirBytes && f.bytes[kMarkAt] == kPacketMark1 &&
               f.bytes[kMarkAt + 1] == kPacketMark2;
    }));
}

std::string FormatTime(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

std::string FormatHexByte(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", v & 0xFFu);
    return text;
}

// The packet kind whose kind and length bytes these are; none for any other pair.
const PacketLayout* LayoutOf(std::uint8_t kind, std::uint8_t length) {
    for (const PacketLayout* layout : {&kHeaderLayout, &kDataLayout, &kEndLayout})
        if (layout->kind == kind && layout->length == length) return layout;
    return nullptr;
}

DecodedPacket Interpret(const Frame& f) {
    DecodedPacket p;
    p.time_s = f.time_s;
    p.bytes = f.bytes;
    p.bytes_read = f.bytes_read;
    p.preamble_bits = f.preamble_bits;
    const auto& b = f.bytes;
    if (f.bytes_read < kPacketAirBytes) {
        p.problem = "signal broke off after " + std::to_string(f.bytes_read) + " of " +
                    std::to_string(kPacketAirBytes) + " bytes";
    } else if (b[kMarkAt] != kPacketMark1 || b[kMarkAt + 1] != kPacketMark2) {
        p.problem = "does not begin with 55 AA";
    } else if (const PacketLayout* layout = LayoutOf(b[kKindAt], b[kLengthAt])) {
        p.checksum_ok = ChecksumHolds(b, *layout);
        if (layout == &kHeaderLayout) {
            p.kind = PacketKind::Header;
            p.slot = b[kHeaderSlotAt];
            p.block_count = b[kHeaderBlockCountAt];
        } else if (layout == &kDataLayout) {
            p.kind = PacketKind::Data;
            p.address = static_cast<std::uint16_t>((b[kDataAddressAt] << 8) | b[kDataAddressAt + 1]);
        } else {
            p.kind = PacketKind::End;
        }
    } else {
        p.problem = "unknown kind " + FormatHexByte(b[kKindAt]) + " with length " + FormatHexByte(b[kLengthAt]);
    }
    return p;
}

// Walks the packets as the remote would take them: a header, consecutive blocks of the header's
// slot, an end packet. Faults are added in the order they show in the signal.
void CheckSequence(SignalCheck& check) {
    enum class State { BeforeHeader, InDownload, AfterEnd } state = State::BeforeHeader;
    const bool any_header = std::any_of(check.packets.begin(), check.packets.end(),
                                        [](const DecodedPacket& p) { return p.kind == PacketKind::Header; });
    if (!any_header) check.faults.push_back("no header packet");

    std::uint16_t base = 0;
    int next_block = 0; // index of the block expected next
    auto& faults = check.faults;
    const auto missing_up_to = [&](int upto) {
        for (; next_block < upto; ++next_block)
            faults.push_back("block at " + FormatAddress(static_cast<std::uint16_t>(base + kBlockBytes * next_block)) +
                             " missing");
    };
    const auto close_download = [&] {
        if (check.header_blocks >= 1 && check.header_blocks <= kMaxBlocks) missing_up_to(check.header_blocks);
        if (check.header_blocks >= 0 && check.blocks_found != check.header_blocks)
            faults.push_back(std::to_string(check.blocks_found) + (check.blocks_found == 1 ? " block" : " blocks") +
                             " sent, the header announced " + std::to_string(check.header_blocks));
    };

    for (const DecodedPacket& p : check.packets) {
        const std::string at = " at " + FormatTime(p.time_s);
        if (p.kind == PacketKind::Unreadable) {
            faults.push_back("unreadable packet" + at + ": " + p.problem);
            continue;
        }
        if (state == State::AfterEnd) {
            faults.push_back(std::string(PacketKindName(p.kind)) + " packet after the end packet" + at);
            continue;
        }
        switch (p.kind) {
        case PacketKind::Header:
            if (state == State::InDownload) {
                faults.push_back("second header packet" + at + " before the end packet");
                break;
            }
            state = State::InDownload;
            check.slot = p.slot;
            check.header_blocks = p.block_count;
            base = Slot::FromNumber(p.slot).BaseAddress();
            if (!p.checksum_ok) faults.push_back("checksum wrong in header packet");
            if (p.slot > 3) faults.push_back("header names slot " + std::to_string(p.slot) + ", not 0 to 3");
            if (p.block_count < 1 || p.block_count > kMaxBlocks)
                faults.push_back("header announces " + std::to_string(p.block_count) + " blocks, not 1 to 12");
            break;
        case PacketKind::Data: {
            const std::string block = "block at " + FormatAddress(p.address);
            if (state == State::BeforeHeader) {
                if (any_header) faults.push_back(block + " before the header packet");
                break;
            }
            ++check.blocks_found;
            if (p.address < base || p.address >= base + kSlotRegionBytes) {
                faults.push_back(block + " outside the slot's region " + FormatAddress(base) + " to " +
                                 FormatAddress(static_cast<std::uint16_t>(base + kSlotRegionBytes - 1)));
                break;
            }
            if ((p.address - base) % kBlockBytes != 0) {
                faults.push_back(block + " not on a 64-byte boundary");
                break;
            }
            const int index = (p.address - base) / static_cast<int>(kBlockBytes);
            if (index < next_block) faults.push_back(block + " sent again");
            missing_up_to(index);
            next_block = std::max(next_block, index + 1);
            if (!p.checksum_ok) {
                faults.push_back("checksum wrong in " + block);
                break;
            }
            std::copy(p.bytes.begin() + kDataCodeAt, p.bytes.begin() + kDataCodeAt + kBlockBytes,
                      check.memory.begin() + static_cast<std::ptrdiff_t>(p.address));
            check.block_written[p.address / kBlockBytes] = true;
            break;
        }
        case PacketKind::End:
            if (state == State::BeforeHeader) {
                if (any_header) faults.push_back("end packet" + at + " before the header packet");
                break;
            }
            if (!p.checksum_ok) faults.push_back("checksum wrong in end packet");
            close_download();
            state = State::AfterEnd;
            break;
        case PacketKind::Unreadable:
            break;
        }
    }
    if (state == State::InDownload) {
        close_download();
        faults.push_back("no end packet");
    }
}

} // namespace

std::vector<std::uint8_t> SignalCheck::SlotBytes() const {
    if (slot < 0 || header_blocks < 1 || header_blocks > kMaxBlocks) return {};
    const std::size_t base = Slot::FromNumber(slot).BaseAddress();
    const auto first = memory.begin() + static_cast<std::ptrdiff_t>(base);
    return {first, first + static_cast<std::ptrdiff_t>(kBlockBytes) * header_blocks};
}

SignalCheck CheckDownloadSignal(std::span<const std::int16_t> samples, int channels, int sample_rate,
                                const DecodeOptions& options) {
    if (channels != 1 && channels != 2)
        throw std::invalid_argument("the signal has " + std::to_string(channels) + " channels; 1 or 2 are read");
    if (sample_rate < kMinSampleRate)
        throw std::invalid_argument("sample rate " + std::to_string(sample_rate) + " Hz is too low; " +
                                    std::to_string(kMinSampleRate) + " Hz or more are read");
    if (sample_rate > kMaxSampleRate)
        throw std::invalid_argument("sample rate " + std::to_string(sample_rate) + " Hz is too high; at most " +
                                    std::to_string(kMaxSampleRate) + " Hz are read");
    if (samples.size() / static_cast<std::size_t>(channels) >
        static_cast<std::size_t>(kMaxSignal_s) * static_cast<std::size_t>(sample_rate))
        throw std::invalid_argument("the signal is longer than " + std::to_string(kMaxSignal_s) +
                                    " s, more than a download of all four slots lasts");
    if (options.channel < -1 || options.channel >= channels)
        throw std::invalid_argument("channel " + std::to_string(options.channel) + " does not exist in the signal");

    SignalCheck check;
    check.sample_rate = sample_rate;
    check.channels = channels;
    check.duration_s = static_cast<double>(samples.size() / static_cast<std::size_t>(channels)) / sample_rate;

    const auto dc_half = static_cast<std::size_t>(kDcWindow_s * sample_rate / 2);
    const auto env_half = static_cast<std::size_t>(kEnvelopeHalfWindow_s * sample_rate);

    struct Candidate {
        int channel = 0;
        float sign = 1;
        double mean = 0, energy = 0;
        float peak = 0;
        std::vector<Frame> frames;
    };
    std::vector<Candidate> candidates;
    const int first = options.channel < 0 ? 0 : options.channel;
    const int last = options.channel < 0 ? channels - 1 : options.channel;
    for (int ch = first; ch <= last; ++ch) {
        // Two buffers take turns, so a long recording needs no more than two floats per sample.
        std::vector<float> x = ExtractChannel(samples, channels, ch);
        std::vector<float> y;
        const double mean = Mean(x);
        RemoveDc(x, y, dc_half);
        double energy = 0;
        float peak = 0;
        for (const float v : y) {
            energy += static_cast<double>(v) * v;
            peak = std::max(peak, std::fabs(v));
        }
        LowPass(y, x, sample_rate);
        std::vector<float>& env = y;
        Envelope(x, env, env_half);
        for (const float sign : {1.0f, -1.0f})
            candidates.push_back({ch, sign, mean, energy, peak, FindFrames(x, env, sign, sample_rate)});
    }
    // The reading with the most good frames wins; between equals the stronger channel, then the
    // normal polarity.
    const Candidate* best = &candidates.front();
    for (const Candidate& c : candidates) {
        const std::size_t good = GoodFrames(c.frames), best_good = GoodFrames(best->frames);
        if (good > best_good || (good == best_good && c.frames.size() > best->frames.size()) ||
            (good == best_good && c.frames.size() == best->frames.size() && c.energy > best->energy))
            best = &c;
    }

    check.channel_used = best->channel;
    check.inverted = best->sign < 0;
    check.dc_offset = best->mean;
    check.peak_dBFS = best->peak > 0 ? 20.0 * std::log10(best->peak / kFullScale) : -200.0;
    for (const Frame& f : best->frames)
        check.packets.push_back(Interpret(f));

    if (check.peak_dBFS < kSilence_dBFS) {
        check.faults.push_back("no signal: the recording is silent");
        return check;
    }
    if (check.peak_dBFS < options.min_peak_dBFS)
        check.faults.push_back("signal too quiet: peak " + std::to_string(std::lround(check.peak_dBFS)) + " dBFS");
    if (check.packets.empty()) {
        check.faults.push_back("no download signal found");
        return check;
    }
    CheckSequence(check);
    return check;
}

SignalCheck CheckDownloadSignal(const WavAudio& audio, const DecodeOptions& options) {
    const std::vector<std::int16_t> samples = SamplesFromPcm(audio.pcm);
    return CheckDownloadSignal(samples, audio.channels, audio.sample_rate, options);
}

std::vector<std::int16_t> SamplesFromPcm(std::span<const std::uint8_t> pcm) {
    std::vector<std::int16_t> samples(pcm.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8)));
    return samples;
}

std::string FormatAddress(std::uint16_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(address));
    return text;
}

const char* PacketKindName(PacketKind kind) {
    switch (kind) {
    case PacketKind::Header:
        return "header";
    case PacketKind::Data:
        return "data";
    case PacketKind::End:
        return "end";
    case PacketKind::Unreadable:
        return "unreadable";
    }
    return "unreadable";
}

} // namespace tolbe::audio
