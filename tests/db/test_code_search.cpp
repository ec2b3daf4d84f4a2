#include "db/CodeSearch.h"
#include "db/DatabaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tolbe;
using namespace tolbe::db;

namespace {

std::string Schema() {
    return test::ReadFile(std::filesystem::path(TOLBE_SOURCE_DIR) / "data" / "schema.sql");
}

std::string SetOfCodes(int id, const std::string& device, const std::string& brand, const std::string& model,
                       const std::string& date, int valid = 1) {
    return "INSERT INTO M_SetOfCodes VALUES(" + std::to_string(id) + "," + std::to_string(100 + id) + ",'" + device +
           "','" + brand + "','" + model + "','" + date + "'," + std::to_string(valid) + ",'DB');\n";
}

class CodeSearchTest : public ::testing::Test {
protected:
    test::TempDir dir;
    DbConnection conn;

    void Open(const std::string& rows) {
        const auto file = dir / "codes.db3";
        test::MakeKeyedDatabase(file, Schema() + rows);
        ASSERT_TRUE(conn.OpenDatabase(file.string(), BuildDatabaseKey(), true));
    }
    std::vector<std::string> Models(const std::string& device, const std::string& brand, const std::string& model) {
        const DbRecordset rs = SearchSetOfCodes(conn, device, brand, model, "Device", "Brand", "Model");
        std::vector<std::string> out;
        for (int r = 0; r < rs.RecordCount(); ++r)
            out.push_back(rs.ValueAt(r, 4).Text());
        return out;
    }
};

using Names = std::vector<std::string>;

} // namespace

TEST(GetLikeStr, MakesKeyWordsMatchAnywhere) {
    EXPECT_EQ(GetLikeStr("sam sung"), "'%sam%sung%'");
    EXPECT_EQ(GetLikeStr("50%"), "'%50\\%%'");
    EXPECT_EQ(GetLikeStr("a\\b"), "'%a\\\\b%'");
    EXPECT_EQ(GetLikeStr("a\\%"), "'%a\\\\\\%%'");
    EXPECT_EQ(GetLikeStr("D'Accord"), "'%D''Accord%'");
    EXPECT_EQ(GetLikeStr("TX_NR 5"), "'%TX\\_NR%5%'");
    EXPECT_EQ(GetLikeStr(""), "'%%'");
}

TEST(BuildSearchStatement, EnglishExample) {
    EXPECT_EQ(BuildSearchStatement("TV", "sam sung", "", "Device", "Brand", "Model"),
              "Select SourceID,SetOfCodeID,DeviceName `Device`,BrandName `Brand`,ModelName `Model`,CodeDate "
              "From M_SetOfCodes where DeviceName like 'TV%' and BrandName like '%sam%sung%' ESCAPE '\\' "
              "and IsValid=1 order by CodeDate DESC LIMIT 0,300");
}

TEST(BuildSearchStatement, OtherAliasesBothKeysAndEmptyDevice) {
    EXPECT_EQ(BuildSearchStatement("", "Bang", "50%", "Gerät", "Marke", "Modell"),
              "Select SourceID,SetOfCodeID,DeviceName `Gerät`,BrandName `Marke`,ModelName `Modell`,CodeDate "
              "From M_SetOfCodes where DeviceName like 'DVD%' and BrandName like '%Bang%' ESCAPE '\\' "
              "and ModelName like '%50\\%%' ESCAPE '\\' and IsValid=1 order by CodeDate DESC LIMIT 0,300");
    EXPECT_EQ(BuildSearchStatement("TV", "", "", "Device", "Brand", "Model"),
              "Select SourceID,SetOfCodeID,DeviceName `Device`,BrandName `Brand`,ModelName `Model`,CodeDate "
              "From M_SetOfCodes where DeviceName like 'TV%' and IsValid=1 order by CodeDate DESC LIMIT 0,300");
    EXPECT_NE(BuildSearchStatement("TV'", "", "", "Device", "Brand", "Model").find("like 'TV''%'"), std::string::npos);
}

TEST_F(CodeSearchTest, KeysWithQuotesPercentAndBackslashFindTheirNames) {
    Open(SetOfCodes(1, "AUDIO", "D''Accord", "Sound 50%", "2020-01-01") +
         SetOfCodes(2, "AUDIO", "Daccord", "Sound 500", "2021-01-01") +
         SetOfCodes(3, "AUDIO", "Onkyo", "TX\\NR 5", "2019-01-01") +
         SetOfCodes(5, "AUDIO", "Onkyo", "TXNR 6", "2018-01-01") +
         SetOfCodes(6, "AUDIO", "Onkyo", "TX_NR 7", "2017-01-01") +
         SetOfCodes(4, "TV", "D''Accord", "T1", "2019-01-01"));
    EXPECT_EQ(Models("AUDIO", "d'acc", ""), Names{"Sound 50%"});
    EXPECT_EQ(Models("AUDIO", "", "50%"), Names{"Sound 50%"});
    EXPECT_EQ(Models("AUDIO", "", "50"), (Names{"Sound 500", "Sound 50%"}));
    EXPECT_EQ(Models("AUDIO", "", "x\\n"), Names{"TX\\NR 5"});
    EXPECT_EQ(Models("AUDIO", "onk", "tx\\"), Names{"TX\\NR 5"}) << "a backslash matches only itself";
    EXPECT_EQ(Models("AUDIO'", "", ""), Names{}) << "a quote in the device type does not break the statement";
    // "_" is a character like any other, not "any one character".
    EXPECT_EQ(Models("AUDIO", "", "_"), Names{"TX_NR 7"});
    EXPECT_EQ(Models("AUDIO", "", "x_n"), Names{"TX_NR 7"});
}

