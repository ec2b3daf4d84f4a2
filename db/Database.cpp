#include "db/Database.h"

#include "common/Digest.h"
#include "common/HexText.h"
#include "common/PathText.h"
#include "db/DatabaseCheck.h"

#include <sodium.h>
#include <sqlite3.h>

#include <mutex>
#include <unordered_map>

#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <string_view>

namespace tolbe::db {

namespace {

struct StmtDeleter {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

} // namespace

struct ConnectionHandle {
    sqlite3* db = nullptr;
    // Prepared statements of the queries with parameters, kept for the next call: a candidate
    // list runs the same few queries for every code source, and preparing them is a good part of
    // its time. A statement in use is taken out, so a query inside another gets its own.
    std::mutex cacheMutex;
    std::unordered_map<std::string, StmtPtr> cache;
    // The time limit of LimitTime, read by SQLite's progress callback on the running thread.
    std::chrono::steady_clock::time_point deadline{};
    const std::atomic<bool>* stop = nullptr;
    bool timeRanOut = false;
    ~ConnectionHandle() {
        cache.clear(); // finalized before the handle closes
        if (db != nullptr) sqlite3_close_v2(db);
    }
};

namespace {

constexpr std::size_t kStatementCacheSize = 32;

[[noreturn]] void Throw(sqlite3* db, const std::string& what) {
    std::string msg = what;
    if (db != nullptr) msg += ": " + std::string(sqlite3_errmsg(db));
    throw DbError(msg);
}

StmtPtr Prepare(sqlite3* db, const std::string& sql) {
    if (db == nullptr) throw DbError("the database connection is not open");
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK) Throw(db, "cannot prepare statement");
    return stmt;
}

void Exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err != nullptr ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        throw DbError(msg);
    }
}

DbValue ColumnValue(sqlite3_stmt* stmt, int c) {
    switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_INTEGER:
        return DbValue(static_cast<std::int64_t>(sqlite3_column_int64(stmt, c)));
    case SQLITE_FLOAT:
        return DbValue(sqlite3_column_double(stmt, c));
    case SQLITE_NULL:
        return DbValue();
    default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_blob(stmt, c));
        const int n = sqlite3_column_bytes(stmt, c);
        return DbValue(std::string(p != nullptr ? p : "", static_cast<std::size_t>(n)));
    }
    }
}

// Cipher settings are pinned so a file opens the same with SQLCipher 3.4 and 4.x: 4096-byte
// pages, SHA-1 HMAC and KDF (the 3.x defaults); 4.x-only pragmas are ignored by 3.4.
// The key is handed over raw (a SHA-256 of the program key), so no slow key derivation runs.
constexpr const char* kCipherSettings = "PRAGMA cipher_page_size = 4096;"
                                        "PRAGMA kdf_iter = 64000;"
                                        "PRAGMA cipher_hmac_algorithm = HMAC_SHA1;"
                                        "PRAGMA cipher_kdf_algorithm = PBKDF2_HMAC_SHA1;";

void KeyHandle(sqlite3* db, const std::string& key) {
    Exec(db, RawKeyPragma(key));
    Exec(db, kCipherSettings);
    // New salts and page IVs come from the cipher's own generator. Built with LibTomCrypt (the
    // Windows build) it is seeded only from SQLite's time-and-process source, so bytes of the
    // system's generator are added, on every platform alike.
    if (sodium_init() < 0) throw DbError("the system's random generator cannot be read");
    std::array<std::uint8_t, 32> fresh{};
    randombytes_buf(fresh.data(), fresh.size());
    Exec(db, "PRAGMA cipher_add_random = \"x'" + ToHex(fresh) + "'\";");
}

} // namespace

std::string RawKeyPragma(const std::string& key) {
    return "PRAGMA key = \"x'" + ToHex(Sha256(BytesOf(key))) + "'\";";
}

std::string QuoteIdentifier(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        q += c;
        if (c == '"') q += '"';
    }
    return q + "\"";
}

// ---- DbValue ----

std::string DbValue::Text() const {
    if (const auto* s = std::get_if<std::string>(&m_v)) return *s;
    if (const auto* i = std::get_if<std::int64_t>(&m_v)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&m_v)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", *d);
        return buf;
    }
    return {};
}

