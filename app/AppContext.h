#pragma once

#include "codec/CodeRecord.h"
#include "common/ProgramPaths.h"
#include "common/Prompt.h"
#include "common/SettingsStore.h"
#include "common/Slot.h"
#include "db/CodeDatabase.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolbe::codec {
class FillerSource;
}
namespace tolbe::audio {
class WaveOut;
class Mixer;
struct PlaybackDevice;
} // namespace tolbe::audio

namespace tolbe::app {

// The process-wide values, owned by main and handed to every window that needs them.
struct AppContext {
    AppContext(SettingsStore& s, Prompt& p, ProgramPaths pp) : settings(s), prompt(p), paths(std::move(pp)) {}

    SettingsStore& settings;
    Prompt& prompt;
    ProgramPaths paths;

    std::int16_t LangBase = 0;  // language index x 1000
    db::CodeDatabase database;  // closed when start-up could not open it
    std::int16_t CurDevice = 0; // 0 TV, 1 SAT, 2 DVD, 3 AUX
    std::array<std::string, Slot::kCount> DeviceNames{Slot::TV().Name(), Slot::SAT().Name(), Slot::DVD().Name(),
                                                      Slot::AUX().Name()};
    std::uint8_t RcuModel = codec::kSupportedRcuModel; // the remote's model number

    std::uint16_t systemLanguageId = 0x0409; // the user's interface language, Windows numbering
    // Opens the wave output for one download on the named device ("AudioDevice"); called on the
    // window thread, the output then plays on the download's own thread.
    std::function<std::unique_ptr<audio::WaveOut>(const std::string& device)> openWaveOut;
    // The playback devices the output menu offers.
    std::function<std::vector<audio::PlaybackDevice>()> playbackDevices;
    // The source of each download's filler bytes; random when empty. A fixed seed makes a
    // download repeatable (the same bytes as tolbe-cli --seed).
    std::function<std::unique_ptr<codec::FillerSource>()> filler;
    audio::Mixer* mixer = nullptr;        // levels raised for a download, restored at the end
    std::filesystem::path mixerStateFile; // saved levels until they are restored

    bool HasDatabase() const { return database.IsOpen(); }
};

} // namespace tolbe::app
