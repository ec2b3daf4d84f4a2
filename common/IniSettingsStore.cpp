#include "common/IniSettingsStore.h"

#include "common/FileLock.h"
#include "common/IniFile.h"
#include "common/ProgramPaths.h"

#include <cstdlib>
#include <stdexcept>

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

std::string IniSettingsStore::Read(const std::string& app, const std::string& section, const std::string& key,
                                   const std::string& fallback) const {
    // No file lock: the file is only ever replaced whole, so a read sees one version or the other.
    const auto doc = IniDocument::Load(FileFor(app));
    const std::string* v = doc.Find(section, key);
    return v != nullptr ? *v : fallback;
}

void IniSettingsStore::Write(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& value) {
    if (m_root.empty()) return;
    const std::filesystem::path file = FileFor(app);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    const FileLock lock(FileLock::For(file));
    if (!lock.Held()) throw std::runtime_error("the setting " + key + " was not saved: " + lock.Problem());
    auto doc = IniDocument::Load(file);
    doc.Set(section, key, value);
    doc.Save(FileFor(app));
}

} // namespace tolbe
