#include "db/Database.h"
#include "db/DatabaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

using namespace tolbe;
using namespace tolbe::db;
using tolbe::test::TempDir;

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string key = BuildDatabaseKey();
    std::filesystem::path file = dir / "codes.db3";
    void SetUp() override { test::MakeKeyedDatabase(file, test::MiniDatabaseSql(10)); }
};

} // namespace

TEST(DatabaseKey, Has23CharactersAndIsStable) {
    const std::string k = BuildDatabaseKey();
    EXPECT_EQ(k.size(), 23u);
    EXPECT_EQ(k, BuildDatabaseKey());
}

TEST_F(DatabaseTest, OpensWithItsKeyAndReadsRows) {
    DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase(file.string(), key, true));
    DbRecordset rs = conn.OpenRecordset("Select * From M_DeviceTypes", false);
    EXPECT_EQ(rs.RecordCount(), 10);
    EXPECT_EQ(rs.ValueAt(7, 1).Text(), "TV");
    EXPECT_EQ(rs.ColumnName(1), "DeviceTypeName");
    // ValueAt does not move the current row.
    EXPECT_EQ(rs.Fields().Item(1).Text(), "DVD");
    rs.MoveNext();
    EXPECT_EQ(rs.Fields().Item("devicetypename").Text(), "SAT");
    rs.MoveFirst();
    EXPECT_EQ(rs.Fields().Item(0).ToInt32(), 1);
    EXPECT_THROW(rs.ValueAt(10, 0), DbError);
    EXPECT_THROW(rs.ValueAt(0, 2), DbError);
}

TEST_F(DatabaseTest, OpeningAgainReopensTheSameFile) {
    DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase(file.string(), key, true));
    ASSERT_TRUE(conn.OpenDatabase(file.string(), key, true));
    EXPECT_EQ(conn.OpenRecordset("select count(*) from M_SetOfCodes").ValueAt(0, 0).ToInt32(), 4);
}

TEST_F(DatabaseTest, WrongKeyPlainCorruptTruncatedAndMissingFilesDoNotOpen) {
    DbConnection conn;
    EXPECT_FALSE(conn.OpenDatabase(file.string(), key + "x", true));
    EXPECT_FALSE(conn.IsOpen());
    EXPECT_FALSE(conn.OpenDatabase((dir / "missing.db3").string(), key, true));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.db3")) << "opening must not create a file";

    // A plain SQLite file is not readable as a keyed one.
    const auto plain = dir / "plain.db3";
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(plain.string().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "create table t(x); insert into t values(1);", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    EXPECT_FALSE(conn.OpenDatabase(plain.string(), key, true));

    const auto bytes = test::ReadFile(file);
    test::WriteFile(dir / "truncated.db3", bytes.substr(0, 100));
    EXPECT_FALSE(conn.OpenDatabase((dir / "truncated.db3").string(), key, true));
    std::string corrupt = bytes;
    for (std::size_t i = 0; i < 64; ++i)
        corrupt[i] = static_cast<char>(i * 7);
    test::WriteFile(dir / "corrupt.db3", corrupt);
    EXPECT_FALSE(conn.OpenDatabase((dir / "corrupt.db3").string(), key, true));
    test::WriteFile(dir / "empty.db3", "");
    EXPECT_FALSE(conn.OpenDatabase((dir / "empty.db3").string(), key, true));
}

TEST_F(DatabaseTest, TheKeyReallyEncryptsTheFile) {
    const auto bytes = test::ReadFile(file);
    EXPECT_EQ(bytes.find("SQLite format 3"), std::string::npos);
    EXPECT_EQ(bytes.find("M_DeviceTypes"), std::string::npos);
    EXPECT_EQ(bytes.find("Samsung"), std::string::npos);
    // Without the key the file is not a database SQLite can read.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    EXPECT_NE(sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

TEST_F(DatabaseTest, FailingStatementsThrowWithSqliteMessage) {
    DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase(file.string(), key, true));
    try {
        conn.OpenRecordset("Select * From M_Missing", false);
        FAIL() << "no error";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("no such table: M_Missing"), std::string::npos) << e.what();
    }
    EXPECT_THROW(conn.OpenRecordset("Select * From M_DeviceTypes where DeviceTypeName like 'it's'"), DbError);
    DbConnection closed;
    EXPECT_THROW(closed.OpenRecordset("select 1"), DbError);
    EXPECT_THROW(closed.ExecuteSql("select 1"), DbError);
    EXPECT_THROW(closed.CreateCommand("select 1"), DbError);
}

TEST_F(DatabaseTest, CommandBindsTextAndLeavesTheRestNull) {
    DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase(file.string(), key, true));
    conn.ExecuteSql("CREATE TABLE V(Id INTEGER PRIMARY KEY AUTOINCREMENT, Version INTEGER, Date TEXT, Notes TEXT)");
    {
        DbCommand cmd = conn.CreateCommand("Insert Into V Values(?,?,?,?)");
        cmd.SetText(2, "1");
        cmd.SetText(3, "2026-12-08");
        cmd.ExecuteCommand();
    }
    DbRecordset rs = conn.OpenRecordset("select Id, Version, typeof(Version), Date, Notes from V");
    ASSERT_EQ(rs.RecordCount(), 1);
    EXPECT_EQ(rs.ValueAt(0, 0).ToInt32(), 1);
    EXPECT_EQ(rs.ValueAt(0, 1), DbValue(std::int64_t{1}));
    EXPECT_EQ(rs.ValueAt(0, 2).Text(), "integer");
    EXPECT_EQ(rs.ValueAt(0, 3).Text(), "2026-12-08");
    EXPECT_TRUE(rs.ValueAt(0, 4).IsNull());
    EXPECT_THROW(conn.CreateCommand("Insert Into Nowhere Values(?)"), DbError);
}

TEST(DbValueTest, ConvertsTheWayCallersReadNumbers) {
    EXPECT_EQ(DbValue(std::string("  42abc")).ToInt32(), 42);
    EXPECT_EQ(DbValue(std::string("abc")).ToInt32(), 0);
    EXPECT_EQ(DbValue(std::string("2.5")).ToInt32(), 2); // halves go to even
    EXPECT_EQ(DbValue(std::string("3.5")).ToInt32(), 4);
    EXPECT_EQ(DbValue(std::string("-7")).ToInt16(), -7);
    EXPECT_THROW(DbValue(std::string("40000")).ToInt16(), DbError);
    EXPECT_EQ(DbValue().Text(), "");
    EXPECT_EQ(DbValue(std::int64_t{12}).Text(), "12");
}
