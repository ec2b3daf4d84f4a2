#pragma once

#include <atomic>
#include <filesystem>
#include <string_view>

namespace tolbe {

// Every file the program replaces goes through here: written beside its target under a temporary
// name, flushed, renamed over the target and the rename flushed with the folder, so a crash or a
// power cut leaves either the old file or the new one, never half of one. Failures throw
// std::filesystem::filesystem_error; no temporary is left behind then.

// Where a file is written until it replaces `target`: beside it, with ".part" and the process id,
// so a leftover of a dead run can be told from the file of one still running.
std::filesystem::path TempPathFor(const std::filesystem::path& target);
// What TempPathFor puts between the name and the process id.
inline constexpr std::string_view kTempMarker = ".part";
// The process id in `name` when it is a temporary of a file named `own` (TempPathFor), else 0.
long long TempPathOwner(std::string_view name, std::string_view own);

// Replaces `target` with `bytes` (mode 0600); the temporary is created afresh, never through a
// planted link.
void WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Replaces `to` with a copy of `from`. A `stop` set meanwhile (looked at between 64 KiB pieces)
// ends the copy with std::errc::operation_canceled, `to` untouched.
void CopyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                        const std::atomic<bool>* stop = nullptr);

// Makes a finished temporary file the target: flushed, renamed, the folder flushed. A `temp` that
// is not a regular file (a link, a folder) is refused.
void CommitFile(const std::filesystem::path& temp, const std::filesystem::path& target);

// Moves a damaged file out of the way for the user to see: to "<file>.unreadable", or
// "<file>.unreadable-2" and on when that is taken, never over an earlier one. Empty when it could
// not be moved.
std::filesystem::path SetAside(const std::filesystem::path& file);

// Flushes a file's data, or a folder's entries, to the disk. False when it cannot be opened or
// flushed.
bool SyncToDisk(const std::filesystem::path& path);
// Flushes the folder holding `file`, the step that makes a rename onto `file` durable.
bool SyncFolderOf(const std::filesystem::path& file);

} // namespace tolbe
