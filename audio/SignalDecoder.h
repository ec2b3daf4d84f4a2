#pragma once

#include "audio/DownloadSequence.h"
#include "audio/Packets.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Listens to a download signal the way the remote does: finds each frame by its preamble and sync
// bytes, reads the bits from the length of their periods, checks the packets as the download
// sequence builds them and rebuilds the remote's code memory. Works from the waveform alone, so a
// recording through a cable (quiet, noisy, resampled, inverted, one channel) can be checked too.
namespace tolbe::audio {

struct WavAudio;

// The remote's whole code memory: four slot regions of 768 bytes.
inline constexpr std::size_t kSlotRegionBytes = Slot::kRegionBytes;
inline constexpr std::size_t kRemoteMemoryBytes = kSlotRegionBytes * Slot::kCount;

// Below this peak level a cable or volume problem is reported even when the signal still decodes.
inline constexpr double kDefaultMinPeak_dBFS = -33.0;

struct DecodeOptions {
    int channel = -1;                            // -1: the channel with the stronger signal; 0 left, 1 right
    double min_peak_dBFS = kDefaultMinPeak_dBFS; // quieter than this is reported as a fault
};

enum class PacketKind { Header, Data, End, Unreadable };

// One frame found in the signal.
struct DecodedPacket {
    PacketKind kind = PacketKind::Unreadable;
    double time_s = 0;                                 // where the frame's sync bytes end, from the start
    std::array<std::uint8_t, kPacketAirBytes> bytes{}; // as read; for an unreadable frame, up to the break
    std::size_t bytes_read = 0;                        // 71 unless the signal broke off inside the frame
    bool checksum_ok = false;
    int slot = -1;             // header: byte 4
    int block_count = -1;      // header: byte 6
    std::uint16_t address = 0; // data: bytes 4 and 5
    std::string problem;       // why the frame could not be read as a packet; empty if it could
    int preamble_bits = 0;     // preamble bits heard before the sync bytes; a whole one has 64
};

// Everything a check found, in the order of the signal.
struct SignalCheck {
    int sample_rate = 0;
    int channels = 0;
    int channel_used = 0;    // 0 left (or the only channel), 1 right
    bool inverted = false;   // the signal's polarity was reversed on the way
    double peak_dBFS = -200; // after the DC offset is removed
    double dc_offset = 0;    // mean sample value, in sample units
    double duration_s = 0;   // length of the recording

    std::vector<DecodedPacket> packets;
    int slot = -1;          // from the first good header packet
    int header_blocks = -1; // the block count that header announced
    int blocks_found = 0;   // data packets of the download, good or not

    // The remote's code memory as the good data packets of the download would leave it (zeros where
    // nothing was written) and which of its 48 blocks were written.
    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(kRemoteMemoryBytes, 0);
    std::array<bool, kRemoteMemoryBytes / kBlockBytes> block_written{};

    // Every fault in plain words, the first one first ("block at 0x0340 missing").
    std::vector<std::string> faults;

    bool Ok() const { return faults.empty(); }
    std::string FirstFault() const { return faults.empty() ? std::string() : faults.front(); }
    // The bytes the header announced for its slot: 64 x header_blocks from the slot's base address;
    // empty without a good header.
    std::vector<std::uint8_t> SlotBytes() const;
};

// The lowest common rate that still carries a 0 bit's 4410 Hz tone with room to spare.
inline constexpr int kMinSampleRate = 11025;

// Above this no sound card records; the filters' cost grows with the rate, so more is refused.
inline constexpr int kMaxSampleRate = 384000;
// A longer signal is refused rather than filtered at length.
inline constexpr int kMaxSignal_s = kMaxRecording_s;

// Checks a recording of interleaved 16-bit samples (1 or 2 channels, kMinSampleRate to
// kMaxSampleRate, at most kMaxSignal_s long).
// Throws std::invalid_argument for an unusable format or channel choice.
SignalCheck CheckDownloadSignal(std::span<const std::int16_t> samples, int channels, int sample_rate,
                                const DecodeOptions& options = {});

// The same for a WAV file's audio.
SignalCheck CheckDownloadSignal(const WavAudio& audio, const DecodeOptions& options = {});

// Interleaved samples from little-endian 16-bit PCM bytes (a trailing odd byte is ignored).
std::vector<std::int16_t> SamplesFromPcm(std::span<const std::uint8_t> pcm);

// "0x0340": how addresses appear in faults and listings.
std::string FormatAddress(std::uint16_t address);

const char* PacketKindName(PacketKind kind);

} // namespace tolbe::audio
