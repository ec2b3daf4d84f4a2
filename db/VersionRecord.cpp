#include "db/VersionRecord.h"

#include <charconv>
#include <cmath>
#include <ctime>

namespace tolbe::db {
namespace {

// The recorded version must be a whole number; an empty or non-numeric cell is a broken
// record, not version 0.
std::int16_t WholeVersion(const DbValue& v) {
    std::string t = v.Text();
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.erase(0, 1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.pop_back();
    if (!t.empty() && t.front() == '+') t.erase(0, 1);
    double d = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
    if (v.IsNull() || t.empty() || ec != std::errc() || end != t.data() + t.size() || d != std::floor(d))
        throw DbError("the database version is not a whole number: \"" + v.Text() + "\"");
    return v.ToInt16();
}

} // namespace

std::string VersionTableStatement(const std::string& date) {
    static constexpr const char* kCrLf = "\r\n";
    std::string sql;
    for (const std::string& line :
         {std::string("CREATE TABLE M_Version"), std::string("-- Maker: Tolbe remote control programmer"),
          std::string("-- Author: the Tolbe code database team"), "-- Created date: " + date, std::string("( "),
          std::string("       VersionID INTEGER PRIMARY KEY AUTOINCREMENT,"), std::string("       Version INTEGER,"),
          std::string("       Date TEXT,"), std::string("       Notes TEXT COLLATE NOCASE"), std::string(");")}) {
        sql += line;
        sql += kCrLf;
    }
    sql += kCrLf;
    return sql;
}

std::string TodayShortDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, "%x", &local);
    return std::string(buf, n);
}

std::int16_t Get_Database_Ver(DbConnection* DBConn, const std::string& DBPath, const std::string& DBKey,
                              const std::string& today) {
    if (DBConn == nullptr) return 0;
    if (!DBConn->OpenDatabase(DBPath, DBKey, true)) return 0;

    const DbRecordset tables =
        DBConn->OpenRecordset("select count(*)  from sqlite_master where type='table' and name = 'M_Version'", false);
    if (tables.Fields().Item(0).Number() > 0) {
        const DbRecordset rs = DBConn->OpenRecordset("Select * From M_Version", false);
        return WholeVersion(rs.Fields().Item(1));
    }

    DBConn->ExecuteSql(VersionTableStatement(today));
    DbCommand cmd = DBConn->CreateCommand("Insert Into M_Version Values(?,?,?,?)");
    cmd.SetText(2, "1");
    cmd.SetText(3, today);
    cmd.ExecuteCommand();
    return 1;
}

std::int16_t Get_Database_Ver(DbConnection* DBConn, const std::string& DBPath, const std::string& DBKey) {
    return Get_Database_Ver(DBConn, DBPath, DBKey, TodayShortDate());
}

std::optional<std::int16_t> RecordedVersion(const DbConnection& conn) {
    const DbRecordset tables =
        conn.OpenRecordset("select count(*) from sqlite_master where type='table' and name = 'M_Version'", false);
    if (tables.Fields().Item(0).Number() <= 0) return std::nullopt;
    const DbRecordset rs = conn.OpenRecordset("Select * From M_Version", false);
    if (rs.RecordCount() < 1) return std::nullopt;
    return WholeVersion(rs.Fields().Item(1));
}

std::optional<std::int16_t> ReadRecordedVersion(const std::string& file, const std::string& key) {
    DbConnection conn;
    if (!conn.OpenDatabase(file, key, true)) return std::nullopt;
    try {
        return RecordedVersion(conn);
    } catch (const DbError&) {
        return std::nullopt;
    }
}

} // namespace tolbe::db
