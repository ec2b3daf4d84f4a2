#include "db/CodeDatabase.h"

#include "common/PathText.h"
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"

#include <filesystem>

namespace tolbe::db {

CodeDatabase::State CodeDatabase::Open(const SettingsStore& settings, const ProgramPaths& paths,
                                       const std::atomic<bool>* stop) {
    const DatabaseLocation loc = CheckDatabase(settings, paths);
    return OpenAt(loc.DBPath, loc.DBKey, loc.exists, stop);
}

CodeDatabase::State CodeDatabase::Open(const DatabaseLocation& where, const std::atomic<bool>* stop) {
    return OpenAt(where.DBPath, where.DBKey, where.exists, stop);
}

CodeDatabase::State CodeDatabase::OpenFile(const std::string& path) {
    std::error_code ec;
    return OpenAt(path, BuildDatabaseKey(), std::filesystem::exists(PathFromUtf8(path), ec), nullptr);
}

CodeDatabase::State CodeDatabase::OpenAt(std::string path, std::string key, bool exists,
                                         const std::atomic<bool>* stop) {
    Close();
    m_path = std::move(path);
    m_key = std::move(key);
    if (!exists) return m_state = State::Missing;
    auto conn = std::make_unique<DbConnection>();
    // Only a code database is used: views, triggers or tables without what the program reads
    // count as unreadable.
    const tolbe::Status opened =
        TryOpenCodeDatabase(*conn, m_path, m_key, CheckOptions{ProgramPaths::CheckedDatabasesFile(), stop});
    if (!opened) {
        m_problem = opened.Error();
        return m_state = State::Unreadable;
    }
    m_conn = std::move(conn);
    m_protocols = std::make_unique<ProtocolMemo>();
    return m_state = State::Open;
}

void CodeDatabase::Close() {
    m_conn.reset();
    m_protocols.reset();
    m_problem.clear();
    m_state = State::Closed;
}

const DbConnection& CodeDatabase::DBConn() const {
    if (!m_conn) throw DbError("the code database is not open");
    return *m_conn;
}

std::int16_t CodeDatabase::Version() const {
    if (!IsOpen()) return 0;
    return RecordedVersion(*m_conn).value_or(1);
}

std::vector<std::string> CodeDatabase::DeviceTypes() const {
    return ReadDeviceTypes(DBConn());
}

CodeSet CodeDatabase::LoadCodeSet(std::int32_t SourceID) const {
    return db::LoadCodeSet(DBConn(), SourceID, m_protocols.get());
}

bool CodeDatabase::SwapIn(const SettingsStore& settings, const ProgramPaths& paths) {
    bool swapped = false;
    try {
        swapped = SwapInDeliveredDatabase(paths, BuildDatabaseKey(), ChosenDatabasePath(settings));
    } catch (const std::exception&) {
        swapped = false; // the swap never removes the current file, so it is reopened below
    }
    // A rename over the open file leaves its data alone, so the connection is only now replaced.
    return Open(settings, paths) == State::Open && swapped;
}

} // namespace tolbe::db
