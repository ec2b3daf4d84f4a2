#pragma once

#include <string>

namespace tolbe {

// Per-user settings: text values addressed by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Returns the stored value, or `fallback` when the key is absent.
    virtual std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                                   const std::string& fallback = {}) const = 0;
    // Stores a value; throws std::runtime_error when it cannot be written.
    virtual void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& value) = 0;
};

// Every setting the program keeps lives under this application and section.
inline constexpr const char* kSettingsApp = "Marvo";
inline constexpr const char* kSettingsSection = "MarvoState";

namespace settings_key {
inline constexpr const char* kLanguage = "Language";         // LangBase as decimal text
inline constexpr const char* kDatabasePath = "DatabasePath"; // full path; empty means the default
inline constexpr const char* kSetup = "Setup";               // "1" once a setup program was fetched
inline constexpr const char* kSetupPath = "SetupPath";       // bare file name of that setup program
inline constexpr const char* kAudioDevice = "AudioDevice";   // ALSA playback device; empty means "default"
} // namespace settings_key

} // namespace tolbe
