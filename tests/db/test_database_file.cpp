#include "db/DatabaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

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
    std::string why;
    EXPECT_TRUE(VerifyDatabaseFile(paths.UpdateDatabase().string(), BuildDatabaseKey(), &why)) << why;
    EXPECT_FALSE(VerifyDatabaseFile(paths.UpdateDatabase().string(), "another key", &why));

    test::MakeKeyedDatabase(dir / "partial.db3", "CREATE TABLE M_DeviceTypes(DeviceTypeID, DeviceTypeName);");
    EXPECT_FALSE(VerifyDatabaseFile((dir / "partial.db3").string(), BuildDatabaseKey(), &why));
    EXPECT_NE(why.find("missing"), std::string::npos);

    std::string bytes = test::ReadFile(paths.UpdateDatabase());
    bytes[bytes.size() / 2] ^= 0x5A;
    test::WriteFile(dir / "flipped.db3", bytes);
    EXPECT_FALSE(VerifyDatabaseFile((dir / "flipped.db3").string(), BuildDatabaseKey(), &why));
}
