#include "db/DatabaseFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace tolbe::db {

Status CanReplaceDatabase(const std::filesystem::path& target) noexcept {
    namespace fs = std::filesystem;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    // The program's own folder may not exist yet: the swap makes it.
    if (!fs::exists(folder, ec)) return Ok();
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return Fail("the folder " + folder.string() + " cannot be written");
    if (fs::exists(fs::symlink_status(target, ec)) && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return Fail("the file " + target.string() + " is read-only");
    return Ok();
}

} // namespace tolbe::db
