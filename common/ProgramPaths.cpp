#include "common/ProgramPaths.h"

#include <cstdlib>
#include <system_error>

namespace tolbe {

ProgramPaths ProgramPaths::ForRunningProgram() {
    if (const char* dir = std::getenv("TOLBE_PROGRAM_DIR"); dir != nullptr && *dir != '\0') return ProgramPaths(dir);
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ProgramPaths(std::filesystem::current_path());
    return ProgramPaths(exe.parent_path());
}

} // namespace tolbe
