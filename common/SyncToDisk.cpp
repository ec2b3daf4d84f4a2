#include "common/SyncToDisk.h"

#include <fcntl.h>
#include <unistd.h>

namespace tolbe {

bool SyncToDisk(const std::filesystem::path& path) {
    // Read-only is enough: fsync flushes what the file or folder holds, whoever wrote it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool SyncFolderOf(const std::filesystem::path& file) {
    return SyncToDisk(file.has_parent_path() ? file.parent_path() : std::filesystem::path("."));
}

} // namespace tolbe