double DbValue::Number() const {
    if (const auto* i = std::get_if<std::int64_t>(&m_v)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&m_v)) return *d;
    const std::string s = Text();
    // Leading number only: blanks, sign, digits, one point, exponent. Anything else ends it.
    std::size_t p = 0;
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t'))
        ++p;
    const std::size_t start = p;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    bool digits = false;
    while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p])))
        ++p, digits = true;
    if (p < s.size() && s[p] == '.') {
        ++p;
        while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p])))
            ++p, digits = true;
    }
    if (!digits) return 0.0;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        std::size_t q = p + 1;
        if (q < s.size() && (s[q] == '+' || s[q] == '-')) ++q;
        if (q < s.size() && std::isdigit(static_cast<unsigned char>(s[q]))) {
            while (q < s.size() && std::isdigit(static_cast<unsigned char>(s[q])))
                ++q;
            p = q;
        }
    }
    return std::strtod(s.substr(start, p - start).c_str(), nullptr);
}

std::int64_t DbValue::Int64() const {
    if (const auto* i = std::get_if<std::int64_t>(&m_v)) return *i;
    throw DbError("not a whole number: " + Text());
}

std::int32_t DbValue::ToInt32() const {
    const double r = std::nearbyint(Number());
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        throw DbError("value out of range: " + Text());
    return static_cast<std::int32_t>(r);
}

std::int16_t DbValue::ToInt16() const {
    const double r = std::nearbyint(Number());
    if (!(r >= std::numeric_limits<std::int16_t>::min() && r <= std::numeric_limits<std::int16_t>::max()))
        throw DbError("value out of range: " + Text());
    return static_cast<std::int16_t>(r);
}

// ---- DbFields / DbRecordset ----

const DbValue& DbFields::Item(int column) const {
    if (m_rs->Eof()) throw DbError("no current row");
    return m_rs->ValueAt(m_rs->m_current, column);
}

const DbValue& DbFields::Item(const std::string& name) const {
    for (int c = 0; c < m_rs->ColumnCount(); ++c)
        if (sqlite3_stricmp(m_rs->m_columns[static_cast<std::size_t>(c)].c_str(), name.c_str()) == 0) return Item(c);
    throw DbError("no such column: " + name);
}

int DbFields::Count() const {
    return m_rs->ColumnCount();
}

const std::string& DbRecordset::ColumnName(int column) const {
    if (column < 0 || column >= ColumnCount()) throw DbError("no such column: " + std::to_string(column));
    return m_columns[static_cast<std::size_t>(column)];
}

