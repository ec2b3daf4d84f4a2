#pragma once

#include <mutex>
#include <string>

namespace tolbe {

// Per-user settings: text values addressed by application, section and key. The menus write them
// on the window's thread while the live update's worker reads them: every call holds the store's
// one lock, so a read never sees half a save and two saves never interleave. A store kept in a
// file also keeps other programs (another copy, tolbe-cli) out for the length of a save.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Returns the stored value, or `fallback` when the key is absent.
    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& fallback = {}) const {
        const std::lock_guard lock(m_lock);
        return Read(app, section, key, fallback);
    }
    // Stores a value; throws std::runtime_error when it cannot be written.
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& value) {
        const std::lock_guard lock(m_lock);
        Write(app, section, key, value);
    }

protected:
    // What a store does, called with the lock held.
    virtual std::string Read(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& fallback) const = 0;
    virtual void Write(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& value) = 0;

private:
    mutable std::mutex m_lock;
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
