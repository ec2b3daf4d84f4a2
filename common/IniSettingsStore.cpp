#include "common/IniSettingsStore.h"

#include "common/IniFile.h"
#include "common/ProgramPaths.h"

#include <cstdlib>

namespace tolbe {

IniSettingsStore::IniSettingsStore(std::filesystem::path config_root)
    : m_root(config_root.empty() ? DefaultConfigRoot() : std::move(config_root)) {}

std::filesystem::path IniSettingsStore::DefaultConfigRoot() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') return xdg;
    // Without a home folder settings are not kept: a shared folder would let others read or
    // plant them.
    const auto home = UserHomeFolder();
    return home.empty() ? home : home / ".config";
}

std::filesystem::path IniSettingsStore::FileFor(const std::string& app) const {
    return m_root.empty() ? m_root : m_root / app / "settings.ini";
}

std::string IniSettingsStore::GetSetting(const std::string& app, const std::string& section, const std::string& key,
                                         const std::string& fallback) const {
    const std::lock_guard lock(m_mutex);
    const auto doc = IniDocument::Load(FileFor(app));
    const std::string* v = doc.Find(section, key);
    return v != nullptr ? *v : fallback;
}

void IniSettingsStore::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                                   const std::string& value) {
    if (m_root.empty()) return;
    const std::lock_guard lock(m_mutex);
    auto doc = IniDocument::Load(FileFor(app));
    doc.Set(section, key, value);
    doc.Save(FileFor(app));
}

} // namespace tolbe
