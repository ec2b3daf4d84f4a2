#include "update/UpdateFolder.h"

#include "common/AtomicFile.h"
#include "common/Digest.h"
#include "common/HexText.h"

#include <fstream>
#include <vector>

// What every platform shares; the lock, opening, copying and starting files are the platform's
// (UpdateFolderPosix.cpp, win/UpdateFolderWin.cpp).
namespace tolbe::update {
namespace {

namespace fs = std::filesystem;

// The setup program is written under a fixed name of its own until it is verified, so the
// leftover clean-up knows every temporary name the program uses.
constexpr const char* kSetupTempName = "setup";
constexpr std::size_t kPieceBytes = 64 * 1024;

} // namespace

Result<std::string> HashStream(const HashReader& read, std::stop_token stop,
                               const std::function<bool(const char*, std::size_t)>& sink) {
    try {
        Sha256Stream hash;
        char buf[kPieceBytes];
        for (;;) {
            if (stop.stop_requested()) return Result<std::string>::Fail("stopped");
            std::string why;
            const long long n = read(buf, sizeof buf, why);
            if (n < 0) return Result<std::string>::Fail("cannot read: " + why);
            if (n == 0) break;
            hash.Add(BytesOf(std::string_view(buf, static_cast<std::size_t>(n))));
            if (sink && !sink(buf, static_cast<std::size_t>(n)))
                return Result<std::string>::Fail("cannot write the copy");
        }
        return Result<std::string>::Ok(ToHex(hash.Finish(), LetterCase::Lower));
    } catch (const std::runtime_error& e) {
        return Result<std::string>::Fail(std::string("cannot hash: ") + e.what()); // out of memory only
    }
}

bool RemoveIfPresent(const fs::path& file) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(file, ec))) return true;
    fs::remove(file, ec);
    return !fs::exists(fs::symlink_status(file, ec));
}

Result<std::string> ReadSmallFile(const fs::path& file, std::uint64_t max_bytes) {
    using R = Result<std::string>;
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) return R::Fail(file.string() + " is not a plain file");
    const auto size = fs::file_size(file, ec);
    if (ec) return R::Fail(file.string() + ": " + ec.message());
    if (size > max_bytes) return R::Fail(file.string() + " is larger than " + std::to_string(max_bytes) + " bytes");
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) return R::Fail(file.string() + " cannot be read");
    return R::Ok(std::move(bytes));
}

Result<Done> Commit(const fs::path& temp, const fs::path& target) {
    try {
        CommitFile(temp, target);
        return Ok();
    } catch (const fs::filesystem_error& e) {
        return Result<Done>::Fail(e.what());
    }
}

fs::path SetupTempFile(const ProgramPaths& paths) {
    return TempPathFor(paths.UpdateFolder() / kSetupTempName);
}

void RemoveLeftovers(const ProgramPaths& paths) {
    const std::pair<fs::path, std::vector<std::string>> owned[] = {
        {paths.UpdateFolder(),
         {paths.UpdateDescriptor().filename().string(), paths.UpdateDescriptor().filename().string() + ".minisig",
          paths.UpdateDatabase().filename().string(), paths.SignedStamp().filename().string(), kSetupTempName}},
        {paths.DatabaseFolder(),
         {paths.WritableDatabase().filename().string(), paths.DatabaseBackup().filename().string()}},
    };
    for (const auto& [folder, names] : owned) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            for (const std::string& own : names) {
                const long long pid = TempPathOwner(name, own);
                if (pid == 0) continue;
                if (!ProcessAlive(pid)) RemoveIfPresent(it->path());
            }
        }
    }
}

} // namespace tolbe::update
