#include "common/AtomicFile.h"

#include <string>

// What every platform shares: the temporary's name and setting a damaged file aside. Writing,
// flushing and renaming are the platform's (AtomicFilePosix.cpp, win/AtomicFileWin.cpp).
namespace tolbe {
namespace fs = std::filesystem;

long long TempPathOwner(std::string_view name, std::string_view own) {
    if (name.size() <= own.size() + kTempMarker.size() || name.substr(0, own.size()) != own ||
        name.substr(own.size(), kTempMarker.size()) != kTempMarker)
        return 0;
    const std::string_view digits = name.substr(own.size() + kTempMarker.size());
    // A process id: 1 to 10 digits, no leading zero.
    if (digits.size() > 10 || digits[0] == '0') return 0;
    long long pid = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

fs::path SetAside(const fs::path& file) {
    std::error_code ec;
    for (int n = 1; n < 1000; ++n) {
        fs::path aside = file;
        aside += n == 1 ? std::string(".unreadable") : ".unreadable-" + std::to_string(n);
        if (fs::exists(fs::symlink_status(aside, ec))) continue;
        fs::rename(file, aside, ec);
        return ec ? fs::path() : aside;
    }
    return {};
}

} // namespace tolbe
