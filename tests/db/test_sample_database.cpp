#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "tests/support/TestSupport.h"
#include "tools/devtools/SampleDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

using namespace tolbe;
using namespace tolbe::db;
using namespace tolbe::devtools;

namespace {

// The encoder's default key orders, written out once more here so that these tests do not
// lean on the codec library.
const std::vector<int> kTvDefault = {13, 3,  4,  5,  6,  7,  8,  9,  10, 11, 2,  24, 1,  14, 46, 32,
                                     35, 25, 12, 17, 18, 15, 16, 19, 20, 21, 22, 23, 0,  0,  0,  0,
                                     38, 0,  12, 39, 27, 0,  0,  26, 30, 33, 40, 41, 43, 42};
const std::vector<int> kDvdDefault = {13, 3,  4,  5,  6,  7,  8,  9,  10, 11, 2,  24, 1,  14, 46, 32,
                                      35, 25, 12, 17, 18, 15, 16, 19, 20, 21, 22, 23, 40, 39, 42, 41,
                                      38, 43, 12, 39, 27, 0,  0,  26, 30, 33, 0,  0,  0,  0};

std::string Export(const std::string& file) {
    DbConnection conn;
    EXPECT_TRUE(conn.OpenDatabase(file, BuildDatabaseKey(), true)) << file;
    std::ostringstream out;
    ExportDatabaseSql(conn, out);
    return out.str();
}

std::string Generate(const std::filesystem::path& file, int code_sets, std::uint64_t seed) {
    SampleOptions opt;
    opt.code_sets = code_sets;
    opt.seed = seed;
    GenerateSampleDatabase(file.string(), opt);
    return Export(file.string());
}

// Length in bytes of the code record a download builds for `source` with key order `order`,
// worked out from the layout: 6-byte header and address table, a record of n + 5 bytes per key
// with code data (2 per empty key), one block per distinct protocol name that matches exactly
// one M_Protocol row by LIKE, and the 4-byte trailer.
class RecordLengths {
public:
    explicit RecordLengths(const DbConnection& conn) : m_conn(conn) {}

    int Length(int source, const std::vector<int>& order) {
        const DbRecordset rows =
            m_conn.OpenRecordset("Select * From M_CodeLink where SourceID =" + std::to_string(source));
        int length = 6 + 2 * static_cast<int>(order.size()) + 4;
        std::set<std::string> blocks;
        for (int entry : order) {
            int found = -1;
            for (int r = 0; entry > 0 && r < rows.RecordCount() && found < 0; ++r)
                if (rows.ValueAt(r, 2).ToInt32() == entry) found = r;
            if (found < 0) {
                length += 2;
                continue;
            }
            for (int column : {3, 4}) {
                const std::string name = rows.ValueAt(found, column).Text();
                if (!name.empty() && Matches(name) == 1 && blocks.insert(name).second) length += m_data_bytes[name];
            }
            const std::string code = rows.ValueAt(found, 6).Text();
            length += code.empty() ? 2 : static_cast<int>(code.size() / 2) + 5;
        }
        return length;
    }

private:
    int Matches(const std::string& name) {
        auto it = m_matches.find(name);
        if (it != m_matches.end()) return it->second;
        const DbRecordset p = m_conn.OpenRecordset("Select * From M_Protocol where ProtocolName like '" + name + "'");
        if (p.RecordCount() == 1) m_data_bytes[name] = static_cast<int>(p.ValueAt(0, 2).Text().size() / 2);
        return m_matches[name] = p.RecordCount();
    }

    const DbConnection& m_conn;
    std::map<std::string, int> m_matches;
    std::map<std::string, int> m_data_bytes;
};

std::vector<int> SplitNumbers(const std::string& text) {
    std::vector<int> v;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ','))
        v.push_back(std::stoi(item));
    return v;
}

// The key order a non-"MFY" code set gets: the remote's key numbers mapped through its key map.
std::vector<int> RemoteOrder(const DbConnection& conn) {
    const DbRecordset info = conn.OpenRecordset("Select * from M_RCUInfo where ModelNameID=1");
    const DbRecordset keys = conn.OpenRecordset("Select RCUKeyMapID,RCUModelID from M_RCUFuncKey where ModelNameID=1");
    std::vector<int> order;
    for (int number : SplitNumbers(info.ValueAt(0, 3).Text()))
        for (int r = 0; r < keys.RecordCount(); ++r)
            if (keys.ValueAt(r, 1).ToInt32() == number) {
                order.push_back(keys.ValueAt(r, 0).ToInt32());
                break;
            }
    return order;
}

