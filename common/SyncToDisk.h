#pragma once

#include <filesystem>

namespace tolbe {

// Flushes a file's data, or a folder's entries (so that a rename in it survives a power cut), to
// the disk. False when it cannot be opened or flushed.
bool SyncToDisk(const std::filesystem::path& path);

// Flushes the folder holding `file`, the step that makes a rename onto `file` durable.
bool SyncFolderOf(const std::filesystem::path& file);

} // namespace tolbe
