#include "db/CodeDatabase.h"
#include "db/CodeSet.h"
#include "db/DatabaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace tolbe;
using namespace tolbe::db;
using tolbe::test::TempDir;

namespace {

class DatabaseFileTest : public ::testing::Test {
protected:
    TempDir dir;
    ProgramPaths paths{dir.Path()};
    test::MemorySettingsStore settings;

    void SetUp() override {
        std::filesystem::create_directories(paths.DatabaseFolder());
        std::filesystem::create_directories(paths.UpdateFolder());
    }
    // A database whose device types tell which file it is.
    void MakeDb(const std::filesystem::path& file, int device_types) {
        test::MakeKeyedDatabase(file, test::MiniDatabaseSql(device_types));
    }
    int DeviceTypesIn(const std::filesystem::path& file) {
        DbConnection c;
        if (!c.OpenDatabase(file.string(), BuildDatabaseKey())) return -1;
        return static_cast<int>(ReadDeviceTypes(c).size());
    }
};

} // namespace

TEST_F(DatabaseFileTest, DefaultPathSettingAndHiddenFiles) {
    auto loc = CheckDatabase(settings, paths);
    EXPECT_EQ(loc.DBPath, (dir.Path() / "Database" / "IR_Database.db3").string());
    EXPECT_EQ(loc.DBKey, BuildDatabaseKey());
    EXPECT_FALSE(loc.exists);

    MakeDb(paths.Database(), 8);
    EXPECT_TRUE(CheckDatabase(settings, paths).exists);

    const auto hidden = dir / ".hidden.db3";
    MakeDb(hidden, 8);
    std::filesystem::permissions(hidden, std::filesystem::perms::owner_read);
    settings.Set(settings_key::kDatabasePath, hidden.string());
    loc = CheckDatabase(settings, paths);
    EXPECT_EQ(loc.DBPath, hidden.string());
    EXPECT_TRUE(loc.exists);

    settings.Set(settings_key::kDatabasePath, (dir / "nothing.db3").string());
    EXPECT_FALSE(CheckDatabase(settings, paths).exists);
    settings.Set(settings_key::kDatabasePath, dir.Path().string());
    EXPECT_FALSE(CheckDatabase(settings, paths).exists) << "a folder is not a database file";
}

TEST_F(DatabaseFileTest, DeviceTypesComeInStoredOrder) {
    MakeDb(paths.Database(), 7);
    DbConnection c;
    ASSERT_TRUE(c.OpenDatabase(paths.Database().string(), BuildDatabaseKey()));
    const auto names = ReadDeviceTypes(c);
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names.front(), "DVD");
    EXPECT_EQ(names.back(), "LD");
}

TEST_F(DatabaseFileTest, SwapKeepsBackupAndASecondSwapReplacesIt) {
    MakeDb(paths.Database(), 8);
    MakeDb(paths.UpdateDatabase(), 9);
    ASSERT_TRUE(SwapInDeliveredDatabase(paths, BuildDatabaseKey()));
    EXPECT_EQ(DeviceTypesIn(paths.Database()), 9);
    EXPECT_EQ(DeviceTypesIn(paths.DatabaseBackup()), 8);
    EXPECT_TRUE(std::filesystem::exists(paths.UpdateDatabase())) << "the delivered file stays";

    std::filesystem::remove(paths.UpdateDatabase());
    MakeDb(paths.UpdateDatabase(), 10);
    ASSERT_TRUE(SwapInDeliveredDatabase(paths, BuildDatabaseKey()));
    EXPECT_EQ(DeviceTypesIn(paths.Database()), 10);
    EXPECT_EQ(DeviceTypesIn(paths.DatabaseBackup()), 9);
    // No temporary files are left behind.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(paths.DatabaseFolder()))
        (void)e, ++files;
    EXPECT_EQ(files, 2);
}

TEST_F(DatabaseFileTest, MissingDeliveredFileChangesNothing) {
    MakeDb(paths.Database(), 8);
    MakeDb(paths.DatabaseBackup(), 9);
    EXPECT_FALSE(SwapInDeliveredDatabase(paths, BuildDatabaseKey()));
    EXPECT_EQ(DeviceTypesIn(paths.Database()), 8);
    EXPECT_EQ(DeviceTypesIn(paths.DatabaseBackup()), 9);
}