int Count(const DbConnection& conn, const std::string& sql) {
    return conn.OpenRecordset(sql).ValueAt(0, 0).ToInt32();
}

// The bundled database's settings, built once for the content tests.
class SampleContent : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        s_file = (*s_dir / "IR_Database.db3").string();
        SampleOptions opt;
        opt.code_sets = 3000;
        opt.seed = 1;
        GenerateSampleDatabase(s_file, opt);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(m_conn.OpenDatabase(s_file, BuildDatabaseKey(), true)); }

    static test::TempDir* s_dir;
    static std::string s_file;
    DbConnection m_conn;
};
test::TempDir* SampleContent::s_dir = nullptr;
std::string SampleContent::s_file;

} // namespace

TEST(RecordLengthCalculation, MatchesTheLayoutOfAnEmptyAndAOneKeyRecord) {
    test::TempDir dir;
    const auto file = dir / "tiny.db3";
    test::MakeKeyedDatabase(file, std::string(CodeDatabaseSchema()) +
                                      "INSERT INTO M_Protocol VALUES(1,'P3','A0A1A2');"
                                      "INSERT INTO M_CodeLink VALUES(1,7,13,'P3','','Power','0102');"
                                      "INSERT INTO M_CodeLink VALUES(2,8,99,'P3','','Other','0102');");
    DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase(file.string(), BuildDatabaseKey()));
    RecordLengths lengths(conn);
    EXPECT_EQ(lengths.Length(7, kTvDefault), 202); // one key of 2 bytes, one 3-byte protocol
    EXPECT_EQ(lengths.Length(8, kTvDefault), 194); // no code on any key
}

TEST_F(SampleContent, HoldsAllSevenTablesAndTheVersionRecord) {
    for (const char* table :
         {"M_DeviceTypes", "M_Version", "M_SetOfCodes", "M_RCUInfo", "M_RCUFuncKey", "M_CodeLink", "M_Protocol"})
        EXPECT_EQ(Count(m_conn,
                        std::string("select count(*) from sqlite_master where type='table' and name='") + table + "'"),
                  1)
            << table;
    const Status sound = TryVerifyDatabaseFile(s_file, BuildDatabaseKey());
    EXPECT_TRUE(sound) << sound.Error();

    // The version table is made with the program's own statement, comments included.
    const std::string stored =
        m_conn.OpenRecordset("select sql from sqlite_master where name='M_Version'").ValueAt(0, 0).Text();
    const std::string statement = VersionTableStatement("2024-05-20");
    EXPECT_EQ(stored, statement.substr(0, statement.rfind(')') + 1));
    const DbRecordset version = m_conn.OpenRecordset("Select * From M_Version");
    ASSERT_EQ(version.RecordCount(), 1);
    EXPECT_EQ(version.ValueAt(0, 1), DbValue(std::int64_t{1}));
    EXPECT_TRUE(version.ValueAt(0, 3).IsNull());
}

TEST_F(SampleContent, ListsEightOrMoreDeviceTypesWithTvEighth) {
    const auto types = ReadDeviceTypes(m_conn);
    ASSERT_GE(types.size(), 8u);
    EXPECT_EQ(types[7], "TV"); // the window selects the eighth type after every fill
    for (const auto& t : types)
        EXPECT_GT(Count(m_conn, "select count(*) from M_SetOfCodes where IsValid=1 and DeviceName like '" + t + "%'"),
                  0)
            << "no code set for " << t;
}

