#pragma once

#include "app/AppContext.h"
#include "audio/Modulator.h"
#include "audio/WaveOut.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tolbe::test {

// An output device that plays at once: it keeps each stream it was given and reports it played.
// Streams arrive on the playback thread; read them after the download has ended.
struct RecordingOutput {
    std::vector<std::vector<std::uint8_t>> streams;

    void Install(app::AppContext& ctx) {
        ctx.openWaveOut = [this](const std::string& device) { return std::make_unique<Device>(*this, device); };
    }

    class Device final : public audio::WaveOut {
    public:
        Device(RecordingOutput& owner, std::string name) : m_owner(owner), m_name(std::move(name)) {}
        using audio::WaveOut::Play;
        Result<audio::Playback> Play(std::span<const std::uint8_t> pcm, audio::PlaybackObserver* observer) override {
            {
                std::lock_guard lock(m_owner.m_mutex);
                m_owner.streams.emplace_back(pcm.begin(), pcm.end());
            }
            if (observer != nullptr) observer->Played(pcm.size() / audio::kBytesPerFrame);
            return Result<audio::Playback>::Ok({});
        }
        std::string DeviceName() const override { return m_name; }

    private:
        RecordingOutput& m_owner;
        std::string m_name;
    };

private:
    std::mutex m_mutex;
};

} // namespace tolbe::test
