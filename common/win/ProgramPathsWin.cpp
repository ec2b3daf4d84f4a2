#include "common/ProgramPaths.h"

#include "common/Product.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdlib>
#include <system_error>

// Where a Windows user's files live: the program folder beside the .exe, the roaming profile
// (%APPDATA%) for what the user writes when that folder is not writable, the local profile
// (%LOCALAPPDATA%) for the machine's own state. Both profile folders are the user's alone by
// their access lists.
namespace tolbe {
namespace {

std::filesystem::path KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::filesystem::path folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path != nullptr) folder = path;
    ::CoTaskMemFree(path);
    return folder.is_absolute() ? folder : std::filesystem::path();
}

// Whether this process can create files in `dir`: an installation under Program Files cannot.
bool Writable(const std::filesystem::path& dir) {
    const std::filesystem::path probe = dir / (".tolbe-probe" + std::to_string(::GetCurrentProcessId()));
    const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
}

std::filesystem::path ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return std::filesystem::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

std::filesystem::path ProgramPaths::UserDataFolder() {
    const auto roaming = KnownFolder(FOLDERID_RoamingAppData);
    return roaming.empty() ? roaming : roaming / kProductName;
}

std::filesystem::path ProgramPaths::StateFolder() {
    const auto local = KnownFolder(FOLDERID_LocalAppData);
    return local.empty() ? local : local / kProductName;
}

ProgramPaths ProgramPaths::ForRunningProgram() {
    if (const wchar_t* dir = ::_wgetenv(L"TOLBE_PROGRAM_DIR"); dir != nullptr && *dir != L'\0')
        return ProgramPaths(dir);
    std::error_code ec;
    const auto exe_dir = ExecutableFolder();
    if (exe_dir.empty()) return ProgramPaths(std::filesystem::current_path(ec));
    // Unpacked anywhere the user may write, the folder is the program's own, as the original
    // layout has it; installed where only an administrator writes, what the program writes goes
    // to the user's profile and the shipped files are read beside the .exe.
    if (Writable(exe_dir)) return ProgramPaths(exe_dir);
    const auto user = UserDataFolder();
    return Installed(exe_dir, user.empty() ? exe_dir : user);
}

std::filesystem::path ProgramPaths::RuntimeFolder() {
    return StateFolder();
}

std::filesystem::path UserHomeFolder() {
    const auto profile = KnownFolder(FOLDERID_Profile);
    return profile;
}

bool MakePrivateFolder(const std::filesystem::path& given) {
    // "\\folder" names a folder on the current drive: the same place every time, so it is taken;
    // only a path relative to the working folder is not.
    if (given.empty() || !given.has_root_directory()) return false;
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::absolute(given, ec);
    if (ec) return false;
    std::filesystem::create_directories(dir, ec);
    // A junction or link planted in its place could send the program's files elsewhere.
    const DWORD attributes = ::GetFileAttributesW(dir.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

} // namespace tolbe
