#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

// Access to the keyed code database. Every failing operation throws DbError carrying
// SQLite's own message; OpenDatabase alone answers with a Boolean.
namespace tolbe::db {

class DbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One cell: NULL, a whole number, a real number, a text or a blob.
class DbValue {
public:
    DbValue() = default;
    explicit DbValue(std::int64_t v) : m_v(v) {}
    explicit DbValue(double v) : m_v(v) {}
    explicit DbValue(std::string v) : m_v(std::move(v)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(m_v); }
    // The value as text: NULL gives "", numbers their decimal form.
    std::string Text() const;
    // The leading number of the value, as a text-to-number conversion reads it: 0 when none.
    double Number() const;
    // Number() rounded half to even into a 32-bit integer; throws DbError when out of range.
    std::int32_t ToInt32() const;
    // Number() rounded half to even into a 16-bit integer; throws DbError when out of range.
    std::int16_t ToInt16() const;
    // The value stored as a whole number, exactly (no trip through a double); throws DbError for
    // any other kind of value.
    std::int64_t Int64() const;

    bool operator==(const DbValue&) const = default;

private:
    std::variant<std::monostate, std::int64_t, double, std::string> m_v;
};

class DbRecordset;

// The fields of a recordset's current row.
class DbFields {
public:
    // Column number from 0; throws DbError when it does not exist or there is no current row.
    const DbValue& Item(int column) const;
    // Column by name, without regard to letter case.
    const DbValue& Item(const std::string& name) const;
    int Count() const;

private:
    friend class DbRecordset;
    explicit DbFields(const DbRecordset& rs) : m_rs(&rs) {}
    const DbRecordset* m_rs;
};

// Every row of one query, read at once, so RecordCount is exact immediately.
class DbRecordset {
public:
    DbRecordset() = default;

    std::int32_t RecordCount() const { return static_cast<std::int32_t>(m_rows.size()); }
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    const std::string& ColumnName(int column) const;

    void MoveFirst() { m_current = 0; }
    void MoveNext() { ++m_current; }
    bool Eof() const { return m_current < 0 || m_current >= RecordCount(); }
    int CurrentRow() const { return m_current; }

    DbFields Fields() const { return DbFields(*this); }
    // Row and column from 0; the current row does not move. Throws DbError when out of range.
    const DbValue& ValueAt(int row, int column) const;

private:
    friend class DbConnection;
    friend class DbFields;
    std::vector<std::string> m_columns;
    std::vector<std::vector<DbValue>> m_rows;
    int m_current = 0;
};

// A value bound to a statement's ? mark.
using DbParam = std::variant<std::int64_t, std::string>;

struct ConnectionHandle; // owns the sqlite3 handle; shared with the commands made from it

// A prepared statement with ? parameters; parameters not bound stay NULL.
class DbCommand {
public:
    DbCommand(DbCommand&&) noexcept;
    DbCommand& operator=(DbCommand&&) noexcept;
    ~DbCommand();

    // Binds text to parameter n, counting the ? marks from 1.
    void SetText(int n, const std::string& text);
    // Runs the statement once; the bindings stay for a next run.
    void ExecuteCommand();

private:
    friend class DbConnection;
    struct Impl;
    explicit DbCommand(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // Opens an existing database file with its key. True when the file opens and reads
    // with that key; false for a missing, plain, corrupt or foreign-key file. Calling it
    // again closes the previous file first. `flag` is kept for callers' symmetry.
    bool OpenDatabase(const std::string& path, const std::string& key, bool flag = true);
    bool IsOpen() const;
    void Close();
    const std::string& Path() const { return m_path; }

    // Runs a query and returns all its rows in the statement's order.
    DbRecordset OpenRecordset(const std::string& sql, bool flag = false) const;
    // The same with the ? marks bound to `params` in order, so no value is ever spliced into SQL text.
    DbRecordset OpenRecordset(const std::string& sql, const std::vector<DbParam>& params) const;
    DbCommand CreateCommand(const std::string& sql) const;
    // Runs statements that return no rows.
    void ExecuteSql(const std::string& sql) const;
    // Runs SQL text that came from outside the program (a file to import) confined to this
    // database: ATTACH, DETACH, anything naming another database (temp included), key and cipher
    // pragmas and sqlcipher_export are denied, so the text can neither reach other files nor leave
    // this one unreadable with its key. Throws DbError naming the refused statement or SQLite's error.
    // Tables and indexes that make SQLite evaluate expressions per row are refused, and the text must
    // finish within kImportTimeLimit.
    void ExecuteConfinedSql(const std::string& sql) const;
    static constexpr std::chrono::seconds kImportTimeLimit{300};

    // Every statement run from now on is interrupted (DbError) once `deadline` has passed or
    // `*stop` (when given) turns true, until ClearLimit: a check or an import of a file from outside
    // ends in bounded time whatever the file makes SQLite do.
    void LimitTime(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>* stop = nullptr) const;
    void ClearLimit() const;
    // True when the last limited statement was interrupted because the time ran out (not by `stop`).
    bool TimeRanOut() const;

    // Creates a new, empty keyed database file (database maintenance tools, tests).
    // Throws DbError when the file exists or cannot be created.
    static void CreateDatabase(const std::string& path, const std::string& key);

private:
    std::shared_ptr<ConnectionHandle> m_handle;
    std::string m_path;
};

// A name as an SQL identifier in double quotes, quotes inside doubled.
std::string QuoteIdentifier(const std::string& name);

// Keys a freshly opened handle exactly as every file of ours is keyed.
// Exposed for the benchmark and for tools that convert files.
std::string RawKeyPragma(const std::string& key);

} // namespace tolbe::db
