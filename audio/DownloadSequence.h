#pragma once

#include "audio/Packets.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tolbe {
class Prompt;
class Yield;
} // namespace tolbe

namespace tolbe::codec {
class FillerSource;
}

namespace tolbe::audio {

class WaveOut;

// Fixed pauses of a download, after the header, after each data packet and after the end packet.
inline constexpr int kHeaderPause_ms = 400;
inline constexpr int kBlockPause_ms = 80;
inline constexpr int kEndPause_ms = 100;

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

// Plays every packet on a wave output device (errors shown through `prompt`) and waits out each pause
// while processing window events.
class PlaybackSink final : public DownloadSink {
public:
    PlaybackSink(WaveOut& out, Prompt& prompt, Yield& yield) : m_out(out), m_prompt(prompt), m_yield(yield) {}
    bool PlayPacket(std::span<const std::uint8_t> packet) override;
    void Pause(int pause_ms) override;
    int Failures() const { return m_failures; }

private:
    WaveOut& m_out;
    Prompt& m_prompt;
    Yield& m_yield;
    int m_failures = 0;
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

// One download as the main window asks for it.
struct DownloadRequest {
    std::uint8_t RCUModel = 1; // the remote's model number
    std::uint8_t eDevice = 0;  // slot 0 TV, 1 SAT, 2 DVD, 3 AUX
    std::int32_t SourceID = 0; // code source of the slot's code set
    std::string StrKeyDown;    // key order text; empty selects the encoder's default
    std::string DBPath;        // code database and its key, read by the encoder
    std::string DBKey;
    std::string deviceName; // the slot's name for the progress display ("TV", ...)
};

// One download: makes `CodeBuffer` 768 zero bytes, has the encoder build the slot's code record into
// it and, only when that succeeded, sends it with SendCodeRecord. True when the encoder succeeded
// and every packet was handed to the sink (whether the sink managed to play it or not); false when
// the encoder refused, in which case nothing is sent and `why` (when given) receives the reason.
bool CmdDownCodeAPI(const DownloadRequest& request, codec::FillerSource& rng, std::vector<std::uint8_t>& CodeBuffer,
                    DownloadSink& sink, DownloadProgress& progress, std::string* why = nullptr);

} // namespace tolbe::audio
