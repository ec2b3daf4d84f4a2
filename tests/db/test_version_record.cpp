#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tolbe;
using namespace tolbe::db;
using tolbe::test::TempDir;

namespace {

class VersionRecordTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string key = BuildDatabaseKey();
    std::filesystem::path file = dir / "codes.db3";
    void SetUp() override { test::MakeKeyedDatabase(file, test::MiniDatabaseSql(10)); }

    DbRecordset Rows(const std::string& sql) {
        DbConnection c;
        EXPECT_TRUE(c.OpenDatabase(file.string(), key));
        return c.OpenRecordset(sql);
    }
};

} // namespace

TEST(VersionTableStatement, IsTheExactTableTextWithCrLfLines) {
    const std::string expected = "CREATE TABLE M_Version\r\n"
                                 "-- Maker: Tolbe remote control programmer\r\n"
                                 "-- Author: the Tolbe code database team\r\n"
                                 "-- Created date: 24.02.2020\r\n"
                                 "( \r\n"
                                 "       VersionID INTEGER PRIMARY KEY AUTOINCREMENT,\r\n"
                                 "       Version INTEGER,\r\n"
                                 "       Date TEXT,\r\n"
                                 "       Notes TEXT COLLATE NOCASE\r\n"
                                 ");\r\n"
                                 "\r\n";
    EXPECT_EQ(VersionTableStatement("24.02.2020"), expected);
}

TEST_F(VersionRecordTest, MissingTableIsCreatedWithOneRowAndAnswersOne) {
    DbConnection conn;
    EXPECT_EQ(Get_Database_Ver(&conn, file.string(), key, "2020/2/24"), 1);
    EXPECT_TRUE(conn.IsOpen()) << "the connection stays open on the database";

    const DbRecordset rs = Rows("Select * From M_Version");
    ASSERT_EQ(rs.RecordCount(), 1);
    EXPECT_EQ(rs.ValueAt(0, 0), DbValue(std::int64_t{1}));
    EXPECT_EQ(rs.ValueAt(0, 1), DbValue(std::int64_t{1})) << "the text \"1\" is stored as a number";
    EXPECT_EQ(rs.ValueAt(0, 2).Text(), "2020/2/24");
    EXPECT_TRUE(rs.ValueAt(0, 3).IsNull());

    const DbRecordset def = Rows("select sql from sqlite_master where name = 'M_Version'");
    // The stored definition keeps the comment lines (SQLite drops only the final CR LF pair).
    EXPECT_NE(def.ValueAt(0, 0).Text().find("-- Created date: 2020/2/24\r\n( \r\n"), std::string::npos);
}

TEST_F(VersionRecordTest, SecondCallReadsWithoutWriting) {
    DbConnection conn;
    ASSERT_EQ(Get_Database_Ver(&conn, file.string(), key, "01.01.2020"), 1);
    EXPECT_EQ(Get_Database_Ver(&conn, file.string(), key, "02.01.2020"), 1);
    const DbRecordset rs = Rows("Select * From M_Version");
    ASSERT_EQ(rs.RecordCount(), 1);
    EXPECT_EQ(rs.ValueAt(0, 2).Text(), "01.01.2020");
}

TEST_F(VersionRecordTest, FirstOfSeveralRowsGivesTheVersion) {
    {
        DbConnection c;
        ASSERT_TRUE(c.OpenDatabase(file.string(), key));
        c.ExecuteSql(VersionTableStatement("x"));
        c.ExecuteSql("insert into M_Version values(5, 7, 'a', null); insert into M_Version values(2, 9, 'b', null);"
                     "insert into M_Version values(9, 12, 'c', null);");
    }
    DbConnection conn;
    // Stored order follows the row key, so the row with VersionID 2 comes first.
    EXPECT_EQ(Get_Database_Ver(&conn, file.string(), key, "today"), 9);
    EXPECT_EQ(Rows("Select * From M_Version").RecordCount(), 3);
}

TEST_F(VersionRecordTest, NoConnectionOrUnopenableFileAnswersZeroAndWritesNothing) {
    EXPECT_EQ(Get_Database_Ver(nullptr, file.string(), key, "today"), 0);
    DbConnection conn;
    EXPECT_EQ(Get_Database_Ver(&conn, file.string(), key + "x", "today"), 0);
    EXPECT_EQ(Get_Database_Ver(&conn, (dir / "missing.db3").string(), key, "today"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.db3"));
    EXPECT_EQ(Rows("select count(*) from sqlite_master where name = 'M_Version'").ValueAt(0, 0).ToInt32(), 0);
}

TEST_F(VersionRecordTest, BrokenVersionValuesAreErrors) {
    {
        DbConnection c;
        ASSERT_TRUE(c.OpenDatabase(file.string(), key));
        c.ExecuteSql(VersionTableStatement("x"));
    }
    DbConnection conn;
    EXPECT_THROW(Get_Database_Ver(&conn, file.string(), key, "t"), DbError) << "empty table";
    for (const char* bad : {"'abc'", "NULL", "2.5", "40000"}) {
        {
            DbConnection c;
            ASSERT_TRUE(c.OpenDatabase(file.string(), key));
            c.ExecuteSql(std::string("delete from M_Version; insert into M_Version values(1, ") + bad +
                         ", 'd', null);");
        }
        EXPECT_THROW(Get_Database_Ver(&conn, file.string(), key, "t"), DbError) << bad;
    }
    {
        DbConnection c;
        ASSERT_TRUE(c.OpenDatabase(file.string(), key));
        c.ExecuteSql("delete from M_Version; insert into M_Version values(1, ' 14 ', 'd', null);");
    }
    EXPECT_EQ(Get_Database_Ver(&conn, file.string(), key, "t"), 14);
}
