#pragma once

#include "common/Prompt.h"
#include "common/SettingsStore.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace tolbe::test {

// The longest a window may go without running its event loop. Sanitizer builds run several
// times slower, so their limit is wider: they check correctness, the plain build the stall.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kStallLimit_ms = 300;
#else
inline constexpr int kStallLimit_ms = 100;
#endif

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& rel) const { return m_path / rel; }

private:
    std::filesystem::path m_path;
};

// Settings held in memory, behind the store's lock as the real one's.
class MemorySettingsStore final : public SettingsStore {
public:
    // Convenience for the program's own section.
    void Set(const std::string& key, const std::string& value) {
        SaveSetting(kSettingsApp, kSettingsSection, key, value);
    }
    std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
    int writes = 0;
    std::string Read(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& fallback) const override;
    void Write(const std::string& app, const std::string& section, const std::string& key,
               const std::string& value) override;
};

// Answers message boxes from a script and records what was shown.
class ScriptedPrompt final : public Prompt {
public:
    struct Shown {
        std::string title, text;
        Buttons buttons;
        Icon icon;
    };
    Answer Show(const std::string& title, const std::string& text, Buttons buttons, Icon icon) override;
    std::deque<Answer> answers; // taken in order; when empty, Ok or No is answered
    std::vector<Shown> shown;
    // Runs while a box is open, before it is answered: what happens while the user reads it.
    std::function<void(const Shown&)> while_open;
};

void WriteFile(const std::filesystem::path& file, const std::string& bytes);

// An output a test may play to unheard: ALSA's "null", or what $TOLBE_TEST_PCM_DEVICE names (the
// Windows run's private sound server).
std::string SilentOutput();

// `s` as one word for the shell.
std::string ShellQuote(const std::string& s);

// What a program run printed and how it ended.
struct CommandOutcome {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out, err;
};

// Runs `program` with `args` (no shell interpretation of either); its output goes through files
// in `scratch`.
CommandOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& scratch);
std::string ReadFile(const std::filesystem::path& file);

// Creates a keyed database at `file` (with the program's key unless given) and runs `sql` in it.
void MakeKeyedDatabase(const std::filesystem::path& file, const std::string& sql, const std::string& key = {});

// A small but complete database of the program's seven tables: `device_types` rows of
// M_DeviceTypes ("TV" the eighth when there are eight or more), a few code sets, a 46-key map.
std::string MiniDatabaseSql(int device_types = 10);

// Code sets of one brand that write only three distinct TV images, newest first: 4 (too long),
// 3 and 1 (source 201), 2 (source 203), 5 (source 202: 201's codes plus one for no key), 6 (source
// 205: 203's codes in lower-case hex), 9 (source 206: 201's codes, default key order). Besides:
// 7 (201 under Sony) and 8 (203, not valid). Keys 13 Power, 14 Volume +, 17 Volume -, 1 Mute,
// 15 Channel +, 16 Channel -, the others "K<n>", the remote's order 1 to 46.
std::string AssistantDatabaseSql();

// AssistantDatabaseSql and two code sets more: 10 (source 201 as "MFY": the default key order, so
// 9's image, not 1's) and 11 (source 207, model UE70: 203's power code, its own Volume +).
std::string RankingDatabaseSql();

} // namespace tolbe::test
