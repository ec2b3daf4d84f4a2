#pragma once

#include "common/ProgramPaths.h"
#include "common/SettingsStore.h"
#include "db/CodeSet.h"
#include "db/Database.h"
#include "db/DatabaseFile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolbe::db {

// The code database the program works on: where it is, its key and the one connection every
// reader shares. The window, tolbe-cli and the live update all go through it.
class CodeDatabase {
public:
    enum class State {
        Closed,     // not opened yet, or closed
        Missing,    // no file where the settings or the program folder say
        Unreadable, // a file is there but is not a code database opening with the key
        Open,
    };

    // Finds the file (the "DatabasePath" setting, else the program folder's) and opens it.
    // A running check ends early once `*stop` turns true (the window closing); the state is then
    // Unreadable.
    State Open(const SettingsStore& settings, const ProgramPaths& paths, const std::atomic<bool>* stop = nullptr);
    // Opens the file CheckDatabase found (its location read on the thread that owns the settings;
    // the open and check may run on another).
    State Open(const DatabaseLocation& where, const std::atomic<bool>* stop = nullptr);
    // Opens `path` with the program's key (tools and tests name their file).
    State OpenFile(const std::string& path);
    void Close();

    State Status() const { return m_state; }
    // Why the last open found the file unreadable.
    const std::string& Problem() const { return m_problem; }
    bool IsOpen() const { return m_state == State::Open; }
    const std::string& DBPath() const { return m_path; }
    const std::string& DBKey() const { return m_key; }
    // The shared connection; throws DbError while closed.
    const DbConnection& DBConn() const;

    // The version the database records, read without writing: 0 while closed, 1 for a database
    // without a version table (as the version record counts it). Throws DbError when the record
    // is unreadable.
    std::int16_t Version() const;
    std::vector<std::string> DeviceTypes() const;
    CodeSet LoadCodeSet(std::int32_t SourceID) const;

    // Puts the live update's delivered database in place of the one in use ("DatabasePath" or
    // the program folder's; the previous kept as .bak) and reopens it. False, with the database in use
    // reopened unchanged, when the delivered file is missing or not a sound database of ours.
    bool SwapIn(const SettingsStore& settings, const ProgramPaths& paths);

private:
    State OpenAt(std::string path, std::string key, bool exists, const std::atomic<bool>* stop);

    std::unique_ptr<DbConnection> m_conn;
    // Belongs to m_conn: a new connection may be another file.
    std::unique_ptr<ProtocolMemo> m_protocols;
    std::string m_path;
    std::string m_key;
    State m_state = State::Closed;
    std::string m_problem;
};

} // namespace tolbe::db