const DbValue& DbRecordset::ValueAt(int row, int column) const {
    if (row < 0 || row >= RecordCount()) throw DbError("no such row: " + std::to_string(row));
    if (column < 0 || column >= ColumnCount()) throw DbError("no such column: " + std::to_string(column));
    return m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

// ---- DbCommand ----

struct DbCommand::Impl {
    std::shared_ptr<ConnectionHandle> conn; // keeps the handle alive as long as the statement
    StmtPtr stmt;
};

DbCommand::DbCommand(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
DbCommand::DbCommand(DbCommand&&) noexcept = default;
DbCommand& DbCommand::operator=(DbCommand&&) noexcept = default;
DbCommand::~DbCommand() {
    // The statement must go before the connection it belongs to.
    if (m_impl) m_impl->stmt.reset();
}

void DbCommand::SetText(int n, const std::string& text) {
    if (sqlite3_bind_text(m_impl->stmt.get(), n, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        Throw(m_impl->conn->db, "cannot bind parameter " + std::to_string(n));
}

void DbCommand::ExecuteCommand() {
    sqlite3_stmt* s = m_impl->stmt.get();
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    }
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) Throw(m_impl->conn->db, "command failed");
}

// ---- DbConnection ----

DbConnection::DbConnection() = default;
DbConnection::~DbConnection() = default;

bool DbConnection::OpenDatabase(const std::string& path, const std::string& key, bool /*flag*/) {
    m_handle.reset();
    m_path.clear();
    std::error_code ec;
    // An empty file would open as a blank database under any key; it is not ours.
    const std::filesystem::path file = PathFromUtf8(path);
    if (!std::filesystem::is_regular_file(file, ec) || std::filesystem::file_size(file, ec) == 0 || ec) return false;

    auto handle = std::make_shared<ConnectionHandle>();
    const int rc = sqlite3_open_v2(path.c_str(), &handle->db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) return false;
    try {
        KeyHandle(handle->db, key);
        // The first read proves the key: a wrong key or a plain file fails here.
        Exec(handle->db, "SELECT count(*) FROM sqlite_master;");
        // Room for the whole search index: a search that matches nothing walks all of it, and
        // every page that falls out of the cache has to be decrypted again on the next keystroke.
        Exec(handle->db, "PRAGMA cache_size = -16384;");
    } catch (const DbError&) {
        return false;
    }
    m_handle = std::move(handle);
    m_path = path;
    return true;
}

void DbConnection::Close() {
    m_handle.reset();
    m_path.clear();
}

bool DbConnection::IsOpen() const {
    return m_handle != nullptr;
}

DbRecordset DbConnection::OpenRecordset(const std::string& sql, bool /*flag*/) const {
    return OpenRecordset(sql, std::vector<DbParam>{});
}

DbRecordset DbConnection::OpenRecordset(const std::string& sql, const std::vector<DbParam>& params) const {
    sqlite3* db = m_handle ? m_handle->db : nullptr;
    StmtPtr stmt;
    if (m_handle && !params.empty()) {
        const std::lock_guard lock(m_handle->cacheMutex);
        if (auto it = m_handle->cache.find(sql); it != m_handle->cache.end()) {
            stmt = std::move(it->second);
            m_handle->cache.erase(it);
        }
    }
    if (!stmt) stmt = Prepare(db, sql);
    // Back into the cache, reset and unbound, however the query ends.
    struct Return {
        ConnectionHandle* handle;
        const std::string& sql;
        StmtPtr& stmt;
        bool keep;
        ~Return() {
            if (!keep || !handle || !stmt) return;
            sqlite3_reset(stmt.get());
            sqlite3_clear_bindings(stmt.get());
            const std::lock_guard lock(handle->cacheMutex);
            if (handle->cache.size() < kStatementCacheSize) handle->cache.emplace(sql, std::move(stmt));
        }
    } giveBack{m_handle.get(), sql, stmt, !params.empty()};
    for (std::size_t i = 0; i < params.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        const int rc =
            std::holds_alternative<std::int64_t>(params[i])
                ? sqlite3_bind_int64(stmt.get(), n, std::get<std::int64_t>(params[i]))
                : sqlite3_bind_text(stmt.get(), n, std::get<std::string>(params[i]).data(),
                                    static_cast<int>(std::get<std::string>(params[i]).size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK) Throw(db, "cannot bind a value");
    }
    DbRecordset rs;
    const int n = sqlite3_column_count(stmt.get());
    for (int c = 0; c < n; ++c) {
        const char* name = sqlite3_column_name(stmt.get(), c);
        rs.m_columns.emplace_back(name != nullptr ? name : "");
    }
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        std::vector<DbValue> row;
        row.reserve(static_cast<std::size_t>(n));
        for (int c = 0; c < n; ++c)
            row.push_back(ColumnValue(stmt.get(), c));
        rs.m_rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) Throw(db, "query failed");
    return rs;
}

namespace {

// SQLite calls this every few thousand virtual-machine steps; non-zero interrupts the statement.
int WatchTheClock(void* user) {
    auto* h = static_cast<ConnectionHandle*>(user);
    if (h->stop != nullptr && h->stop->load(std::memory_order_relaxed)) return 1;
    if (std::chrono::steady_clock::now() < h->deadline) return 0;
    h->timeRanOut = true;
    return 1;
}

} // namespace

void DbConnection::LimitTime(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>* stop) const {
    if (!m_handle) throw DbError("the database connection is not open");
    m_handle->deadline = deadline;
    m_handle->stop = stop;
    m_handle->timeRanOut = false;
    sqlite3_progress_handler(m_handle->db, 1000, &WatchTheClock, m_handle.get());
}

void DbConnection::ClearLimit() const {
    if (!m_handle) return;
    sqlite3_progress_handler(m_handle->db, 0, nullptr, nullptr);
    m_handle->stop = nullptr;
}

bool DbConnection::TimeRanOut() const {
    return m_handle && m_handle->timeRanOut;
}

DbCommand DbConnection::CreateCommand(const std::string& sql) const {
    sqlite3* db = m_handle ? m_handle->db : nullptr;
    auto impl = std::make_unique<DbCommand::Impl>();
    impl->conn = m_handle;
    impl->stmt = Prepare(db, sql);
    return DbCommand(std::move(impl));
}

void DbConnection::ExecuteSql(const std::string& sql) const {
    if (!m_handle) throw DbError("the database connection is not open");
    Exec(m_handle->db, sql);
}

namespace {

bool StartsWithNoCase(const char* text, std::string_view prefix) {
    return text != nullptr && sqlite3_strnicmp(text, prefix.data(), static_cast<int>(prefix.size())) == 0;
}

// Core scalar functions a code database's INSERT statements may use. Everything else (the
// cipher's own functions, extension modules such as rtree's, random or formatting functions that
// can allocate without bound) is refused.
bool AllowedFunction(const char* name) {
    static constexpr std::string_view kAllowed[] = {"abs",       "char",   "coalesce", "hex",   "ifnull",  "iif",
                                                    "instr",     "length", "lower",    "ltrim", "max",     "min",
                                                    "nullif",    "quote",  "replace",  "round", "rtrim",   "substr",
                                                    "substring", "trim",   "typeof",   "unhex", "unicode", "upper"};
    if (name == nullptr) return false;
    for (const auto f : kAllowed)
        if (sqlite3_stricmp(name, std::string(f).c_str()) == 0) return true;
    return false;
}

bool IsOneOf(const char* name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (name != nullptr && sqlite3_stricmp(name, n) == 0) return true;
    return false;
}

bool IsStatisticsTable(const char* name) {
    return StartsWithNoCase(name, "sqlite_stat");
}

const char* ActionName(int action) {
    switch (action) {
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_TEMP_VIEW:
        return "CREATE VIEW";
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_TEMP_TRIGGER:
        return "CREATE TRIGGER";
    case SQLITE_CREATE_VTABLE:
        return "CREATE VIRTUAL TABLE";
    case SQLITE_SELECT:
        return "SELECT";
    case SQLITE_RECURSIVE:
        return "WITH RECURSIVE";
    case SQLITE_UPDATE:
        return "UPDATE";
    case SQLITE_DELETE:
        return "DELETE";
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_VIEW:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_VTABLE:
        return "DROP";
    case SQLITE_ALTER_TABLE:
        return "ALTER TABLE";
    case SQLITE_SAVEPOINT:
        return "SAVEPOINT";
    default:
        return "this statement";
    }
}

// Decides every action of a confined text against what building a code database needs: CREATE
// TABLE and CREATE INDEX, INSERT with values, a transaction, the statistics an export carries,
// and the core scalar functions. The first refusal's reason is kept for the message, because
// SQLite itself only says "not authorized".
int ConfineToMain(void* user, int action, const char* a, const char* b, const char* database, const char*) {
    auto* why = static_cast<std::string*>(user);
    const auto deny = [&](std::string reason) {
        if (why->empty()) *why = std::move(reason);
        return SQLITE_DENY;
    };
    switch (action) {
    case SQLITE_ATTACH:
        return deny("ATTACH is not allowed");
    case SQLITE_DETACH:
        return deny("DETACH is not allowed");
    case SQLITE_CREATE_TEMP_TABLE:
    case SQLITE_CREATE_TEMP_INDEX:
        return deny("the database \"temp\" may not be used, only the one being written");
    case SQLITE_PRAGMA:
        // An export turns foreign keys off first; no other setting belongs in a code database's text.
        if (sqlite3_stricmp(a, "foreign_keys") == 0 && b != nullptr) break;
        return deny(std::string("PRAGMA ") + (a != nullptr ? a : "") + " is not allowed");
    case SQLITE_FUNCTION:
        if (!AllowedFunction(b))
            return deny(std::string("the function ") + (b != nullptr ? b : "") + " is not allowed");
        return SQLITE_OK;
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_INDEX:
    case SQLITE_INSERT:
    case SQLITE_READ:
    case SQLITE_TRANSACTION:
    case SQLITE_ANALYZE:
    case SQLITE_REINDEX:
        break;
    case SQLITE_UPDATE:
        // SQLite records a new table or index in its catalogue; ANALYZE writes statistics.
        if (IsOneOf(a, {"sqlite_master", "sqlite_schema", "sqlite_sequence"}) || IsStatisticsTable(a)) break;
        return deny("UPDATE is not allowed");
    case SQLITE_DELETE:
        // An export rewrites the AUTOINCREMENT counters and statistics it carries.
        if (IsOneOf(a, {"sqlite_sequence"}) || IsStatisticsTable(a)) break;
        return deny("DELETE is not allowed");
    default:
        return deny(std::string(ActionName(action)) + " is not allowed");
    }
    // Only the database being written may be named: temporary objects vanish at the end and
    // would silently lose what the text put into them.
    if (database != nullptr && sqlite3_stricmp(database, "main") != 0)
        return deny(std::string("the database \"") + database + "\" may not be used, only the one being written");
    return SQLITE_OK;
}

} // namespace

void DbConnection::ExecuteConfinedSql(const std::string& sql) const {
    if (!m_handle) throw DbError("the database connection is not open");
    if (sql.find('\0') != std::string::npos) throw DbError("the SQL text contains a NUL byte");
    sqlite3* db = m_handle->db;
    std::string why;
    sqlite3_set_authorizer(db, &ConfineToMain, &why);
    // No value of a code database comes near this; a text building huge ones is cut short.
    constexpr int kMaxValueBytes = 16 * 1024 * 1024;
    struct Restore {
        sqlite3* db;
        int length;
        ~Restore() {
            sqlite3_set_authorizer(db, nullptr, nullptr);
            sqlite3_limit(db, SQLITE_LIMIT_LENGTH, length);
        }
    } restore{db, sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxValueBytes)};
    LimitTime(std::chrono::steady_clock::now() + kImportTimeLimit);
    struct Unlimit {
        const DbConnection& conn;
        ~Unlimit() { conn.ClearLimit(); }
    } unlimit{*this};
    try {
        // One statement at a time, so a table or index that would make SQLite evaluate an
        // expression for every row (CHECK, a generated column, an expression index) is refused
        // before it runs, not after the rows have been inserted through it.
        const char* next = sql.c_str();
        while (*next != '\0') {
            sqlite3_stmt* raw = nullptr;
            const char* tail = nullptr;
            if (sqlite3_prepare_v2(db, next, -1, &raw, &tail) != SQLITE_OK) Throw(db, "cannot run the SQL text");
            StmtPtr stmt(raw);
            next = tail;
            if (!stmt) continue; // blanks or a comment
            if (const auto clause = ForbiddenClause(sqlite3_sql(stmt.get())))
                throw DbError(*clause + " is not allowed in a code database");
            int rc;
            while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE) {
                if (TimeRanOut())
                    throw DbError("the SQL text did not finish within " + std::to_string(kImportTimeLimit.count()) +
                                  " s");
                Throw(db, "the SQL text failed");
            }
        }
    } catch (const DbError& e) {
        if (why.empty()) throw;
        throw DbError(why + " (" + e.what() + ")");
    }
}

void DbConnection::CreateDatabase(const std::string& path, const std::string& key) {
    std::error_code ec;
    if (std::filesystem::exists(PathFromUtf8(path), ec)) throw DbError("file exists: " + path);
    ConnectionHandle h;
    if (sqlite3_open_v2(path.c_str(), &h.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        Throw(h.db, "cannot create " + path);
    KeyHandle(h.db, key);
    // Writing the schema cookie makes the file non-empty and fixes its salt and settings.
    Exec(h.db, "PRAGMA user_version = 0; CREATE TABLE _init(x); DROP TABLE _init;");
}

} // namespace tolbe::db
