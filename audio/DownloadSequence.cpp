#include "audio/DownloadSequence.h"

#include "audio/Modulator.h"
#include "audio/WaveOut.h"

#include <algorithm>

#include <exception>

namespace tolbe::audio {

namespace {

// One step of a download; a failure skips this step only, as the sequence goes on regardless.
template <class F> void Carry(F&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

} // namespace

bool PcmCaptureSink::PlayPacket(std::span<const std::uint8_t> packet) {
    const WaveBuffer buffer = BuildWaveBuffer(packet);
    m_pcm.insert(m_pcm.end(), buffer.begin(), buffer.end());
    return true;
}

void PcmCaptureSink::Pause(int pause_ms) {
    if (pause_ms <= 0) return;
    // 44100 frames per second: 44.1 per millisecond, rounded down for odd millisecond counts.
    const std::size_t frames = static_cast<std::size_t>(pause_ms) * kSampleRate / 1000;
    m_pcm.insert(m_pcm.end(), frames * kBytesPerFrame, std::uint8_t{0});
}

void SendCodeRecord(std::uint8_t eDevice, std::span<const std::uint8_t> CodeBuffer, std::int16_t BlockCount,
                    const std::string& deviceName, DownloadSink& sink, DownloadProgress& progress) {
    const int blocks = BlockCount < 0 ? 0 : BlockCount;
    Carry([&] { sink.PlayPacket(BuildHeaderPacket(eDevice, static_cast<std::uint8_t>(blocks))); });
    Carry([&] { sink.Pause(kHeaderPause_ms); });
    Carry([&] { progress.Start(blocks, deviceName); });

    std::uint16_t address = Slot::FromNumber(eDevice).BaseAddress();
    for (int k = 0; k < blocks; ++k) {
        const std::size_t from = std::min(static_cast<std::size_t>(k) * kBlockBytes, CodeBuffer.size());
        const auto block = CodeBuffer.subspan(from, std::min(kBlockBytes, CodeBuffer.size() - from));
        Carry([&] { sink.PlayPacket(BuildDataPacket(address, block)); });
        Carry([&] { progress.Step(); });
        Carry([&] { sink.Pause(kBlockPause_ms); });
        address = static_cast<std::uint16_t>(address + kBlockBytes);
    }

    Carry([&] { sink.PlayPacket(BuildEndPacket()); });
    Carry([&] { sink.Pause(kEndPause_ms); });
    Carry([&] { progress.Finish(); });
}

std::size_t DownloadSignal::Frames() const {
    return pcm.size() / kBytesPerFrame;
}

double DownloadSignal::Seconds() const {
    return static_cast<double>(Frames()) / kSampleRate;
}

SignalRecorder::SignalRecorder(int leadIn_ms) {
    m_capture.Pause(leadIn_ms);
    m_signal.leadInFrames = m_capture.Pcm().size() / kBytesPerFrame;
}

bool SignalRecorder::PlayPacket(std::span<const std::uint8_t> packet) {
    return m_capture.PlayPacket(packet);
}

void SignalRecorder::Pause(int pause_ms) {
    m_capture.Pause(pause_ms);
}

void SignalRecorder::Start(int blockCount, const std::string& deviceName) {
    m_signal.blockCount = blockCount;
    m_signal.deviceName = deviceName;
    Mark(DownloadSignal::MarkKind::Start);
}

void SignalRecorder::Step() {
    Mark(DownloadSignal::MarkKind::Step);
}

void SignalRecorder::Finish() {
    Mark(DownloadSignal::MarkKind::Finish);
}

DownloadSignal SignalRecorder::Take() {
    m_signal.pcm = m_capture.Pcm();
    return std::move(m_signal);
}

void SignalRecorder::Mark(DownloadSignal::MarkKind kind) {
    m_signal.marks.push_back({m_capture.Pcm().size() / kBytesPerFrame, kind});
}

DownloadSignal BuildDownloadSignal(std::uint8_t eDevice, std::span<const std::uint8_t> CodeBuffer,
                                   std::int16_t BlockCount, const std::string& deviceName, int leadIn_ms) {
    SignalRecorder recorder(leadIn_ms);
    SendCodeRecord(eDevice, CodeBuffer, BlockCount, deviceName, recorder, recorder);
    return recorder.Take();
}

namespace {

// Calls the progress as the played position passes each mark.
class MarkFollower final : public PlaybackObserver {
public:
    MarkFollower(const DownloadSignal& signal, DownloadProgress& progress, const std::atomic<bool>* stop)
        : m_signal(signal), m_progress(progress), m_stop(stop) {}
    void Played(std::size_t frames) override {
        for (; m_next < m_signal.marks.size() && m_signal.marks[m_next].frame <= frames; ++m_next) {
            switch (m_signal.marks[m_next].kind) {
            case DownloadSignal::MarkKind::Start:
                Carry([&] { m_progress.Start(m_signal.blockCount, m_signal.deviceName); });
                break;
            case DownloadSignal::MarkKind::Step:
                Carry([&] { m_progress.Step(); });
                break;
            case DownloadSignal::MarkKind::Finish:
                Carry([&] { m_progress.Finish(); });
                break;
            }
        }
    }
    bool StopRequested() const override { return m_stop != nullptr && m_stop->load(); }

private:
    const DownloadSignal& m_signal;
    DownloadProgress& m_progress;
    const std::atomic<bool>* m_stop;
    std::size_t m_next = 0;
};

} // namespace

Result<Playback> PlayDownloadSignal(const DownloadSignal& signal, WaveOut& out, DownloadProgress& progress,
                                    const std::atomic<bool>* stop) {
    MarkFollower follower(signal, progress, stop);
    return out.Play(signal.pcm, &follower);
}

} // namespace tolbe::audio
