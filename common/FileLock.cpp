#include "common/FileLock.h"

namespace tolbe {

std::filesystem::path FileLock::For(const std::filesystem::path& file) {
    std::filesystem::path lock = file;
    lock += ".lock";
    return lock;
}

} // namespace tolbe
