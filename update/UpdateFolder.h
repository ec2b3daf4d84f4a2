#pragma once

#include "common/ProgramPaths.h"
#include "common/Result.h"

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>

namespace tolbe::update {

// The Update folder's own files: its lock, the leftovers of dead runs, the commit of a verified
// temporary, hashing and the private copy of a setup program. Every long read takes a stop.

// The lock file inside the Update folder.
inline constexpr const char* kLockFileName = "update.lock";

// The exclusive lock of the user's update checks: one check or apply at a time, across the
// window and tolbe-cli of every session. The folder is made private (0700) and the lock is a
// 0600 file inside it, so no other user can open it, let alone hold it.
class UpdateFolderLock {
public:
    // Takes the lock without waiting; Held() tells whether it was had, Why() why not.
    explicit UpdateFolderLock(const std::filesystem::path& folder);
    ~UpdateFolderLock();
    UpdateFolderLock(const UpdateFolderLock&) = delete;
    UpdateFolderLock& operator=(const UpdateFolderLock&) = delete;
    bool Held() const { return m_fd >= 0; }
    // Empty when held; "busy" text when another check of this user holds it.
    const std::string& Why() const { return m_why; }
    bool Busy() const { return m_busy; }

private:
    int m_fd = -1;
    bool m_busy = false;
    std::string m_why;
};

// Deletes `file` if it is there; false when it is still there afterwards.
bool RemoveIfPresent(const std::filesystem::path& file);
// A regular file (never through a link) of at most `max_bytes`; the reason otherwise.
Result<std::string> ReadSmallFile(const std::filesystem::path& file, std::uint64_t max_bytes);
// Makes a verified temporary the target (flushed, renamed, folder flushed).
Result<Done> Commit(const std::filesystem::path& temp, const std::filesystem::path& target);
// Removes the temporaries of runs that died (kill -9, power loss): only the program's own names
// in the Update and Database folders, with ".part" and the id of a process that is gone.
void RemoveLeftovers(const ProgramPaths& paths);
// The setup program's temporary in the Update folder, a fixed name the clean-up knows.
std::filesystem::path SetupTempFile(const ProgramPaths& paths);

// Lower-case hexadecimal SHA-256 of a file's bytes, read in 64 KiB pieces; fails when the file
// cannot be read or `stop` is requested (checked between the pieces).
Result<std::string> FileSha256(const std::filesystem::path& file, std::stop_token stop = {});
// Copies `file` into a new private (0700) folder under `parent`, reading it through one open
// descriptor and hashing exactly the bytes copied; the copy's path when they hash to
// `expected_sha256` (no copy is left otherwise). What is started is then the file that was
// checked, whatever happens to the original's name meanwhile.
Result<std::filesystem::path> PrivateCopyMatching(const std::filesystem::path& file, const std::string& expected_sha256,
                                                  const std::filesystem::path& parent, std::stop_token stop = {});
// Starts `program` as a detached process in a session of its own, without waiting for it; it
// is made executable for its owner first.
Status StartDetached(const std::filesystem::path& program);

} // namespace tolbe::update