TEST_F(SampleContent, CodeSetsCarryTheAwkwardCasesTheSearchMustHandle) {
    EXPECT_EQ(Count(m_conn, "select count(*) from M_SetOfCodes"), 3000);
    EXPECT_GT(Count(m_conn, "select count(*) from M_SetOfCodes where BrandName like '%''%'"), 0);
    EXPECT_GT(Count(m_conn, "select count(*) from M_SetOfCodes where ModelName = 'Sound 50%'"), 0);
    EXPECT_GT(Count(m_conn, "select count(*) from M_SetOfCodes where IsValid=0"), 0);
    for (const char* mfy : {"MFY", "mfy", "Mfy"})
        EXPECT_GT(Count(m_conn, std::string("select count(*) from M_SetOfCodes where Source = '") + mfy + "'"), 0)
            << mfy;
    EXPECT_GT(Count(m_conn, "select count(*) from M_SetOfCodes where Source is null or Source = ''"), 0);
    // Code sets sharing one source, and every source has codes.
    EXPECT_LT(Count(m_conn, "select count(distinct SourceID) from M_SetOfCodes"), 3000);
    EXPECT_EQ(
        Count(m_conn, "select count(*) from M_SetOfCodes where SourceID not in (select SourceID from M_CodeLink)"), 0);
    for (const char* brand : {"Samsung", "Philips", "Sony", "Humax", "Technisat", "Onkyo", "Bang & Olufsen"})
        EXPECT_GT(Count(m_conn, std::string("select count(*) from M_SetOfCodes where BrandName = '") + brand + "'"), 0)
            << brand;
    // ISO dates over many years.
    EXPECT_EQ(Count(m_conn, "select count(*) from M_SetOfCodes where CodeDate not glob "
                            "'[12][09][0-9][0-9]-[01][0-9]-[0-3][0-9]'"),
              0);
    EXPECT_GE(Count(m_conn, "select max(substr(CodeDate,1,4)) - min(substr(CodeDate,1,4)) from M_SetOfCodes"), 20);
}

TEST_F(SampleContent, CodesAreEvenHexAndNameProtocolsThatResolve) {
    EXPECT_EQ(Count(m_conn, "select count(*) from M_CodeLink where length(CodeData) % 2 <> 0 or CodeData = '' "
                            "or CodeData glob '*[^0-9A-Fa-f]*'"),
              0);
    EXPECT_GT(Count(m_conn, "select count(*) from M_CodeLink where CodeData glob '*[a-f]*'"), 0);
    EXPECT_EQ(Count(m_conn, "select count(*) from M_Protocol where length(ProtocolData) % 2 <> 0 "
                            "or ProtocolData glob '*[^0-9A-F]*'"),
              0);
    // Every first protocol is found exactly once by the encoder's case-blind look-up.
    const DbRecordset firsts = m_conn.OpenRecordset("select distinct Protocol1 from M_CodeLink");
    for (int r = 0; r < firsts.RecordCount(); ++r)
        EXPECT_EQ(Count(m_conn, "select count(*) from M_Protocol where ProtocolName like '" +
                                    firsts.ValueAt(r, 0).Text() + "'"),
                  1)
            << firsts.ValueAt(r, 0).Text();
    // Second protocols: named, empty text and NULL all occur.
    EXPECT_GT(Count(m_conn, "select count(*) from M_CodeLink where Protocol2 <> ''"), 0);
    EXPECT_GT(Count(m_conn, "select count(*) from M_CodeLink where Protocol2 = ''"), 0);
    EXPECT_GT(Count(m_conn, "select count(*) from M_CodeLink where Protocol2 is null"), 0);
    // Two protocol names that differ only in letter case.
    EXPECT_GT(Count(m_conn, "select count(*) from M_Protocol a join M_Protocol b on a.ProtocolName <> b.ProtocolName "
                            "collate binary and lower(a.ProtocolName) = lower(b.ProtocolName)"),
              0);
    EXPECT_GE(Count(m_conn, "select count(*) from M_Protocol"), 8);
}