TEST_F(CodeSearchTest, ColumnsAreHeadedByTheAliases) {
    Open(SetOfCodes(1, "TV", "Sony", "KDL", "2020-01-01"));
    const DbRecordset rs = SearchSetOfCodes(conn, "TV", "", "", "Gerät", "Marke", "Modell");
    ASSERT_EQ(rs.ColumnCount(), 6);
    const Names expected = {"SourceID", "SetOfCodeID", "Gerät", "Marke", "Modell", "CodeDate"};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(rs.ColumnName(c), expected[static_cast<std::size_t>(c)]);
    EXPECT_EQ(rs.ValueAt(0, 0).ToInt32(), 101);
}

TEST_F(CodeSearchTest, EmptyDeviceSearchesDvd) {
    Open(SetOfCodes(1, "DVD", "Pioneer", "DV-410", "2020-01-01") + SetOfCodes(2, "TV", "Sony", "KDL", "2020-01-01") +
         SetOfCodes(3, "DVD-R", "Sony", "RDR", "2021-01-01"));
    EXPECT_EQ(Models("", "", ""), (Names{"RDR", "DV-410"}));
}

TEST_F(CodeSearchTest, NewestThreeHundredValidCodeSetsOfTheDeviceType) {
    // 600 code sets with distinct dates: even ones TV, odd ones SAT; every tenth invalid.
    Open("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
         "INSERT INTO M_SetOfCodes SELECT i, 1000 + i, CASE WHEN i % 2 = 0 THEN 'TV' ELSE 'SAT' END, 'Brand', "
         "'M' || i, date('2000-01-01', '+' || ((i * 37) % 5000) || ' days'), CASE WHEN i % 10 = 0 THEN 0 ELSE 1 END, "
         "'DB' FROM n;\n");
    const DbRecordset rs = SearchSetOfCodes(conn, "TV", "", "", "Device", "Brand", "Model");
    ASSERT_EQ(rs.RecordCount(), 240) << "all 240 valid TV code sets";
    const DbRecordset all = SearchSetOfCodes(conn, "", "", "", "D", "B", "M");
    EXPECT_EQ(all.RecordCount(), 0);
    conn.ExecuteSql("UPDATE M_SetOfCodes SET DeviceName='TV' WHERE DeviceName='SAT'");
    const DbRecordset many = SearchSetOfCodes(conn, "tv", "", "", "Device", "Brand", "Model");
    ASSERT_EQ(many.RecordCount(), kSearchRowLimit);
    const DbRecordset newest =
        conn.OpenRecordset("Select CodeDate From M_SetOfCodes where IsValid=1 order by CodeDate DESC LIMIT 300");
    for (int r = 0; r < kSearchRowLimit; ++r) {
        EXPECT_EQ(many.ValueAt(r, 5).Text(), newest.ValueAt(r, 0).Text()) << r;
        if (r > 0) {
            EXPECT_GT(many.ValueAt(r - 1, 5).Text(), many.ValueAt(r, 5).Text());
        }
    }
}

TEST_F(CodeSearchTest, ClosedConnectionThrows) {
    DbConnection closed;
    EXPECT_THROW(SearchSetOfCodes(closed, "TV", "", "", "Device", "Brand", "Model"), DbError);
}

TEST_F(CodeSearchTest, OverLongKeyWordsAreCutRatherThanFailingTheSearch) {
    Open(SetOfCodes(1, "TV", "Sony", "KDL", "2020-01-01"));
    // Beyond SQLite's 50,000-byte pattern limit each of these failed as a database error.
    EXPECT_EQ(Models("TV", "Sony" + std::string(60000, ' ') + "x", ""), Names{"KDL"}) << "cut before the x";
    EXPECT_EQ(Models("TV", "", std::string(30000, '%')), Names{});
    EXPECT_EQ(Models(std::string(60000, 'T'), "", ""), Names{});
    // The cut never splits a character: the two-byte letter at the limit goes whole.
    const std::string a(kMaxKeyWordBytes - 1, 'a');
    EXPECT_NE(BuildSearchStatement("TV", a + "\xC3\xA9", "", "D", "B", "M").find("'%" + a + "%'"), std::string::npos);
}