TEST_F(DatabaseFileTest, UnsoundDeliveryIsRefusedBeforeAnythingChanges) {
    MakeDb(paths.Database(), 8);
    test::WriteFile(paths.UpdateDatabase(), std::string(8192, 'x'));
    EXPECT_FALSE(SwapInDeliveredDatabase(paths, BuildDatabaseKey()));
    std::filesystem::remove(paths.UpdateDatabase());
    test::MakeKeyedDatabase(paths.UpdateDatabase(), test::MiniDatabaseSql(9), "a foreign key");
    EXPECT_FALSE(SwapInDeliveredDatabase(paths, BuildDatabaseKey()));
    EXPECT_EQ(DeviceTypesIn(paths.Database()), 8);
    EXPECT_FALSE(std::filesystem::exists(paths.DatabaseBackup()));
}

TEST_F(DatabaseFileTest, FailedCopyLeavesTheCurrentDatabaseInPlace) {
    MakeDb(paths.Database(), 8);
    MakeDb(paths.UpdateDatabase(), 9);
    // A folder where the temporary copy would go makes the copy fail midway, for any user.
    auto blocker = paths.Database();
    blocker += ".part" + std::to_string(::getpid());
    std::filesystem::create_directories(blocker / "x");
    EXPECT_THROW(SwapInDeliveredDatabase(paths, BuildDatabaseKey()), std::filesystem::filesystem_error);
    EXPECT_EQ(DeviceTypesIn(paths.Database()), 8);
}

TEST_F(DatabaseFileTest, VerifyRejectsForeignCorruptAndIncompleteFiles) {
    MakeDb(paths.UpdateDatabase(), 8);
    const Status sound = TryVerifyDatabaseFile(paths.UpdateDatabase().string(), BuildDatabaseKey());
    EXPECT_TRUE(sound) << sound.Error();
    EXPECT_FALSE(TryVerifyDatabaseFile(paths.UpdateDatabase().string(), "another key"));

    test::MakeKeyedDatabase(dir / "partial.db3", "CREATE TABLE M_DeviceTypes(DeviceTypeID, DeviceTypeName);");
    // The throwing form says the same reason as its try-twin.
    try {
        VerifyDatabaseFile((dir / "partial.db3").string(), BuildDatabaseKey());
        ADD_FAILURE() << "an incomplete database accepted";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos) << e.what();
    }

    std::string bytes = test::ReadFile(paths.UpdateDatabase());
    bytes[bytes.size() / 2] ^= 0x5A;
    test::WriteFile(dir / "flipped.db3", bytes);
    EXPECT_FALSE(TryVerifyDatabaseFile((dir / "flipped.db3").string(), BuildDatabaseKey()));
}

namespace {

// Our schema with one table's or index's definition replaced or added.
std::string SchemaWith(const std::string& table, const std::string& definition) {
    std::string schema = test::ReadFile(std::filesystem::path(TOLBE_SOURCE_DIR) / "data" / "schema.sql");
    const std::size_t at = schema.find("CREATE TABLE " + table + "(");
    if (at == std::string::npos) return schema + definition;
    return schema.replace(at, schema.find(");", at) + 2 - at, definition);
}

} // namespace

