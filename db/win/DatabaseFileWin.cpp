#include "db/DatabaseFile.h"

#include <windows.h>

#include <string>

namespace tolbe::db {

Status CanReplaceDatabase(const std::filesystem::path& target) noexcept {
    namespace fs = std::filesystem;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    // The program's own folder may not exist yet: the swap makes it.
    if (!fs::exists(folder, ec)) return Ok();
    // Access lists decide, not mode bits: the one sure answer is to try creating a file there.
    const fs::path probe = folder / (".tolbe-probe" + std::to_string(::GetCurrentProcessId()));
    const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail("the folder " + folder.string() + " cannot be written");
    ::CloseHandle(h);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return Fail("the file " + target.string() + " is read-only");
    return Ok();
}

} // namespace tolbe::db
