#include "db/DatabaseFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace tolbe::db {

bool CanReplaceDatabase(const std::filesystem::path& target, std::string* why) {
    namespace fs = std::filesystem;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    // The program's own folder may not exist yet: the swap makes it.
    if (!fs::exists(folder, ec)) return true;
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        if (why != nullptr) *why = "the folder " + folder.string() + " cannot be written";
        return false;
    }
    if (fs::exists(fs::symlink_status(target, ec)) && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        if (why != nullptr) *why = "the file " + target.string() + " is read-only";
        return false;
    }
    return true;
}

} // namespace tolbe::db
