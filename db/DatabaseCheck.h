#pragma once

#include "db/Database.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Whether a database file is a code database the program can use, judged by what the program
// reads: the columns its queries name must exist by that name, the tables it reads by position
// need only enough columns. Nothing in the file may make SQLite run more than plain reads: no
// views, triggers, virtual tables, CHECK constraints, generated columns, expression or partial
// indexes. Then SQLite's integrity check, within a time limit.
namespace tolbe::db {

// How long the check of one file may take; a real code database of 512 MB needs a fraction of it.
inline constexpr std::chrono::seconds kCheckTimeLimit{120};

struct CheckOptions {
    // The user's list of files already checked (CheckedFiles); empty: every open checks.
    std::filesystem::path checkedList;
    // Ends a running check early (the window closing).
    const std::atomic<bool>* stop = nullptr;
    std::chrono::milliseconds timeLimit = kCheckTimeLimit;
};

// The check of the database open on `conn`; empty when it is a code database, else the reason.
std::string CheckCodeDatabase(const DbConnection& conn, const CheckOptions& options = {});

// A CREATE TABLE or CREATE INDEX text as the check judges it: the clause that makes SQLite
// evaluate expressions (CHECK, a generated column, an expression or a partial index), or none.
std::optional<std::string> ForbiddenClause(std::string_view createSql);

// What identifies one file's content closely enough to skip checking it again: device, inode,
// size, modification time and a hash of its first and last pages (a database write changes the
// first page).
struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtime_ns = 0;
    std::array<std::uint8_t, 32> pages{};
    bool operator==(const FileStamp&) const = default;
};

// The stamp of `file`, read through one open descriptor; none when it cannot be read.
std::optional<FileStamp> StampOf(const std::filesystem::path& file);

// True when no other user can replace `file`: it and every folder above it belong to this user or
// root and are writable by nobody else (a sticky folder only protects what this user owns). Only
// such files are ever skipped as checked before.
bool OnlyThisUserCanReplace(const std::filesystem::path& file);

// The list of database files that passed the check, kept per user (ProgramPaths).
class CheckedFiles {
public:
    explicit CheckedFiles(std::filesystem::path list) : m_list(std::move(list)) {}
    bool Knows(const FileStamp& stamp) const;
    // Adds `stamp`, keeping the newest few; a list that cannot be written only costs a check later.
    void Remember(const FileStamp& stamp) const;
    // Remembers `file` as it is now, when it is a file only this user can replace.
    void RememberFile(const std::filesystem::path& file) const;

private:
    std::filesystem::path m_list;
};

} // namespace tolbe::db
