#pragma once

#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "common/Result.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tolbe::audio {

class WaveOut;
struct Playback;

// Fixed pauses of a download, after the header, after each data packet and after the end packet.
inline constexpr int kHeaderPause_ms = 400;
inline constexpr int kBlockPause_ms = 80;
inline constexpr int kEndPause_ms = 100;

// Silence at the head of every download stream, so that an output that was asleep is awake before the
// header's first bit. A PulseAudio sink woken from idle dropped the first 87 ms of a stream here (the
// header of a stream without a lead-in was lost whole); 250 ms leaves room for slower hardware and is
// short beside the download itself.
inline constexpr int kLeadIn_ms = 250;

// How long a packet plays: its whole sample buffer, whatever its bits.
inline constexpr double kPacketPlay_ms = 1000.0 * (kWaveBufferBytes / kBytesPerFrame) / kSampleRate;
// The longest one download lasts: the lead-in, the header and its pause, the most data packets a
// slot takes and their pauses, the end packet and its pause (about 6 s).
inline constexpr double kLongestDownload_ms = kLeadIn_ms + kPacketPlay_ms + kHeaderPause_ms +
                                              kMaxBlocks * (kPacketPlay_ms + kBlockPause_ms) + kPacketPlay_ms +
                                              kEndPause_ms;
// The longest recording worth decoding: all four slots sent one after another, with half as much
// again for starting and stopping the recorder (about 37 s). Decoding costs time and memory with
// every sample, so anything longer is refused before it is read.
inline constexpr int kMaxRecording_s =
    static_cast<int>(1.5 * Slot::kCount * kLongestDownload_ms / 1000.0) + 1; // rounded up

// Watches a download: the GUI shows its progress window, the command line a terminal bar.
class DownloadProgress {
public:
    virtual ~DownloadProgress() = default;
    // After the header packet: `blockCount` data packets follow for the slot named `deviceName`.
    virtual void Start(int blockCount, const std::string& deviceName) = 0;
    // One data packet was sent.
    virtual void Step() = 0;
    // The end packet and its pause are over.
    virtual void Finish() = 0;
};

class NoProgress final : public DownloadProgress {
public:
    void Start(int, const std::string&) override {}
    void Step() override {}
    void Finish() override {}
};

// Where a download's packets and pauses go: the sound device with real waits, or a recording.
class DownloadSink {
public:
    virtual ~DownloadSink() = default;
    // Plays one packet (its first 71 bytes); false when it could not be played.
    virtual bool PlayPacket(std::span<const std::uint8_t> packet) = 0;
    virtual void Pause(int pause_ms) = 0;
};

// Collects the signal as it would be played: each packet's whole sample buffer, each pause as
// silence of its exact length (44.1 sample frames per millisecond). No waiting.
class PcmCaptureSink final : public DownloadSink {
public:
    bool PlayPacket(std::span<const std::uint8_t> packet) override;
    void Pause(int pause_ms) override;
    const std::vector<std::uint8_t>& Pcm() const { return m_pcm; }

private:
    std::vector<std::uint8_t> m_pcm;
};

// Sends an encoded code record: the header packet and its pause, the progress start, one data packet
// per 64-byte block each followed by a progress step and its pause, the end packet and its pause, the
// progress finish. Each step is carried out on its own: a failing one is skipped and the rest still
// run. `CodeBuffer` bytes missing for a block are sent as zeros.
void SendCodeRecord(std::uint8_t eDevice, std::span<const std::uint8_t> CodeBuffer, std::int16_t BlockCount,
                    const std::string& deviceName, DownloadSink& sink, DownloadProgress& progress);

// A whole download as one continuous stream: `lead-in` silence, then every packet's sample buffer and
// every pause as exact silence, in sending order. `marks` say where the progress calls fall: the start
// after the header's pause, a step after each data packet's buffer, the finish at the very end.
struct DownloadSignal {
    enum class MarkKind { Start, Step, Finish };
    struct Mark {
        std::size_t frame = 0; // sample frames from the stream's start
        MarkKind kind = MarkKind::Step;
    };
    std::vector<std::uint8_t> pcm;
    std::vector<Mark> marks;
    std::size_t leadInFrames = 0;
    int blockCount = 0;
    std::string deviceName;

    std::size_t Frames() const;
    double Seconds() const;
};

// Records SendCodeRecord as a DownloadSignal: packets and pauses into the stream, progress calls as
// marks. Starts with `leadIn_ms` of silence.
class SignalRecorder final : public DownloadSink, public DownloadProgress {
public:
    explicit SignalRecorder(int leadIn_ms);
    bool PlayPacket(std::span<const std::uint8_t> packet) override;
    void Pause(int pause_ms) override;
    void Start(int blockCount, const std::string& deviceName) override;
    void Step() override;
    void Finish() override;
    // The signal recorded so far; the recorder is spent afterwards.
    DownloadSignal Take();

private:
    void Mark(DownloadSignal::MarkKind kind);
    PcmCaptureSink m_capture;
    DownloadSignal m_signal;
};

// The stream of one encoded code record, as SendCodeRecord sends it.
DownloadSignal BuildDownloadSignal(std::uint8_t eDevice, std::span<const std::uint8_t> CodeBuffer,
                                   std::int16_t BlockCount, const std::string& deviceName, int leadIn_ms = kLeadIn_ms);

// Plays the whole signal as one stream on `out` (opened once, drained and closed once) and calls
// `progress` as the device's played position passes each mark. Stops early, without a failure, when
// `stop` turns true. On failure the marks not yet reached are not called.
Result<Playback> PlayDownloadSignal(const DownloadSignal& signal, WaveOut& out, DownloadProgress& progress,
                                    const std::atomic<bool>* stop = nullptr);

} // namespace tolbe::audio
