#include "audio/Mixer.h"

#include "common/IniFile.h"

#include <charconv>
#include <optional>
#include <string>
#include <system_error>

namespace tolbe::audio {

namespace {

constexpr const char* kMuteKey = "Mute";
constexpr const char* kLeftKey = "Left";
constexpr const char* kRightKey = "Right";

const char* SectionOf(MixerLine line) {
    return line == MixerLine::WaveOut ? "WaveOut" : "Speakers";
}

std::optional<std::int32_t> ReadNumber(const IniDocument& doc, MixerLine line, const char* key) {
    const std::string* text = doc.Find(SectionOf(line), key);
    if (!text) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return value;
}

// The file is written before the step raises anything, so a crash right after still finds the levels.
bool Record(const IniDocument& doc, const std::filesystem::path& stateFile) {
    try {
        if (stateFile.has_parent_path()) std::filesystem::create_directories(stateFile.parent_path());
        doc.Save(stateFile);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool RaiseMute(Mixer& mixer, MixerLine line, IniDocument& doc, const std::filesystem::path& stateFile) {
    if (!mixer.OpenMuteControl(line)) {
        mixer.CloseMixer();
        return false;
    }
    bool muted = false;
    if (mixer.GetMute(muted)) {
        doc.Set(SectionOf(line), kMuteKey, muted ? "1" : "0");
        if (Record(doc, stateFile)) mixer.SetMute(false);
    }
    mixer.CloseMixer();
    return true;
}

bool RaiseLevel(Mixer& mixer, MixerLine line, IniDocument& doc, const std::filesystem::path& stateFile) {
    if (!mixer.OpenVolumeControl(line)) {
        mixer.CloseMixer();
        return false;
    }
    std::int32_t left = -1;
    std::int32_t right = -1;
    if (mixer.GetVolume(left, right)) {
        doc.Set(SectionOf(line), kLeftKey, std::to_string(left));
        doc.Set(SectionOf(line), kRightKey, std::to_string(right));
        const std::int32_t top = mixer.VolumeMaximum();
        if (Record(doc, stateFile)) mixer.SetVolume(top, top);
    }
    mixer.CloseMixer();
    return true;
}

bool RestoreMute(Mixer& mixer, MixerLine line, const IniDocument& doc) {
    const auto muted = ReadNumber(doc, line, kMuteKey);
    if (!muted) return true; // nothing was saved for this step
    const bool found = mixer.OpenMuteControl(line);
    if (found) mixer.SetMute(*muted != 0);
    mixer.CloseMixer();
    return found;
}

bool RestoreLevel(Mixer& mixer, MixerLine line, const IniDocument& doc) {
    const auto left = ReadNumber(doc, line, kLeftKey);
    const auto right = ReadNumber(doc, line, kRightKey);
    if (!left || !right) return true;
    const bool found = mixer.OpenVolumeControl(line);
    if (found) mixer.SetVolume(*left, *right);
    mixer.CloseMixer();
    return found;
}

} // namespace

bool RaiseVolume(Mixer& mixer, const std::filesystem::path& stateFile) {
    RestorePendingVolume(mixer, stateFile);
    IniDocument doc;
    bool all = true;
    all = RaiseMute(mixer, MixerLine::WaveOut, doc, stateFile) && all;
    all = RaiseLevel(mixer, MixerLine::WaveOut, doc, stateFile) && all;
    all = RaiseMute(mixer, MixerLine::Speakers, doc, stateFile) && all;
    all = RaiseLevel(mixer, MixerLine::Speakers, doc, stateFile) && all;
    return all;
}

bool RestoreVolume(Mixer& mixer, const std::filesystem::path& stateFile) {
    std::error_code ec;
    if (!std::filesystem::exists(stateFile, ec)) return true;
    IniDocument doc;
    try {
        doc = IniDocument::Load(stateFile);
    } catch (const std::exception&) {
        return false; // unreadable: leave it for a later attempt
    }
    bool all = true;
    all = RestoreMute(mixer, MixerLine::WaveOut, doc) && all;
    all = RestoreLevel(mixer, MixerLine::WaveOut, doc) && all;
    all = RestoreMute(mixer, MixerLine::Speakers, doc) && all;
    all = RestoreLevel(mixer, MixerLine::Speakers, doc) && all;
    std::filesystem::remove(stateFile, ec);
    return all;
}

bool RestorePendingVolume(Mixer& mixer, const std::filesystem::path& stateFile) {
    std::error_code ec;
    if (!std::filesystem::exists(stateFile, ec)) return false;
    RestoreVolume(mixer, stateFile);
    return true;
}

} // namespace tolbe::audio