TEST_F(DatabaseFileTest, CheckJudgesWhatTheProgramReads) {
    // Other writers' names for positional columns are fine; what would make SQLite evaluate
    // expressions, or a positional read land on the wrong value, is not.
    const std::pair<std::string, std::string> cases[] = {
        {SchemaWith("M_DeviceTypes", "CREATE TABLE M_DeviceTypes (DeviceTypeID INTEGER PRIMARY KEY, DeviceType TEXT);"),
         ""},
        {SchemaWith("M_RCUFuncKey", "CREATE TABLE M_RCUFuncKey (ID, ModelNameID, RCUModelID, RCUKeyMapID);"), ""},
        {SchemaWith("M_CodeLink",
                    "CREATE TABLE M_CodeLink (CodeLinkID, SourceID, KeyMapID, Protocol1, Protocol2, Notes, CodeData);"),
         ""},
        {SchemaWith("M_Version", "CREATE TABLE m_version (Row, Version, Stamp, Remark);"), ""},
        {SchemaWith("M_CodeLink", "CREATE TABLE M_CodeLink (a, SourceID, b, c, d, e, f CHECK(length(f) > 0));"),
         "a CHECK constraint"},
        {SchemaWith("M_CodeLink", "CREATE TABLE M_CodeLink (a, SourceID, b, c, d, e, f, g AS (a + 1));"),
         "a generated column"},
        {SchemaWith("M_Extra", "CREATE INDEX ix_e ON M_Protocol(lower(ProtocolName));"), "an expression index"},
        {SchemaWith("M_Extra", "CREATE INDEX ix_p ON M_Protocol(ProtocolName) WHERE ProtocolID > 0;"),
         "a partial index"},
        {SchemaWith("M_CodeLink", "CREATE TABLE M_CodeLink (a, b, SourceID, c, d, e, f);"),
         "has SourceID in column 3, where the program reads another value"},
        {SchemaWith("M_CodeLink", "CREATE TABLE M_CodeLink (a, SourceID, b, c, d, e);"),
         "M_CodeLink has 6 columns; the program reads 7"},
        {SchemaWith("M_SetOfCodes", "CREATE TABLE M_SetOfCodes (SetOfCodeID, SourceID, DeviceName, BrandName, "
                                    "ModelName, CodeDate, IsValid, Origin);"),
         "has no column Source"},
        {SchemaWith("M_Version", "CREATE TABLE M_Version (Version);"), "M_Version has 1 columns"},
    };
    int n = 0;
    for (const auto& [sql, reason] : cases) {
        const auto file = dir / ("case" + std::to_string(n++) + ".db3");
        test::MakeKeyedDatabase(file, sql);
        const Status sound = TryVerifyDatabaseFile(file.string(), BuildDatabaseKey());
        const std::string& why = sound.Error();
        EXPECT_EQ(static_cast<bool>(sound), reason.empty()) << sql << "\n" << why;
        if (!reason.empty()) {
            EXPECT_NE(why.find(reason), std::string::npos) << why;
        }
    }
    // Text inside quotes or comments is no clause.
    EXPECT_EQ(ForbiddenClause("CREATE TABLE t(\"check\" TEXT DEFAULT 'AS', [generated] -- CHECK(1)\n)"), std::nullopt);
    EXPECT_EQ(ForbiddenClause("CREATE UNIQUE INDEX i ON t(a COLLATE NOCASE DESC, \"b\")"), std::nullopt);
    EXPECT_EQ(ForbiddenClause("CREATE INDEX i ON t(a + b)"), "an expression index");
}

TEST_F(DatabaseFileTest, CheckRunsOnTheConnectionThatIsUsedWithinItsTime) {
    const auto file = dir / "codes.db3";
    MakeDb(file, 8);
    DbConnection conn;
    ASSERT_TRUE(TryOpenCodeDatabase(conn, file.string(), BuildDatabaseKey()));
    // Another file put under the name afterwards is not what this connection reads.
    MakeDb(dir / "other.db3", 3);
    std::filesystem::rename(dir / "other.db3", file);
    EXPECT_EQ(ReadDeviceTypes(conn).size(), 8u);

    const std::atomic<bool> stop{true};
    EXPECT_EQ(TryOpenCodeDatabase(conn, file.string(), BuildDatabaseKey(), CheckOptions{{}, &stop}).Error(),
              "the check was stopped");
    EXPECT_FALSE(conn.IsOpen());
    EXPECT_EQ(TryVerifyDatabaseFile(file.string(), BuildDatabaseKey(), CheckOptions{{}, nullptr, {}}).Error(),
              "the check did not finish within 0 s");
}