TEST_F(SampleContent, RemoteKeyMapAgreesWithTheEncoderDefaults) {
    const DbRecordset info = m_conn.OpenRecordset("Select * from M_RCUInfo where ModelNameID=1");
    ASSERT_EQ(info.RecordCount(), 1);
    const auto numbers = SplitNumbers(info.ValueAt(0, 3).Text());
    ASSERT_EQ(numbers.size(), 46u);
    EXPECT_EQ(std::set<int>(numbers.begin(), numbers.end()).size(), 46u);
    EXPECT_EQ(Count(m_conn, "select count(*) from M_RCUFuncKey where ModelNameID=1"), 46);

    const auto order = RemoteOrder(m_conn);
    ASSERT_EQ(order.size(), 46u);
    for (std::size_t p = 0; p < order.size(); ++p) {
        EXPECT_GE(order[p], 1) << p;
        EXPECT_LE(order[p], 46) << p;
        if (kTvDefault[p] > 0) {
            EXPECT_EQ(order[p], kTvDefault[p]) << p;
        } else if (kDvdDefault[p] > 0) {
            EXPECT_EQ(order[p], kDvdDefault[p]) << p;
        }
    }
}

TEST_F(SampleContent, RecordsSpanEveryBlockCountOfAFullKeyOrderAndSomeAreTooLong) {
    RecordLengths lengths(m_conn);
    const auto remote = RemoteOrder(m_conn);
    const DbRecordset sets =
        m_conn.OpenRecordset("select SourceID, upper(ifnull(Source,'')) from M_SetOfCodes where IsValid=1");
    std::map<int, int> blocks; // block count -> code sets; 0 for too long
    int shortest = 1 << 20;
    for (int r = 0; r < sets.RecordCount(); ++r) {
        const int source = sets.ValueAt(r, 0).ToInt32();
        const bool mfy = sets.ValueAt(r, 1).Text() == "MFY";
        for (const auto* order : mfy ? std::vector<const std::vector<int>*>{&kTvDefault, &kDvdDefault}
                                     : std::vector<const std::vector<int>*>{&remote}) {
            const int length = lengths.Length(source, *order);
            shortest = std::min(shortest, length);
            ++blocks[length > 767 ? 0 : (length + 63) / 64];
        }
    }
    // 46 keys need at least 194 bytes, so a record has 4 blocks or more.
    EXPECT_GE(shortest, 194);
    for (int b = 4; b <= 12; ++b)
        EXPECT_GE(blocks[b], 20) << b << " blocks";
    EXPECT_GE(blocks[0], 10) << "too long";
    EXPECT_LT(blocks[0], sets.RecordCount() / 10) << "too long";
}

TEST(SampleGenerator, SameSeedGivesTheSameContentAndAnotherSeedDiffers) {
    test::TempDir dir;
    const std::string a = Generate(dir / "a.db3", 200, 5);
    const std::string b = Generate(dir / "b.db3", 200, 5);
    const std::string c = Generate(dir / "c.db3", 200, 6);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    // The files themselves differ (the cipher salts them); only the content is equal.
    EXPECT_NE(test::ReadFile(dir / "a.db3"), test::ReadFile(dir / "b.db3"));
}

TEST(SampleGenerator, SweepOfSeedsAndSizesGivesSoundDatabases) {
    test::TempDir dir;
    for (int seed = 1; seed <= 16; ++seed) {
        const auto file = dir / ("s" + std::to_string(seed) + ".db3");
        SampleOptions opt;
        opt.seed = static_cast<std::uint64_t>(seed);
        opt.code_sets = 1 + seed * 5;
        opt.sources = seed % 3 == 0 ? opt.code_sets : 0;
        opt.codes_per_source = seed % 4 == 0 ? 64 : 0;
        GenerateSampleDatabase(file.string(), opt);
        const Status sound = TryVerifyDatabaseFile(file.string(), BuildDatabaseKey());
        ASSERT_TRUE(sound) << seed << ": " << sound.Error();
        DbConnection conn;
        ASSERT_TRUE(conn.OpenDatabase(file.string(), BuildDatabaseKey()));
        EXPECT_EQ(Count(conn, "select count(*) from M_SetOfCodes"), opt.code_sets) << seed;
        EXPECT_EQ(Count(conn, "select count(*) from M_SetOfCodes where BrandName = 'D''Accord' and SetOfCodeID = 1 "
                              "and DeviceName = 'TV'"),
                  1)
            << seed;
        EXPECT_EQ(Count(conn, "select count(*) from M_SetOfCodes where BrandName is null or BrandName = '' "
                              "or ModelName is null or ModelName = ''"),
                  0)
            << seed;
    }
}

