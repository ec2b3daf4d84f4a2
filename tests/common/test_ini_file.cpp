#include "common/AtomicFile.h"
#include "common/IniFile.h"
#include "common/IniSettingsStore.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tolbe;
using tolbe::test::TempDir;
using tolbe::test::WriteFile;

TEST(GetIniString, ReadsKeysWithoutRegardToCaseAndTrimsBlanks) {
    TempDir dir;
    WriteFile(dir / "Server.ini", "; comment\r\n[Server]\r\n  URL = http://127.0.0.1/up/Update.txt \r\nEmpty=\r\n"
                                  "[other]\r\nURL=wrong\r\n");
    EXPECT_EQ(GetIniString(dir / "Server.ini", "Server", "URL"), "http://127.0.0.1/up/Update.txt");
    EXPECT_EQ(GetIniString(dir / "Server.ini", "SERVER", "url"), "http://127.0.0.1/up/Update.txt");
    EXPECT_EQ(GetIniString(dir / "Server.ini", "other", "URL"), "wrong");
}

TEST(GetIniString, AbsentFileKeySectionEmptyValueAndUnassignedAllGiveEmptyText) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[S]\nEmpty=\nOdd=(Unassigned) but set\nQuoted=\"x y\"\n");
    EXPECT_EQ(GetIniString(dir / "missing.ini", "S", "Empty"), "");
    EXPECT_EQ(GetIniString(dir / "a.ini", "S", "Nope"), "");
    EXPECT_EQ(GetIniString(dir / "a.ini", "T", "Empty"), "");
    EXPECT_EQ(GetIniString(dir / "a.ini", "S", "Empty"), "");
    EXPECT_EQ(GetIniString(dir / "a.ini", "S", "Odd"), "");
    EXPECT_EQ(GetIniString(dir / "a.ini", "S", "Quoted"), "x y");
}

TEST(GetIniString, LongValuesAreCutTo254Characters) {
    TempDir dir;
    const std::string longValue(300, 'v');
    WriteFile(dir / "a.ini", "[S]\nK=" + longValue + "\nJ=" + std::string(254, 'w') + "\n");
    EXPECT_EQ(GetIniString(dir / "a.ini", "S", "K"), std::string(254, 'v'));
    EXPECT_EQ(GetIniString(dir / "a.ini", "S", "J"), std::string(254, 'w'));
}

TEST(IniSettingsStore, StoresUnderApplicationAndSectionAndKeepsOtherLines) {
    TempDir dir;
    IniSettingsStore store(dir.Path());
    EXPECT_EQ(store.GetSetting("Marvo", "MarvoState", "Language", "none"), "none");
    store.SaveSetting("Marvo", "MarvoState", "Language", "4000");
    store.SaveSetting("Marvo", "MarvoState", "Setup", "1");
    store.SaveSetting("Marvo", "MarvoState", "language", "6000");
    EXPECT_EQ(store.GetSetting("Marvo", "marvostate", "Language"), "6000");
    EXPECT_EQ(store.GetSetting("Other", "MarvoState", "Language", "-"), "-");

    const auto file = store.FileFor("Marvo");
    EXPECT_EQ(file, dir.Path() / "Marvo" / "settings.ini");
    std::string text = test::ReadFile(file);
    text = "; kept\n" + text + "[Extra]\nA=1\n";
    WriteFile(file, text);
    store.SaveSetting("Marvo", "MarvoState", "DatabasePath", "/data/x.db3");
    const std::string after = test::ReadFile(file);
    EXPECT_NE(after.find("; kept"), std::string::npos);
    EXPECT_NE(after.find("[Extra]\nA=1"), std::string::npos);
    EXPECT_EQ(store.GetSetting("Marvo", "MarvoState", "DatabasePath"), "/data/x.db3");
    // Exactly one Language line survives the rewrites.
    EXPECT_EQ(after.find("anguage="), after.rfind("anguage="));
}

TEST(IniSettingsStore, UnwritableFolderReportsAnError) {
    TempDir dir;
    IniSettingsStore store(dir.Path());
    store.SaveSetting("Marvo", "MarvoState", "Language", "4000");
    // A folder in place of the temporary file makes the write fail, for any user.
    const auto blocker = TempPathFor(store.FileFor("Marvo"));
    std::filesystem::create_directories(blocker / "x");
    EXPECT_THROW(store.SaveSetting("Marvo", "MarvoState", "Language", "1000"), std::runtime_error);
    EXPECT_EQ(store.GetSetting("Marvo", "MarvoState", "Language"), "4000") << "the old file survives";
}

// Two programs save at the same moment, one of them from two threads: every value saved is there
// afterwards.
TEST(IniSettingsStore, TwoProgramsSavingAtOnceKeepEveryValue) {
    TempDir dir;
    constexpr int kSaves = 60;
    const auto saveAll = [&](IniSettingsStore& store, const std::string& who) {
        for (int i = 0; i < kSaves; ++i)
            store.SaveSetting("Marvo", "MarvoState", who + std::to_string(i), std::to_string(i));
    };
    const pid_t child = ::fork();
    if (child == 0) {
        IniSettingsStore other(dir.Path());
        saveAll(other, "Child");
        ::_exit(0);
    }
    IniSettingsStore store(dir.Path());
    std::thread menus([&] { saveAll(store, "Thread"); });
    saveAll(store, "Parent");
    menus.join();
    int status = 0;
    ASSERT_TRUE(child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    int kept = 0;
    for (const char* who : {"Child", "Thread", "Parent"})
        for (int i = 0; i < kSaves; ++i)
            kept += store.GetSetting("Marvo", "MarvoState", who + std::to_string(i)) == std::to_string(i);
    EXPECT_EQ(kept, 3 * kSaves);
}
