#include "codec/DownOrder.h"
#include "tests/codec/CodecTestDb.h"

#include <gtest/gtest.h>

using namespace tolbe;
using namespace tolbe::codec;

namespace {

// Key order 5,7,2 of remote model 1 with the keys (RCUModelID, RCUKeyMapID) = (2,40), (5,13),
// (7,3); code sets of several sources.
const std::string kRows = "INSERT INTO M_RCUInfo VALUES(1,1,'Tolbe 4','5,7,2');\n"
                          "INSERT INTO M_RCUInfo VALUES(2,3,'Other','2');\n"
                          "INSERT INTO M_RCUFuncKey VALUES(1,1,2,40,'Vol+');\n"
                          "INSERT INTO M_RCUFuncKey VALUES(2,1,5,13,'Power');\n"
                          "INSERT INTO M_RCUFuncKey VALUES(3,1,7,3,'One');\n"
                          "INSERT INTO M_RCUFuncKey VALUES(4,3,2,99,'Elsewhere');\n"
                          "INSERT INTO M_SetOfCodes VALUES(10,700,'TV','Sony','A','2020-01-01',1,'DB');\n"
                          "INSERT INTO M_SetOfCodes VALUES(11,701,'TV','Sony','B','2020-01-01',1,'MFY');\n"
                          "INSERT INTO M_SetOfCodes VALUES(12,702,'TV','Sony','C','2020-01-01',1,'mFy');\n"
                          "INSERT INTO M_SetOfCodes VALUES(13,703,'TV','Sony','D','2020-01-01',1,NULL);\n"
                          "INSERT INTO M_SetOfCodes VALUES(14,704,'TV','Sony','E','2020-01-01',0,'DB');\n"
                          "INSERT INTO M_SetOfCodes VALUES(15,705,'TV','Sony','F','2020-01-01',0,'DB');\n"
                          "INSERT INTO M_SetOfCodes VALUES(16,705,'TV','Sony','G','2020-01-01',1,'MFY');\n"
                          "INSERT INTO M_SetOfCodes VALUES(17,705,'TV','Sony','H','2020-01-01',1,'DB');\n";

class DownOrderTest : public ::testing::Test {
protected:
    test::CodecDb db{kRows};
    db::DbConnection conn;
    void SetUp() override { ASSERT_TRUE(conn.OpenDatabase(db.file.string(), db.key, true)); }
    void SetKeyOrder(const std::string& order) {
        conn.ExecuteSql("UPDATE M_RCUInfo SET KeyOrder='" + order + "' WHERE ModelNameID=1");
    }
};

// The key order as a download reads it: the database's rows, the codec's rule.
std::string OrderOf(const db::DbConnection& conn, std::int32_t setOfCodeId, std::uint8_t model) {
    return GetDownOrderStr(db::ReadKeyOrderRows(conn, setOfCodeId, model));
}

std::string DownloadOrderOf(const db::DbConnection& conn, std::int32_t sourceId, std::uint8_t model) {
    return GetDownOrderStr(db::ReadDownloadKeyOrderRows(conn, sourceId, model));
}

} // namespace

TEST_F(DownOrderTest, FollowsTheRemotesKeyOrder) {
    EXPECT_EQ(OrderOf(conn, 10, 1), "13,3,40");
    EXPECT_EQ(OrderOf(conn, 13, 1), "13,3,40") << "an empty Source is not MFY";
    EXPECT_EQ(OrderOf(conn, 14, 1), "13,3,40") << "validity is the caller's business";
    EXPECT_EQ(OrderOf(conn, 10, 3), "99");
}

TEST_F(DownOrderTest, KeyWithoutRowIsDroppedAndLaterKeysMoveForward) {
    conn.ExecuteSql("DELETE FROM M_RCUFuncKey WHERE RCUModelID=7");
    EXPECT_EQ(OrderOf(conn, 10, 1), "13,40");
    SetKeyOrder("7,7,5");
    EXPECT_EQ(OrderOf(conn, 10, 1), "13");
    SetKeyOrder("x,,5, 2");
    EXPECT_EQ(OrderOf(conn, 10, 1), "13,40") << "entries that are not numbers match no key";
}

TEST_F(DownOrderTest, MfyInAnyCaseAndMissingCodeSetsGiveEmptyText) {
    EXPECT_EQ(OrderOf(conn, 11, 1), "");
    EXPECT_EQ(OrderOf(conn, 12, 1), "");
    EXPECT_EQ(OrderOf(conn, 999, 1), "");
}

TEST_F(DownOrderTest, DuplicatesZeroKeysAndFirstRowWins) {
    SetKeyOrder("5,5,2");
    EXPECT_EQ(OrderOf(conn, 10, 1), "13,13,40");
    conn.ExecuteSql("INSERT INTO M_RCUFuncKey VALUES(5,1,0,55,'Zero');"
                    "INSERT INTO M_RCUFuncKey VALUES(6,1,-1,66,'Minus');"
                    "INSERT INTO M_RCUFuncKey VALUES(7,1,5,77,'Second five');");
    SetKeyOrder("0,5,-1,0");
    EXPECT_EQ(OrderOf(conn, 10, 1), "0,13,0,0");
    // 16-bit key numbers: 65541 is no key, however its low 16 bits read.
    SetKeyOrder("65541,2");
    EXPECT_EQ(OrderOf(conn, 10, 1), "40");
}

TEST_F(DownOrderTest, FailingQueriesGiveEmptyText) {
    EXPECT_EQ(OrderOf(conn, 10, 2), "") << "no key order for this remote";
    SetKeyOrder("");
    EXPECT_EQ(OrderOf(conn, 10, 1), "");
    SetKeyOrder("5");
    conn.ExecuteSql("DROP TABLE M_RCUFuncKey");
    EXPECT_EQ(OrderOf(conn, 10, 1), "");
    db::DbConnection closed;
    EXPECT_EQ(OrderOf(closed, 10, 1), "");
}

TEST_F(DownOrderTest, DownloadOrderTakesTheFirstValidCodeSetOfTheSource) {
    EXPECT_EQ(DownloadOrderOf(conn, 700, 1), "13,3,40");
    EXPECT_EQ(DownloadOrderOf(conn, 701, 1), "");
    EXPECT_EQ(DownloadOrderOf(conn, 704, 1), "") << "only invalid code sets";
    EXPECT_EQ(DownloadOrderOf(conn, 705, 1), "") << "first valid set is MFY";
    EXPECT_EQ(DownloadOrderOf(conn, 12345, 1), "");
    db::DbConnection closed;
    EXPECT_THROW(DownloadOrderOf(closed, 700, 1), db::DbError);
}