TEST(SampleGenerator, BenchmarkShapeHasTheRequestedSourcesAndCodes) {
    test::TempDir dir;
    SampleOptions opt;
    opt.code_sets = 900;
    opt.sources = 90;
    opt.codes_per_source = 40;
    opt.seed = 3;
    GenerateSampleDatabase((dir / "large.db3").string(), opt);
    DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase((dir / "large.db3").string(), BuildDatabaseKey()));
    EXPECT_EQ(Count(conn, "select count(*) from M_SetOfCodes"), 900);
    EXPECT_EQ(Count(conn, "select count(distinct SourceID) from M_SetOfCodes"), 90);
    EXPECT_EQ(Count(conn, "select count(distinct SourceID) from M_CodeLink"), 90);
    const int codes = Count(conn, "select count(*) from M_CodeLink");
    EXPECT_GE(codes, 90 * 38);
    EXPECT_LE(codes, 90 * 42);
    EXPECT_EQ(
        Count(conn,
              "select count(*) from (select SourceID, KeyMapID from M_CodeLink group by 1, 2 having count(*) > 1)"),
        0);

    const SampleOptions large = LargeBenchmarkOptions();
    EXPECT_EQ(large.code_sets, 200000);
    EXPECT_EQ(large.sources, 20000);
    EXPECT_EQ(large.codes_per_source, 40);
}

TEST(SampleGenerator, RefusesBadOptionsAndExistingFiles) {
    test::TempDir dir;
    const auto file = dir / "s.db3";
    SampleOptions opt;
    opt.code_sets = 0;
    EXPECT_THROW(GenerateSampleDatabase(file.string(), opt), DbError);
    opt.code_sets = 10;
    opt.sources = 11;
    EXPECT_THROW(GenerateSampleDatabase(file.string(), opt), DbError);
    opt.sources = 0;
    opt.codes_per_source = 65;
    EXPECT_THROW(GenerateSampleDatabase(file.string(), opt), DbError);
    EXPECT_FALSE(std::filesystem::exists(file));

    test::WriteFile(file, "keep me");
    opt.codes_per_source = 0;
    EXPECT_THROW(GenerateSampleDatabase(file.string(), opt), DbError);
    EXPECT_EQ(test::ReadFile(file), "keep me");
    opt.overwrite = true;
    GenerateSampleDatabase(file.string(), opt);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "no leftovers beside the file";
    DbConnection conn;
    EXPECT_TRUE(conn.OpenDatabase(file.string(), BuildDatabaseKey()));
    // A single code set still gets both awkward rows' first one and a valid database.
    opt.code_sets = 1;
    GenerateSampleDatabase(file.string(), opt);
    EXPECT_TRUE(TryVerifyDatabaseFile(file.string(), BuildDatabaseKey()));
}

// ---- export and import ----

namespace {

const char* kAwkwardSql = R"SQL(
CREATE TABLE t(a, b TEXT, c REAL, d BLOB, e INTEGER);
INSERT INTO t VALUES('it''s', 'line1' || char(10) || 'line2' || char(13), 0.1 + 0.2, x'00ff10', -9223372036854775808);
INSERT INTO t VALUES(NULL, '', 1e300, x'', 9223372036854775807);
INSERT INTO t VALUES('a' || char(0) || 'b', 'Ünïcödé 中文 "q"', -1e999, NULL, 0);
INSERT INTO t VALUES(1.0, '%_\', 2.5e-310, 'text in a blob column', '12abc');
INSERT INTO t VALUES(3, 'x', 1e999, 0.5, -7);
CREATE TABLE w(k TEXT PRIMARY KEY, v) WITHOUT ROWID;
INSERT INTO w VALUES('y', NULL);
INSERT INTO w VALUES('x', 1);
CREATE TABLE "odd ""name"""(id INTEGER PRIMARY KEY AUTOINCREMENT, v);
INSERT INTO "odd ""name"""(v) VALUES('one');
INSERT INTO "odd ""name"""(v) VALUES('two');
INSERT INTO "odd ""name"""(v) VALUES('three');
DELETE FROM "odd ""name""" WHERE id = 3;
CREATE TABLE big(n INTEGER, h TEXT);
WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 9000) INSERT INTO big SELECT x, hex(x) FROM c;
CREATE INDEX ix_t_b ON t(b);
)SQL";

