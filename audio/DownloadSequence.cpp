#include "audio/DownloadSequence.h"

#include "audio/DelayTime.h"
#include "audio/Modulator.h"
#include "audio/WaveOut.h"
#include "codec/CodeRecord.h"

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

bool PlaybackSink::PlayPacket(std::span<const std::uint8_t> packet) {
    const bool ok = SendWaveData(packet, m_out, m_prompt);
    if (!ok) ++m_failures;
    return ok;
}

void PlaybackSink::Pause(int pause_ms) {
    DelayTime(pause_ms, m_yield);
}

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

    std::uint16_t address = SlotBaseAddress(eDevice);
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

bool CmdDownCodeAPI(const DownloadRequest& request, codec::FillerSource& rng, std::vector<std::uint8_t>& CodeBuffer,
                    DownloadSink& sink, DownloadProgress& progress, std::string* why) {
    CodeBuffer.assign(kMaxBlocks * kBlockBytes, 0);
    std::int16_t BlockCount = 0;
    bool encoded = false;
    try {
        encoded = codec::BuildCodeRecord(request.RCUModel, request.eDevice, request.SourceID, CodeBuffer, BlockCount,
                                         request.StrKeyDown, request.DBPath, request.DBKey, rng, why);
    } catch (const std::exception& e) {
        // Any error inside the encoder counts as a refusal: nothing may be sent.
        if (why) *why = e.what();
        encoded = false;
    }
    if (!encoded) return false;
    SendCodeRecord(request.eDevice, CodeBuffer, BlockCount, request.deviceName, sink, progress);
    return true;
}

} // namespace tolbe::audio
