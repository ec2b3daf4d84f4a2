#include "audio/Mixer.h"

#include "common/AtomicFile.h"
#include "common/IniFile.h"
#include "common/ProgramPaths.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
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

// The file is written (and flushed to the disk) before the step raises anything, so a crash or a
// power cut right after still finds the levels. Nobody but the user may read or replace it.
bool Record(const IniDocument& doc, const std::filesystem::path& stateFile) {
    try {
        if (!MakePrivateFolder(stateFile.parent_path())) return false;
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
    const bool done = mixer.OpenMuteControl(line) && mixer.SetMute(*muted != 0);
    mixer.CloseMixer();
    return done;
}

bool RestoreLevel(Mixer& mixer, MixerLine line, const IniDocument& doc) {
    const auto left = ReadNumber(doc, line, kLeftKey);
    const auto right = ReadNumber(doc, line, kRightKey);
    if (!left || !right) return true;
    const bool done = mixer.OpenVolumeControl(line) && mixer.SetVolume(*left, *right);
    mixer.CloseMixer();
    return done;
}

// True when every line of the levels file is one this program writes: the two sections, the three
// keys with whole numbers, a volume always as a pair. Anything else means the file was damaged and
// some of the user's levels may be lost.
bool IsWellFormed(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::string section;
    int steps = 0;
    std::optional<bool> left, right;
    auto endSection = [&] {
        const bool paired = left.has_value() == right.has_value();
        left.reset();
        right.reset();
        return paired;
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line == "[WaveOut]" || line == "[Speakers]") {
            if (!endSection()) return false;
            section = line;
            continue;
        }
        const auto eq = line.find('=');
        if (section.empty() || eq == std::string::npos) return false;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        std::int32_t number = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size()) return false;
        if (key == kMuteKey && (number == 0 || number == 1)) {
            ++steps;
        } else if (key == kLeftKey) {
            left = true;
            ++steps;
        } else if (key == kRightKey) {
            right = true;
        } else {
            return false;
        }
    }
    return endSection() && steps > 0;
}

} // namespace

bool RaiseVolume(Mixer& mixer, const std::filesystem::path& stateFile) {
    IniDocument doc;
    std::error_code ec;
    if (std::filesystem::exists(stateFile, ec)) {
        std::filesystem::path aside;
        const bool restored = RestoreVolume(mixer, stateFile, &aside);
        if (!restored && aside.empty() && std::filesystem::exists(stateFile, ec)) {
            // Levels of a line that is missing now stay recorded beside the new ones, for a later restore.
            try {
                doc = IniDocument::Load(stateFile);
            } catch (const std::exception&) {
                return false; // raising now would overwrite levels that were never restored
            }
        }
    }
    bool all = true;
    all = RaiseMute(mixer, MixerLine::WaveOut, doc, stateFile) && all;
    all = RaiseLevel(mixer, MixerLine::WaveOut, doc, stateFile) && all;
    all = RaiseMute(mixer, MixerLine::Speakers, doc, stateFile) && all;
    all = RaiseLevel(mixer, MixerLine::Speakers, doc, stateFile) && all;
    return all;
}

bool RestoreVolume(Mixer& mixer, const std::filesystem::path& stateFile, std::filesystem::path* setAside) {
    if (setAside != nullptr) setAside->clear();
    std::error_code ec;
    if (!std::filesystem::exists(stateFile, ec)) return true;
    // A few lines of levels: anything larger is not ours, and is set aside without being read.
    constexpr std::uintmax_t kMaxStateBytes = 64 * 1024;
    if (const auto size = std::filesystem::file_size(stateFile, ec); !ec && size > kMaxStateBytes) {
        const auto aside = SetAside(stateFile);
        if (setAside != nullptr) *setAside = aside.empty() ? stateFile : aside;
        return false;
    }
    std::string text;
    {
        std::ifstream in(stateFile, std::ios::binary);
        if (!in) return false; // unreadable for now: leave it for a later attempt
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return false;
    }
    const IniDocument doc = IniDocument::Parse(text);
    bool all = true;
    all = RestoreMute(mixer, MixerLine::WaveOut, doc) && all;
    all = RestoreLevel(mixer, MixerLine::WaveOut, doc) && all;
    all = RestoreMute(mixer, MixerLine::Speakers, doc) && all;
    all = RestoreLevel(mixer, MixerLine::Speakers, doc) && all;
    if (!IsWellFormed(text)) {
        // What could be read is back; the rest is kept for the user to see, not deleted.
        const auto aside = SetAside(stateFile);
        if (setAside != nullptr) *setAside = aside.empty() ? stateFile : aside;
        return false;
    }
    // Only levels that are all back may be forgotten; otherwise the next start tries again.
    if (all) std::filesystem::remove(stateFile, ec);
    return all;
}

bool RestorePendingVolume(Mixer& mixer, const std::filesystem::path& stateFile, std::filesystem::path* setAside) {
    if (setAside != nullptr) setAside->clear();
    std::error_code ec;
    if (!std::filesystem::exists(stateFile, ec)) return false;
    RestoreVolume(mixer, stateFile, setAside);
    return true;
}

} // namespace tolbe::audio