// What an import must make: a code database, here with no rows.
std::string CodeSchema() {
    return std::string(CodeDatabaseSchema()) + "\n";
}

// Every cell with its storage class, so a text and a blob with the same bytes differ.
std::vector<std::vector<DbValue>> Cells(const DbConnection& conn, const std::string& table,
                                        const std::string& columns) {
    const DbRecordset rs = conn.OpenRecordset("select " + columns + " from " + table);
    std::vector<std::vector<DbValue>> cells;
    for (int r = 0; r < rs.RecordCount(); ++r) {
        cells.emplace_back();
        for (int c = 0; c < rs.ColumnCount(); ++c)
            cells.back().push_back(rs.ValueAt(r, c));
    }
    return cells;
}

} // namespace

TEST(DatabaseSqlText, RoundTripKeepsEveryValueTypeAndObject) {
    test::TempDir dir;
    const auto original = dir / "original.db3";
    test::MakeKeyedDatabase(original, CodeSchema() + kAwkwardSql);
    const std::string text = Export(original.string());

    const auto copy = dir / "copy.db3";
    ImportDatabaseSql(text, copy.string(), false);
    EXPECT_EQ(Export(copy.string()), text);

    DbConnection a, b;
    ASSERT_TRUE(a.OpenDatabase(original.string(), BuildDatabaseKey()));
    ASSERT_TRUE(b.OpenDatabase(copy.string(), BuildDatabaseKey()));
    const std::string t_columns = "a,typeof(a),b,typeof(b),c,typeof(c),d,typeof(d),e,typeof(e)";
    EXPECT_EQ(Cells(a, "t", t_columns), Cells(b, "t", t_columns));
    EXPECT_EQ(Cells(b, "t", "length(CAST(a AS BLOB))").at(2).at(0), DbValue(std::int64_t{3})) << "NUL kept";
    EXPECT_EQ(Cells(b, "t", "c").at(0).at(0), DbValue(0.1 + 0.2));
    EXPECT_EQ(Cells(b, "t", "e").at(0).at(0), DbValue(std::int64_t{-9223372036854775807 - 1}));
    EXPECT_EQ(Cells(a, "w", "k,v"), Cells(b, "w", "k,v"));
    EXPECT_EQ(Cells(b, "big", "count(*), sum(n)").at(0),
              (std::vector<DbValue>{DbValue(std::int64_t{9000}), DbValue(std::int64_t{9000 * 9001 / 2})}));
    EXPECT_EQ(Cells(b, "sqlite_sequence", "seq").at(0).at(0), DbValue(std::int64_t{3})) << "counter, not max id";
    // The export lists indexes after every table, so the catalogue is compared in name order.
    EXPECT_EQ(Cells(a, "sqlite_master ORDER BY type, name", "type,name,sql"),
              Cells(b, "sqlite_master ORDER BY type, name", "type,name,sql"));
}

TEST(DatabaseSqlText, SampleDatabaseRoundTrips) {
    test::TempDir dir;
    const std::string text = Generate(dir / "s.db3", 300, 9);
    ImportDatabaseSql(text, (dir / "copy.db3").string(), false);
    EXPECT_EQ(Export((dir / "copy.db3").string()), text);
    EXPECT_TRUE(TryVerifyDatabaseFile((dir / "copy.db3").string(), BuildDatabaseKey()));
}