TEST_F(DatabaseFileTest, AFileIsCheckedInFullOnceWhileOnlyItsUserCanChangeIt) {
    const auto list = dir / "state" / "checked-databases";
    const auto file = dir / "codes.db3";
    MakeDb(file, 8);
    ASSERT_TRUE(TryVerifyDatabaseFile(file.string(), BuildDatabaseKey(), CheckOptions{list}));
    EXPECT_TRUE(CheckedFiles(list).Knows(*StampOf(file)));

    // A damaged middle page under the same size, time and outer pages passes as known: the list
    // stands for the file as its user left it...
    const auto before = std::filesystem::last_write_time(file);
    std::string bytes = test::ReadFile(file);
    ASSERT_GT(bytes.size(), 3 * 4096u);
    bytes[bytes.size() / 2] ^= 0x5A;
    test::WriteFile(file, bytes);
    std::filesystem::last_write_time(file, before);
    EXPECT_TRUE(TryVerifyDatabaseFile(file.string(), BuildDatabaseKey(), CheckOptions{list}));
    EXPECT_FALSE(TryVerifyDatabaseFile(file.string(), BuildDatabaseKey()));
    // ...so it is never used for a file another user could have replaced.
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    const std::string why = TryVerifyDatabaseFile(file.string(), BuildDatabaseKey(), CheckOptions{list}).Error();
    EXPECT_NE(why.find("cannot be read"), std::string::npos) << why;
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
    // Any write changes the stamp.
    MakeDb(dir / "fresh.db3", 8);
    ASSERT_TRUE(TryVerifyDatabaseFile((dir / "fresh.db3").string(), BuildDatabaseKey(), CheckOptions{list}));
    DbConnection w;
    ASSERT_TRUE(w.OpenDatabase((dir / "fresh.db3").string(), BuildDatabaseKey()));
    w.ExecuteSql("INSERT INTO M_DeviceTypes VALUES (99, 'NEW')");
    EXPECT_FALSE(CheckedFiles(list).Knows(*StampOf(dir / "fresh.db3")));
}

TEST_F(DatabaseFileTest, ASourceLargerThanASlotIsRefusedWithoutReadingIt) {
    const auto file = dir / "codes.db3";
    test::MakeKeyedDatabase(file,
                            test::MiniDatabaseSql(8) +
                                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                                "INSERT INTO M_CodeLink SELECT 100000 + i, 777, i, 'P' || i, '', '', 'AA' FROM n;");
    DbConnection conn;
    ASSERT_TRUE(TryOpenCodeDatabase(conn, file.string(), BuildDatabaseKey()));
    try {
        LoadCodeSet(conn, 777);
        ADD_FAILURE() << "a source of 5000 rows loaded";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("more than 768 key rows"), std::string::npos) << e.what();
    }
}

TEST_F(DatabaseFileTest, TwoProgramsRememberingAtOnceLoseNoEntry) {
    const auto list = dir / "state" / "checked-databases";
    // Two processes, each adding six files' stamps as fast as it can.
    auto stampNo = [](int n) {
        FileStamp s;
        s.inode = static_cast<std::uint64_t>(n);
        return s;
    };
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int n = 0; n < 6; ++n)
                CheckedFiles(list).Remember(stampNo(p * 100 + n));
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int p = 0; p < 2; ++p)
        for (int n = 0; n < 6; ++n)
            EXPECT_TRUE(CheckedFiles(list).Knows(stampNo(p * 100 + n))) << p << " " << n;
}

// Protocol data is remembered per open database: the next file's data for the same name is its own.
TEST_F(DatabaseFileTest, ProtocolDataComesFromTheOpenFile) {
    const auto other = dir / "other.db3";
    test::MakeKeyedDatabase(dir / "codes.db3", test::MiniDatabaseSql(8));
    test::MakeKeyedDatabase(other, test::MiniDatabaseSql(8) + "UPDATE M_Protocol SET ProtocolData='B0B1';");
    CodeDatabase database;
    ASSERT_EQ(database.OpenFile((dir / "codes.db3").string()), CodeDatabase::State::Open);
    EXPECT_EQ(database.LoadCodeSet(101).protocols.at("NEC1"), "A0A1A2");
    EXPECT_EQ(database.LoadCodeSet(102).protocols.at("NEC1"), "A0A1A2");
    ASSERT_EQ(database.OpenFile(other.string()), CodeDatabase::State::Open);
    EXPECT_EQ(database.LoadCodeSet(101).protocols.at("NEC1"), "B0B1");
}