TEST(DatabaseSqlText, FailedImportLeavesNothingAndKeepsAnExistingFile) {
    test::TempDir dir;
    const auto out = dir / "out.db3";
    try {
        ImportDatabaseSql("CREATE TABLE x(a);\nINSERT INTO x VALUES(1;\n", out.string(), false);
        FAIL() << "bad SQL was accepted";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("syntax error"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ImportDatabaseSql("INSERT INTO nowhere VALUES(1);", out.string(), false), DbError);
    // A text cut off after its BEGIN would otherwise leave an empty-looking database.
    EXPECT_THROW(
        ImportDatabaseSql("BEGIN TRANSACTION;\nCREATE TABLE x(a);\nINSERT INTO x VALUES(1);\n", out.string(), false),
        DbError);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "no half-made files";

    test::WriteFile(out, "previous");
    EXPECT_THROW(ImportDatabaseSql("CREATE TABLE x(a);", out.string(), false), DbError);
    EXPECT_THROW(ImportDatabaseSql("CREATE TABLE x(a", out.string(), true), DbError);
    // A text that is sound SQL but makes no code database leaves nothing either.
    EXPECT_THROW(ImportDatabaseSql("CREATE TABLE x(a); INSERT INTO x VALUES('new');", out.string(), true), DbError);
    EXPECT_EQ(test::ReadFile(out), "previous");
    ImportDatabaseSql(CodeSchema() + "CREATE TABLE x(a); INSERT INTO x VALUES('new');", out.string(), true);
    DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase(out.string(), BuildDatabaseKey()));
    EXPECT_EQ(Cells(conn, "x", "a").at(0).at(0), DbValue(std::string("new")));
}

TEST(DatabaseSqlText, HostileTextIsRefusedAndReachesNoOtherFile) {
    test::TempDir dir;
    const auto out = dir / "out.db3";
    const auto other = dir / "other.db3";
    test::MakeKeyedDatabase(other, "CREATE TABLE precious(v); INSERT INTO precious VALUES('keep');");
    const std::string other_bytes = test::ReadFile(other);
    const std::string attach = "ATTACH DATABASE '" + other.string() + "' AS o";
    const std::pair<std::string, std::string> cases[] = {
        // SQLite stops at a NUL byte: the rest of the text was silently dropped.
        {std::string("CREATE TABLE t(a);\nINSERT INTO t VALUES(1);") + '\0' + "INSERT INTO t VALUES(2);\n",
         "NUL byte (line 2, column 25)"},
        // Cut inside its last statement, the text would still run, deleting every row.
        {"CREATE TABLE t(a);\nINSERT INTO t VALUES(1);\nDELETE FROM t WHERE a = 2 AND", "complete statement"},
        {"  \n", "empty"},
        {attach + "; DROP TABLE o.precious;", "ATTACH is not allowed"},
        {attach + " KEY ''; CREATE TABLE o.x(a);", "ATTACH is not allowed"},
        {"ATTACH DATABASE '" + (dir / "new.db3").string() + "' AS n KEY '';", "ATTACH is not allowed"},
        {"DETACH DATABASE temp;", "DETACH is not allowed"},
        {"CREATE TEMP TABLE t(a); INSERT INTO t VALUES(1);", "\"temp\" may not be used"},
        {"CREATE TABLE t(a); PRAGMA rekey = '';", "PRAGMA rekey is not allowed"},
        {"CREATE TABLE t(a); INSERT INTO t VALUES(sqlcipher_export('main'));", "sqlcipher_export is not allowed"},
    };
    for (const auto& [sql, reason] : cases) {
        try {
            ImportDatabaseSql(sql, out.string(), false);
            ADD_FAILURE() << "accepted: " << sql;
        } catch (const DbError& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(test::ReadFile(other), other_bytes) << "the other database is untouched";
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"other.db3"}) << "no output and no attached file was made";
}

TEST(DatabaseSqlText, RowNumbersBeyondTwoToTheFiftyThirdExportExactly) {
    test::TempDir dir;
    // 5000 rows, more than one export page, whose row numbers no double holds exactly.
    test::MakeKeyedDatabase(dir / "big.db3",
                            CodeSchema() +
                                "CREATE TABLE r(id INTEGER PRIMARY KEY, v);"
                                "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 5000) "
                                "INSERT INTO r SELECT 4611686018427388404 + x, x FROM c;");
    const std::string text = Export((dir / "big.db3").string());
    ImportDatabaseSql(text, (dir / "copy.db3").string(), false);
    DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase((dir / "copy.db3").string(), BuildDatabaseKey()));
    EXPECT_EQ(Cells(conn, "r", "count(*), min(id), max(id), sum(v)").at(0),
              (std::vector<DbValue>{DbValue(std::int64_t{5000}), DbValue(std::int64_t{4611686018427388405}),
                                    DbValue(std::int64_t{4611686018427393404}), DbValue(std::int64_t{12502500})}));
}
