#include "common/PathText.h"
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "tests/support/TestSupport.h"
#include "tests/update/HttpTestServer.h"
#include "tests/update/SigningKey.h"
#include "update/Minisign.h"
#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <thread>
#ifdef _WIN32
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>
#else
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace tolbe;
using namespace tolbe::update;
using tolbe::test::HttpTestServer;
using tolbe::test::ScriptedResponse;
using tolbe::test::TempDir;
using Answer = tolbe::Prompt::Answer;

namespace fs = std::filesystem;

// ---- Version arithmetic and names ----

TEST(Versions, ProgramVersionIsWeightedByPosition) {
    EXPECT_EQ(OwnProgramVersion(), 209);
    EXPECT_EQ(OfferedProgramVersion("2.0.9"), std::optional<std::int16_t>(209));
    EXPECT_EQ(OfferedProgramVersion("1.10.0"), std::optional<std::int16_t>(200));
    EXPECT_EQ(OfferedProgramVersion("2.0.0"), std::optional<std::int16_t>(200));
    EXPECT_EQ(OfferedProgramVersion("2.0.12"), std::optional<std::int16_t>(212));
    EXPECT_EQ(OfferedProgramVersion("2.1.0"), std::optional<std::int16_t>(210));
    EXPECT_EQ(OfferedProgramVersion(" 3 .0. 1 "), std::optional<std::int16_t>(301));
    // Each step rounds half to even; a fraction can only come in through an exponent.
    EXPECT_EQ(OfferedProgramVersion("0.0.5e-1"), std::optional<std::int16_t>(0));       // 0.5 -> 0
    EXPECT_EQ(OfferedProgramVersion("0.0.15e-1"), std::optional<std::int16_t>(2));      // 1.5 -> 2
    EXPECT_EQ(OfferedProgramVersion("0.0.25e-1"), std::optional<std::int16_t>(2));      // 2.5 -> 2
    EXPECT_EQ(OfferedProgramVersion("0.25e-2.0"), std::optional<std::int16_t>(2));      // 0.25 x 10 = 2.5 -> 2
    EXPECT_EQ(OfferedProgramVersion("0.75e-2.0"), std::optional<std::int16_t>(8));      // 7.5 -> 8
    EXPECT_EQ(OfferedProgramVersion("1.25e-2.5e-1"), std::optional<std::int16_t>(102)); // 102.5 -> 102
}

TEST(Versions, DescriptorsThatDoNotConvertOfferNothing) {
    for (const char* bad : {"", "2.1", "2.1.0.0", "2..1", "a.b.c", "2.0.x", "2.0.9a", "400.0.0", "327.6.8", "inf.0.0",
                            "nan.0.0", "0x2.0.0"})
        EXPECT_EQ(OfferedProgramVersion(bad), std::nullopt) << bad;
    EXPECT_EQ(OfferedProgramVersion("327.6.7"), std::optional<std::int16_t>(32767));
    EXPECT_EQ(OfferedProgramVersion("-2.0.0"), std::optional<std::int16_t>(-200));
}

TEST(Versions, DatabaseVersionRoundsHalfToEvenWithin16Bits) {
    EXPECT_EQ(OfferedDatabaseVersion("5"), std::optional<std::int16_t>(5));
    EXPECT_EQ(OfferedDatabaseVersion(" 7 "), std::optional<std::int16_t>(7));
    EXPECT_EQ(OfferedDatabaseVersion("2.5"), std::optional<std::int16_t>(2));
    EXPECT_EQ(OfferedDatabaseVersion("3.5"), std::optional<std::int16_t>(4));
    EXPECT_EQ(OfferedDatabaseVersion("32767"), std::optional<std::int16_t>(32767));
    for (const char* bad : {"", "abc", "5x", "32768", "-32769", "1e9"})
        EXPECT_EQ(OfferedDatabaseVersion(bad), std::nullopt) << bad;
}

TEST(Versions, AnnouncedLengthIsZeroUnlessAWhole32BitNumber) {
    EXPECT_EQ(AnnouncedLength("1024"), 1024);
    EXPECT_EQ(AnnouncedLength("0"), 0);
    EXPECT_EQ(AnnouncedLength("2147483647"), 2147483647);
    for (const char* bad : {"", "abc", "12 kB", "2147483648", "99999999999"})
        EXPECT_EQ(AnnouncedLength(bad), 0) << bad;
}

TEST(FileNames, OnlyBareNamesFromUrlsAreUsed) {
    EXPECT_EQ(FileNameFromUrl("http://h/a/Update.txt"), "Update.txt");
    EXPECT_EQ(FileNameFromUrl("Update.txt"), "Update.txt");
    EXPECT_EQ(FileNameFromUrl("http://h/dir/"), "");
    EXPECT_TRUE(IsPlainFileName("IR_Database.db3"));
    for (const char* bad : {"", ".", "..", "a\\b", "a/b", "..\\..\\x"})
        EXPECT_FALSE(IsPlainFileName(bad)) << bad;
}

TEST(Progress, StaysWithinTheBar) {
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(1, 200), 0); // 0.5 -> 0
    EXPECT_EQ(ProgressPercent(3, 200), 2); // 1.5 -> 2
    EXPECT_EQ(ProgressPercent(512, 0), 0);
    EXPECT_EQ(ProgressPercent(512, -1), 0);
    EXPECT_EQ(ProgressPercent(4096, 1024), 100);
    EXPECT_EQ(ProgressPercent(1024, 1024), 100);
}

TEST(Sha256, MatchesTheKnownDigest) {
    TempDir dir;
    test::WriteFile(dir / "abc", "abc");
    EXPECT_EQ(*FileSha256(dir / "abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(FileSha256(dir / "missing"));
}

TEST(StartDetached, StartsAScriptAndRefusesWhatCannotRun) {
    TempDir dir;
    const fs::path marker = dir / "started";
#ifdef _WIN32
    const fs::path script = dir / "setup.bat";
    // A batch file's bytes are read in the console's code page: the name comes in wide, by the
    // environment.
    ::SetEnvironmentVariableW(L"TOLBE_TEST_MARKER", marker.c_str());
    test::WriteFile(script, "@echo started> \"%TOLBE_TEST_MARKER%\"\r\n");
#else
    const fs::path script = dir / "setup.sh";
    test::WriteFile(script, "#!/bin/sh\necho started > '" + marker.string() + "'\n");
#endif
    const Status started = StartDetached(script);
    ASSERT_TRUE(started) << started.Error();
    for (int i = 0; i < 200 && !fs::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(marker));

    test::WriteFile(dir / "setup.exe", std::string("MZ\x90\0\3\0\0\0", 8));
    const Status refused = StartDetached(dir / "setup.exe");
    EXPECT_FALSE(refused);
    EXPECT_FALSE(refused.Error().empty());
    EXPECT_FALSE(StartDetached(dir / "missing.exe"));
}

// ---- The check against a local server ----

namespace {

class RecordingView final : public UpdateView {
public:
    void SetLog(const std::string& text) override {
        log = text;
        if (on_log) on_log(text);
    }
    void SetProgress(int value) override {
        EXPECT_GE(value, 0);
        EXPECT_LE(value, kProgressMax);
        progress.push_back(value);
    }
    void SetWindowVisible(bool v) override { visible.push_back(v); }
    void SetUpdateEnabled(bool e) override { update_enabled = e; }
    std::string log;
    std::function<void(const std::string&)> on_log; // runs on the thread of the step that logs
    std::vector<int> progress;
    std::vector<bool> visible;
    bool update_enabled = false;
};

// The main window's side: its own connection on the program folder's database.
class TestMainWindow final : public MainWindowHooks {
public:
    explicit TestMainWindow(ProgramPaths p) : paths(std::move(p)) {}
    std::int16_t Get_Database_Ver() override {
        ++version_calls;
        if (throw_on_version) throw db::DbError("broken version record");
        return db::Get_Database_Ver(&conn, paths.Database().string(), db::BuildDatabaseKey(), "08.12.2026");
    }
    bool Reconnect_Database(std::int16_t offered) override {
        reconnected_with.push_back(offered);
        return conn.OpenDatabase(paths.Database().string(), db::BuildDatabaseKey(), true);
    }
    void RequestQuit() override { ++quit_requests; }

    ProgramPaths paths;
    db::DbConnection conn;
    bool throw_on_version = false;
    int version_calls = 0;
    std::vector<std::int16_t> reconnected_with;
    int quit_requests = 0;
};

// Runs an action at one chosen yield.
struct HookYield {
    void operator()() {
        if (++count == at && action) action();
    }
    int count = 0;
    int at = -1;
    std::function<void()> action;
};

std::string Text(int k) {
    return "T" + std::to_string(k);
}

// A process other than this one that runs for as long as the test: the parent on POSIX; on
// Windows, where the parent may be gone, the first other one the system lists (its services).
long long LiveOtherProcess() {
#ifdef _WIN32
    const HANDLE all = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W p{};
    p.dwSize = sizeof p;
    long long other = 0;
    for (BOOL more = ::Process32FirstW(all, &p); more && other == 0; more = ::Process32NextW(all, &p))
        if (p.th32ProcessID != 0 && p.th32ProcessID != ::GetCurrentProcessId()) other = p.th32ProcessID;
    ::CloseHandle(all);
    return other;
#else
    return ::getppid();
#endif
}

// This process's peak memory so far, in kB.
long long PeakMemoryKiB() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS m{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &m, sizeof m);
    return static_cast<long long>(m.PeakWorkingSetSize / 1024);
#else
    rusage r{};
    ::getrusage(RUSAGE_SELF, &r);
    return r.ru_maxrss;
#endif
}

#ifndef _WIN32
// Makes permission bits bind root too, for as long as it lives.
class WithoutFileOverride {
public:
    WithoutFileOverride() {
        if (::geteuid() != 0) return;
        Capabilities(false);
        m_dropped = true;
    }
    ~WithoutFileOverride() {
        if (m_dropped) Capabilities(true);
    }

private:
    static void Capabilities(bool on) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        ::syscall(SYS_capget, &header, data);
        const unsigned bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        data[0].effective = on ? (data[0].effective | bits) : (data[0].effective & ~bits);
        ::syscall(SYS_capset, &header, data);
    }
    bool m_dropped = false;
};
#endif

// The publisher key the tests' Server.ini trusts, and one it does not.
const test::SigningKey& Publisher() {
    static const test::SigningKey key;
    return key;
}
const test::SigningKey& Stranger() {
    static const test::SigningKey key;
    return key;
}

std::string Sha256Of(const std::string& bytes) {
    TempDir t;
    test::WriteFile(t / "f", bytes);
    return *FileSha256(t / "f");
}

class UpdateCheckTest : public ::testing::Test {
protected:
    TempDir dir;
    ProgramPaths paths{dir.Path()};
    HttpTestServer server;
    test::MemorySettingsStore settings;
    test::ScriptedPrompt prompt;
    HookYield yield;
    RecordingView view;
    TestMainWindow main{paths};
    std::vector<fs::path> started;
    std::string user_db_bytes;

    void SetUp() override {
        fs::create_directories(paths.UpdateFolder());
        fs::create_directories(paths.DatabaseFolder());
        test::MakeKeyedDatabase(paths.Database(), test::MiniDatabaseSql(10) + VersionSql(3));
        user_db_bytes = test::ReadFile(paths.Database());
        test::WriteFile(paths.ServerIni(), "[LiveUpdate]\r\nIP_Address=" + server.Url("/srv/Update.txt") +
                                               "\r\nPublicKey=" + Publisher().PublicKey() + "\r\n");
    }

    void TearDown() override {
        // Whatever happened, the user's database still opens.
        db::DbConnection c;
        EXPECT_TRUE(c.OpenDatabase(paths.Database().string(), db::BuildDatabaseKey(), true));
    }

    static std::string VersionSql(int version) {
        return db::VersionTableStatement("01.01.2020") + ";insert into M_Version values(1, " + std::to_string(version) +
               ", '01.01.2020', null);";
    }

    std::unique_ptr<UpdateCheck> MakeCheck() {
        UpdateContext ctx{paths, settings, prompt, std::ref(yield), Text};
        ctx.private_folder = dir / "run";
        ctx.start_program = [this](const fs::path& p) {
            started.push_back(p);
            return fs::exists(p) ? Ok() : Fail("missing");
        };
        return std::make_unique<UpdateCheck>(std::move(ctx), view, main);
    }

    void Descriptor(const std::string& lines) {
        server.Route("/srv/Update.txt", ScriptedResponse::Ok("[LiveUpdate]\r\n" + lines));
    }
    // The descriptor with its signature beside it.
    void SignedDescriptor(const std::string& lines, const test::SigningKey& key = Publisher(),
                          const std::string& comment = {}) {
        const std::string text = "[LiveUpdate]\r\n" + lines;
        server.Route("/srv/Update.txt", ScriptedResponse::Ok(text));
        server.Route("/srv/Update.txt.minisig", ScriptedResponse::Ok(key.Sign(text, false, comment)));
    }
    // A signed database offer naming the checksum of `body`.
    void DbOffer(const std::string& lines, const std::string& body) {
        SignedDescriptor(lines + "DB_SHA256=" + Sha256Of(body) + "\r\n");
    }

    // A complete database at version `version` for the server to offer.
    std::string OfferedDatabase(int version, const std::string& key = {}) {
        TempDir t;
        test::MakeKeyedDatabase(t / "new.db3", test::MiniDatabaseSql(9) + VersionSql(version), key);
        return test::ReadFile(t / "new.db3");
    }

    // A signed offer of a database recording `version`, served as /IR_Database.db3; its bytes.
    std::string ServeDatabaseOffer(int version) {
        std::string offered = OfferedDatabase(version);
        server.Route("/IR_Database.db3", ScriptedResponse::Ok(offered));
        const std::string v = std::to_string(version);
        DbOffer("DB_Version=" + v + "\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", offered);
        return offered;
    }

    std::vector<std::string> Shown() const {
        std::vector<std::string> t;
        for (const auto& s : prompt.shown)
            t.push_back(s.text);
        return t;
    }

    bool UserDatabaseUnchanged() const { return test::ReadFile(paths.Database()) == user_db_bytes; }
};

using Texts = std::vector<std::string>;

} // namespace

TEST_F(UpdateCheckTest, MissingServerIniOrAddressEndsSilently) {
    fs::remove(paths.ServerIni());
    auto check = MakeCheck();
    check->CheckUpdate();
    EXPECT_EQ(check->DbVersion, 3);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(view.update_enabled);

    test::WriteFile(paths.ServerIni(), "[LiveUpdate]\r\nIP_Address=\r\n");
    check->CheckUpdate();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(UpdateCheckTest, EqualProgramAndDatabaseVersionsOfferNothing) {
    Descriptor("APP_Version=2.0.9\r\nDB_Version=3\r\n");
    auto check = MakeCheck();
    check->CheckUpdate();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(test::ReadFile(paths.UpdateDescriptor()), "[LiveUpdate]\r\nAPP_Version=2.0.9\r\nDB_Version=3\r\n");
    EXPECT_TRUE(view.update_enabled);
    EXPECT_EQ(view.progress.back(), 100);
    EXPECT_EQ(check->Log(), "T185\r\n");
}

TEST_F(UpdateCheckTest, TwoAndFourPartProgramVersionsFallThroughToTheDatabase) {
    for (const char* app : {"2.1", "2.1.0.0", "abc.1.2", "999.9.9"}) {
        prompt.shown.clear();
        DbOffer(std::string("APP_Version=") + app + "\r\nDB_Version=4\r\n", "x");
        prompt.answers = {Answer::No};
        auto check = MakeCheck();
        check->CheckUpdate();
        EXPECT_EQ(Shown(), (Texts{"T191"})) << app;
        EXPECT_EQ(prompt.shown.at(0).title, "Tolbe");
        EXPECT_EQ(prompt.shown.at(0).buttons, Prompt::Buttons::YesNo);
        EXPECT_EQ(prompt.shown.at(0).icon, Prompt::Icon::None);
    }
    EXPECT_TRUE(UserDatabaseUnchanged());
}

TEST_F(UpdateCheckTest, DeclinedProgramUpdateSkipsTheDatabase) {
    SignedDescriptor("APP_Version=3.0.0\r\nDB_Version=9\r\nAPP_WEB=" + server.Url("/setup.exe") +
                     "\r\nAPP_SHA256=" + Sha256Of("x") + "\r\n");
    prompt.answers = {Answer::No};
    auto check = MakeCheck();
    check->RunStartupCheck();
    EXPECT_EQ(Shown(), (Texts{"T191"}));
    EXPECT_FALSE(check->AppUpdated);
    EXPECT_EQ(server.RequestsFor("/setup.exe"), 0);
    EXPECT_TRUE(check->MayClose());
}

TEST_F(UpdateCheckTest, AcceptedProgramUpdateFetchesStartsAndQuits) {
    const std::string setup = "#!/bin/sh\nexit 0\n" + std::string(1000, '#');
    server.Route("/dl/Setup.EXE", ScriptedResponse::Ok(setup));
    SignedDescriptor("APP_Version=2.1.0\r\nAPP_WEB=" + server.Url("/dl/Setup.EXE") +
                     "\r\nAPP_SHA256=" + Sha256Of(setup) + "\r\n");
    prompt.answers = {Answer::Yes, Answer::Yes};
    auto check = MakeCheck();
    check->RunStartupCheck();
    EXPECT_TRUE(check->AppUpdated);
    EXPECT_EQ(test::ReadFile(paths.UpdateFolder() / "Setup.EXE"), setup);
    EXPECT_EQ(check->SetupFile, (paths.UpdateFolder() / "Setup.EXE").string());
    EXPECT_EQ(settings.GetSetting(kSettingsApp, kSettingsSection, "Setup"), "1");
    EXPECT_EQ(settings.GetSetting(kSettingsApp, kSettingsSection, "SetupPath"), "Setup.EXE");
    EXPECT_EQ(Shown(), (Texts{"T191", "T192"}));
    ASSERT_EQ(started.size(), 1u);
    // What starts is a private copy of the checked file, outside the Update folder.
    EXPECT_EQ(started[0].filename(), "Setup.EXE");
    EXPECT_EQ(started[0].parent_path().parent_path(), dir / "run");
    EXPECT_EQ(test::ReadFile(started[0]), setup);
    EXPECT_EQ(main.quit_requests, 1);
    EXPECT_EQ(check->Log(), "T181 Setup.EXE...\r\nHTTP/1.1 200 OK" + std::string("T185\r\n"));
    EXPECT_EQ(view.progress.back(), 100);
    // Shown for the transfer, hidden when the check ended.
    EXPECT_EQ(view.visible, (std::vector<bool>{true, false}));
}

TEST_F(UpdateCheckTest, SetupProgramAlreadyThereIsUsedWithoutTransfer) {
    test::WriteFile(paths.UpdateFolder() / "setup.exe", "earlier");
    SignedDescriptor("APP_Version=3.0.0\r\nAPP_WEB=" + server.Url("/setup.exe") +
                     "\r\nAPP_SHA256=" + Sha256Of("earlier") + "\r\n");
    prompt.answers = {Answer::Yes, Answer::No};
    auto check = MakeCheck();
    check->RunStartupCheck();
    EXPECT_TRUE(check->AppUpdated);
    EXPECT_EQ(server.RequestsFor("/setup.exe"), 0);
    EXPECT_EQ(Shown(), (Texts{"T191", "T192"}));
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(main.quit_requests, 0);
}

TEST_F(UpdateCheckTest, SetupProgramThatDoesNotMatchItsChecksumIsFetchedAgain) {
    test::WriteFile(paths.UpdateFolder() / "setup.exe", "stale");
    server.Route("/setup.exe", ScriptedResponse::Ok("abc"));
    SignedDescriptor("APP_Version=3.0.0\r\nAPP_WEB=" + server.Url("/setup.exe") +
                     "\r\nAPP_SHA256=BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD\r\n");
    prompt.answers = {Answer::Yes, Answer::No};
    auto check = MakeCheck();
    check->RunStartupCheck();
    EXPECT_TRUE(check->AppUpdated);
    EXPECT_EQ(test::ReadFile(paths.UpdateFolder() / "setup.exe"), "abc");
}

TEST_F(UpdateCheckTest, SetupProgramThatCannotStartKeepsTheProgramRunning) {
    server.Route("/setup.exe", ScriptedResponse::Ok("MZ-not-for-here"));
    SignedDescriptor("APP_Version=3.0.0\r\nAPP_WEB=" + server.Url("/setup.exe") +
                     "\r\nAPP_SHA256=" + Sha256Of("MZ-not-for-here") + "\r\n");
    prompt.answers = {Answer::Yes, Answer::Yes};
    UpdateContext ctx{paths, settings, prompt, std::ref(yield), Text};
    UpdateCheck check(std::move(ctx), view, main); // the real process start
    check.RunStartupCheck();
    EXPECT_EQ(Shown(), (Texts{"T191", "T192", "T196"}));
    EXPECT_EQ(main.quit_requests, 0);
}

TEST_F(UpdateCheckTest, ProgramUpdateThatNeverArrivesIsAFailure) {
    SignedDescriptor("APP_Version=3.0.0\r\nAPP_WEB=http://127.0.0.1:" + std::to_string(test::ClosedPort()) +
                     "/setup.exe\r\nAPP_SHA256=" + Sha256Of("x") + "\r\n");
    prompt.answers = {Answer::Yes};
    auto check = MakeCheck();
    check->RunStartupCheck();
    EXPECT_FALSE(check->AppUpdated);
    EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
    EXPECT_FALSE(fs::exists(paths.UpdateFolder() / "setup.exe"));
}

TEST_F(UpdateCheckTest, HigherDatabaseIsFetchedVerifiedAndSwappedIn) {
    const std::string offered = OfferedDatabase(7);
    ASSERT_EQ(offered.size() % 512, 0u) << "a database is whole pages, so the body ends with an empty read";
    server.Route("/db/IR_Database.db3", ScriptedResponse::Ok(offered));
    // Under a checksum it does not have, the same file is refused.
    std::string bad = Sha256Of(offered);
    bad[0] = bad[0] == '0' ? '1' : '0';
    SignedDescriptor("DB_Version=7\r\nDB_WEB=" + server.Url("/db/IR_Database.db3") + "\r\nDB_SHA256=" + bad + "\r\n");
    prompt.answers = {Answer::Yes};
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
    EXPECT_FALSE(fs::exists(paths.UpdateDatabase()));
    EXPECT_TRUE(main.reconnected_with.empty());
    EXPECT_TRUE(UserDatabaseUnchanged());

    prompt.shown.clear();
    DbOffer("APP_Version=2.0.9\r\nDB_Version=7\r\nDB_WEB=" + server.Url("/db/IR_Database.db3") + "\r\n", offered);
    prompt.answers = {Answer::Yes};
    auto check = MakeCheck();
    check->RunStartupCheck();
    EXPECT_EQ(Shown(), (Texts{"T191", "T183"}));
    EXPECT_EQ(main.reconnected_with, std::vector<std::int16_t>{7});
    EXPECT_EQ(test::ReadFile(paths.Database()), offered);
    EXPECT_EQ(test::ReadFile(paths.DatabaseBackup()), user_db_bytes);
    EXPECT_EQ(main.Get_Database_Ver(), 7);
    EXPECT_EQ(view.progress.back(), 100);
    EXPECT_FALSE(check->AppUpdated);
}

TEST_F(UpdateCheckTest, ADatabaseWrittenByAnotherHandIsTakenAsAnUpdate) {
    // A publisher's file with its own names for the columns read by position (version 7).
    const fs::path fixture = fs::path(TOLBE_FIXTURES_DIR) / "foreign-columns.sql";
    if (!fs::exists(fixture)) {
        if (std::getenv("TOLBE_REQUIRE_FIXTURES") != nullptr) FAIL() << fixture << " is missing";
        GTEST_SKIP() << fixture << " is missing";
    }
    TempDir t;
    test::MakeKeyedDatabase(t / "new.db3", test::ReadFile(fixture));
    const std::string offered = test::ReadFile(t / "new.db3");
    server.Route("/IR_Database.db3", ScriptedResponse::Ok(offered));
    DbOffer("DB_Version=7\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", offered);
    prompt.answers = {Answer::Yes};
    MakeCheck()->RunStartupCheck();
    EXPECT_EQ(Shown(), (Texts{"T191", "T183"}));
    EXPECT_EQ(main.reconnected_with, std::vector<std::int16_t>{7});
    EXPECT_EQ(test::ReadFile(paths.Database()), offered);
}

TEST_F(UpdateCheckTest, CorruptOrForeignDatabasesNeverReplaceTheUsersOne) {
    std::string corrupt = OfferedDatabase(9);
    for (std::size_t i = 4096; i < corrupt.size(); i += 7)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    const std::string bodies[] = {corrupt, OfferedDatabase(9, "some-other-key-entirely"), std::string(8192, 'x')};
    for (const auto& body : bodies) {
        prompt.shown.clear();
        server.Route("/IR_Database.db3", ScriptedResponse::Ok(body));
        DbOffer("DB_Version=9\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", body);
        prompt.answers = {Answer::Yes};
        MakeCheck()->CheckUpdate();
        EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
        EXPECT_TRUE(main.reconnected_with.empty());
        EXPECT_TRUE(UserDatabaseUnchanged());
    }
}

TEST_F(UpdateCheckTest, DatabaseTransferThatFailsLeavesNothingBehind) {
    ScriptedResponse dropped = ScriptedResponse::Ok(OfferedDatabase(9));
    dropped.drop_after = 3000;
    ScriptedResponse no_number = ScriptedResponse::Ok("x");
    no_number.head = "HTTP/1.1 200 OK\r\nContent-Length: abc\r\nConnection: close\r\n\r\n";
    const ScriptedResponse cases[] = {dropped, no_number};
    for (const auto& r : cases) {
        prompt.shown.clear();
        server.Route("/IR_Database.db3", r);
        DbOffer("DB_Version=9\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", r.body);
        prompt.answers = {Answer::Yes};
        MakeCheck()->CheckUpdate();
        EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
        EXPECT_FALSE(fs::exists(paths.UpdateDatabase()));
        EXPECT_TRUE(UserDatabaseUnchanged());
    }
}

TEST_F(UpdateCheckTest, CancelDuringTheStartupCheckStopsTheTransferButNotTheWindow) {
    ScriptedResponse slow = ScriptedResponse::Ok(OfferedDatabase(9));
    slow.chunk_bytes = 2048;
    slow.chunk_delay = std::chrono::milliseconds(2);
    server.Route("/IR_Database.db3", slow);
    DbOffer("DB_Version=9\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", slow.body);
    prompt.answers = {Answer::Yes};
    auto check = MakeCheck();
    UpdateCheck* c = check.get();
    yield.action = [&] {
        // Only once the database transfer runs (its log line is there).
        if (c->tg().Running() && c->tg().DownloadedBytes > 0 && c->Log().find("IR_Database.db3") != std::string::npos) {
            c->CmdCancel_Click();
            EXPECT_EQ(view.visible, std::vector<bool>{true}) << "the window must stay open during the check";
        } else {
            yield.at = yield.count + 1;
        }
    };
    yield.at = 1;
    check->RunStartupCheck();
    EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
    EXPECT_FALSE(fs::exists(paths.UpdateDatabase()));
    EXPECT_TRUE(UserDatabaseUnchanged());
    EXPECT_EQ(view.visible, (std::vector<bool>{true, false}));

    // After the check the window may close.
    check->CmdCancel_Click();
    EXPECT_EQ(view.visible.back(), false);
    EXPECT_EQ(view.visible.size(), 3u);
}

TEST_F(UpdateCheckTest, UrlsThatNameNoPlainFileAreRefused) {
    for (const std::string& tail : {std::string("/db/"), std::string("/db/.."), std::string("/..")}) {
        prompt.shown.clear();
        DbOffer("DB_Version=9\r\nDB_WEB=" + server.Url(tail) + "\r\n", "x");
        prompt.answers = {Answer::Yes};
        MakeCheck()->CheckUpdate();
        EXPECT_EQ(Shown(), (Texts{"T191", "T196"})) << tail;
        EXPECT_TRUE(UserDatabaseUnchanged());
    }
    // A descriptor address without a file name ends the check before any request.
    test::WriteFile(paths.ServerIni(), "[LiveUpdate]\r\nIP_Address=" + server.Url("/srv/") + "\r\n");
    prompt.shown.clear();
    MakeCheck()->CheckUpdate();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(server.RequestsFor("/srv/"), 0);
}

TEST_F(UpdateCheckTest, DescriptorThatCannotBeFetchedEndsSilently) {
    ScriptedResponse nolen;
    nolen.head = "HTTP/1.0 200 OK\r\n\r\n";
    nolen.body = "[LiveUpdate]\r\nDB_Version=9\r\n";
    server.Route("/srv/Update.txt", nolen);
    auto check = MakeCheck();
    check->CheckUpdate();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_FALSE(fs::exists(paths.UpdateDescriptor()));

    // A 404 page: nothing is written either.
    test::WriteFile(paths.ServerIni(), "[LiveUpdate]\r\nIP_Address=" + server.Url("/gone/Update.txt") + "\r\n");
    check->CheckUpdate();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_FALSE(fs::exists(paths.UpdateDescriptor()));
    EXPECT_TRUE(view.update_enabled);
}

TEST_F(UpdateCheckTest, BrokenVersionRecordEndsTheCheckInOrder) {
    main.throw_on_version = true;
    Descriptor("DB_Version=9\r\n");
    auto check = MakeCheck();
    check->RunStartupCheck();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(view.update_enabled);
    EXPECT_TRUE(check->MayClose());
}

TEST_F(UpdateCheckTest, TargetsThatCannotBeDeletedEndTheUpdateInOrder) {
    // The descriptor's place is taken by a folder with content: the check ends silently.
    fs::create_directories(paths.UpdateDescriptor() / "inside");
    Descriptor("DB_Version=9\r\n");
    MakeCheck()->CheckUpdate();
    EXPECT_TRUE(prompt.shown.empty());
    fs::remove_all(paths.UpdateDescriptor());

    // The database's place likewise: the accepted update fails.
    fs::create_directories(paths.UpdateDatabase() / "inside");
    server.Route("/IR_Database.db3", ScriptedResponse::Ok(OfferedDatabase(9)));
    DbOffer("DB_Version=9\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", "x");
    prompt.answers = {Answer::Yes};
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
    EXPECT_EQ(server.RequestsFor("/IR_Database.db3"), 0);
    EXPECT_TRUE(UserDatabaseUnchanged());
}

TEST_F(UpdateCheckTest, UnwritableUpdateFolderReportsTheFileAndFails) {
#ifdef _WIN32
    GTEST_SKIP() << "a folder's permission bits do not bind on Windows";
#else
    const std::string offered = ServeDatabaseOffer(9);
    auto check = MakeCheck();
    check->CheckUpdate(); // fetches the descriptor while the folder is still writable
    prompt.shown.clear();

    // Now the folder takes no new files; the descriptor already there cannot be deleted.
    fs::permissions(paths.UpdateFolder(), fs::perms::owner_read | fs::perms::owner_exec);
    {
        WithoutFileOverride as_user;
        check->CheckUpdate();
    }
    fs::permissions(paths.UpdateFolder(), fs::perms::owner_all);
    EXPECT_TRUE(prompt.shown.empty()) << "the descriptor could not be replaced, so nothing is offered";
    EXPECT_EQ(server.RequestsFor("/IR_Database.db3"), 0);

    // A fresh descriptor, but no room for the database file.
    fs::permissions(paths.UpdateFolder(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::owner_write);
    fs::remove(paths.UpdateDescriptor());
    check->tg().URL(server.Url("/srv/Update.txt"));
    prompt.answers = {Answer::Yes};
    {
        // The descriptor arrives; then the folder closes while the question is open.
        prompt.while_open = [&](const test::ScriptedPrompt::Shown&) {
            fs::permissions(paths.UpdateFolder(), fs::perms::owner_read | fs::perms::owner_exec);
            prompt.while_open = nullptr;
        };
        WithoutFileOverride as_user;
        check->CheckUpdate();
    }
    fs::permissions(paths.UpdateFolder(), fs::perms::owner_all);
    const std::string target = (paths.UpdateFolder() / "IR_Database.db3").string();
    EXPECT_EQ(Shown(), (Texts{"T191", "File " + target + " are used, can't delete!", "T196"}));
    EXPECT_EQ(prompt.shown.at(1).title, "T184");
    EXPECT_EQ(prompt.shown.at(1).icon, Prompt::Icon::Error);
    EXPECT_TRUE(UserDatabaseUnchanged());
#endif
}

// ---- What the server may and may not do ----

TEST_F(UpdateCheckTest, OnlyATrustedSignatureMakesAProgramOffer) {
    const std::string setup = "#!/bin/sh\nexit 0\n";
    server.Route("/setup.sh", ScriptedResponse::Ok(setup));
    const std::string lines = "APP_Version=9.9.9\r\nDB_Version=3\r\nAPP_WEB=" + server.Url("/setup.sh") +
                              "\r\nAPP_SHA256=" + Sha256Of(setup) + "\r\n";
    const std::string text = "[LiveUpdate]\r\n" + lines;
    const std::string no_checksum = "[LiveUpdate]\r\nAPP_Version=9.9.9\r\nAPP_WEB=" + server.Url("/setup.sh") + "\r\n";
    // Signed in this order, so no later case carries an older signing time than one accepted before.
    struct Case {
        const char* what;
        std::string descriptor, signature;
        bool offered;
    };
    const Case cases[] = {
        {"unsigned", text, "", false},
        {"altered after signing", text + "DB_WEB=x\r\n", Publisher().Sign(text), false},
        {"untrusted key", text, Stranger().Sign(text), false},
        {"not a signature", text, "untrusted comment: x\nRWQ=\n", false},
        {"signed without checksum", no_checksum, Publisher().Sign(no_checksum), false},
        {"signed, prehashed", text, Publisher().Sign(text), true},
        {"signed, legacy form", text, Publisher().Sign(text, true), true},
    };
    for (const Case& c : cases) {
        prompt.shown.clear();
        started.clear();
        server.Route("/srv/Update.txt", ScriptedResponse::Ok(c.descriptor));
        const std::string& sig = c.signature;
        if (sig.empty())
            server.Route("/srv/Update.txt.minisig", ScriptedResponse{"HTTP/1.1 404 Not Found\r\n\r\n", ""});
        else
            server.Route("/srv/Update.txt.minisig", ScriptedResponse::Ok(sig));
        prompt.answers = {Answer::Yes, Answer::Yes};
        auto check = MakeCheck();
        check->RunStartupCheck();
        EXPECT_EQ(check->DescriptorTrusted(), c.offered || std::string(c.what) == "signed without checksum") << c.what;
        if (c.offered) {
            EXPECT_EQ(Shown(), (Texts{"T191", "T192"})) << c.what;
            EXPECT_EQ(started.size(), 1u) << c.what;
            EXPECT_EQ(test::ReadFile(PathFromUtf8(paths.UpdateDescriptor().string() + ".minisig")), sig) << c.what;
        } else {
            // Nothing asked, nothing fetched, nothing started; the equal database offers nothing.
            EXPECT_TRUE(prompt.shown.empty()) << c.what;
            EXPECT_TRUE(started.empty()) << c.what;
        }
        // The signature is kept beside the descriptor only when it holds.
        EXPECT_EQ(fs::exists(PathFromUtf8(paths.UpdateDescriptor().string() + ".minisig")), check->DescriptorTrusted())
            << c.what;
        fs::remove(paths.UpdateFolder() / "setup.sh");
    }
    EXPECT_EQ(server.RequestsFor("/setup.sh"), 2);

    // A trusted descriptor whose setup program is not the one it announced: never started.
    prompt.shown.clear();
    started.clear();
    server.Route("/setup.sh", ScriptedResponse::Ok(setup + "rm -rf ~\n"));
    SignedDescriptor(lines);
    prompt.answers = {Answer::Yes, Answer::Yes};
    MakeCheck()->RunStartupCheck();
    EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(fs::exists(paths.UpdateFolder() / "setup.sh"));
}

TEST_F(UpdateCheckTest, ServerNeverChoosesTheFoldersOwnFiles) {
    const std::string server_ini = test::ReadFile(paths.ServerIni());
    const std::string offered = OfferedDatabase(9);
    for (const char* name : {"Server.ini", "Update.txt", "Update.txt.minisig", "IR_Database.db3.part1", "x.sh"}) {
        server.Route(std::string("/f/") + name, ScriptedResponse::Ok(offered));
        // As a database and as a setup program, signed.
        for (const bool as_program : {false, true}) {
            prompt.shown.clear();
            const std::string url = server.Url(std::string("/f/") + name);
            if (as_program)
                SignedDescriptor("APP_Version=3.0.0\r\nAPP_WEB=" + url + "\r\nAPP_SHA256=" + Sha256Of(offered) +
                                 "\r\n");
            else
                DbOffer("DB_Version=9\r\nDB_WEB=" + url + "\r\n", offered);
            prompt.answers = {Answer::Yes, Answer::No};
            MakeCheck()->RunStartupCheck();
            const bool allowed = as_program && std::string(name) == "x.sh";
            EXPECT_EQ(Shown(), (allowed ? Texts{"T191", "T192"} : Texts{"T191", "T196"})) << name << as_program;
            EXPECT_EQ(test::ReadFile(paths.ServerIni()), server_ini) << name;
            EXPECT_TRUE(UserDatabaseUnchanged()) << name;
        }
    }

    // The descriptor lands at its fixed name whatever the address ends in; leftovers of dead
    // runs go, the temporaries of a live process stay.
    const std::string dead = ".part2147483646";
    const std::string alive = ".part" + std::to_string(LiveOtherProcess());
    test::WriteFile(paths.UpdateFolder() / ("IR_Database.db3" + dead), "x");
    test::WriteFile(paths.DatabaseFolder() / ("IR_Database.db3" + dead), "x");
    test::WriteFile(paths.UpdateFolder() / ("Update.txt" + alive), "x");
    server.Route("/srv/Server.ini", ScriptedResponse::Ok("[LiveUpdate]\r\nIP_Address=http://evil/\r\n"));
    test::WriteFile(paths.ServerIni(), "[LiveUpdate]\r\nIP_Address=" + server.Url("/srv/Server.ini") + "\r\n");
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(test::ReadFile(paths.UpdateDescriptor()), "[LiveUpdate]\r\nIP_Address=http://evil/\r\n");
    EXPECT_NE(test::ReadFile(paths.ServerIni()).find(server.Url("/srv/Server.ini")), std::string::npos);
    EXPECT_FALSE(fs::exists(paths.UpdateFolder() / ("IR_Database.db3" + dead)));
    EXPECT_FALSE(fs::exists(paths.DatabaseFolder() / ("IR_Database.db3" + dead)));
    EXPECT_TRUE(fs::exists(paths.UpdateFolder() / ("Update.txt" + alive)));
}

TEST_F(UpdateCheckTest, DatabaseOlderThanTheUsersIsRefusedWhateverTheDescriptorSays) {
    // The user has version 3; each offer claims 9 in the descriptor.
    TempDir t;
    test::MakeKeyedDatabase(t / "none.db3", test::MiniDatabaseSql(9));
    const std::string bodies[] = {OfferedDatabase(1), OfferedDatabase(3), test::ReadFile(t / "none.db3")};
    for (const auto& body : bodies) {
        for (const bool signed_descriptor : {false, true}) {
            prompt.shown.clear();
            server.Route("/IR_Database.db3", ScriptedResponse::Ok(body));
            const std::string lines = "DB_Version=9\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n";
            // Unsigned, it is not even offered.
            signed_descriptor ? DbOffer(lines, body) : Descriptor(lines);
            prompt.answers = {Answer::Yes};
            MakeCheck()->CheckUpdate();
            EXPECT_EQ(Shown(), (signed_descriptor ? Texts{"T191", "T196"} : Texts{}));
            EXPECT_TRUE(main.reconnected_with.empty());
            EXPECT_TRUE(UserDatabaseUnchanged());
            EXPECT_FALSE(fs::exists(paths.UpdateDatabase()));
        }
    }
}

TEST_F(UpdateCheckTest, EndlessAndOversizedAnswersAreCutOff) {
    ScriptedResponse huge;
    huge.head = "HTTP/1.1 200 OK\r\nContent-Length: 100000000000\r\n\r\n";
    huge.body = "[LiveUpdate]\r\n" + std::string(64 * 1024, '#') + "\r\nDB_Version=9\r\n";
    huge.endless = true;
    ScriptedResponse no_length = huge;
    no_length.head = "HTTP/1.0 200 OK\r\n\r\n";
    ScriptedResponse disguised = huge;
    disguised.head = "HTTP/1.1 200 OK\r\nX-Content-Length: 100\r\nContent-Length: 70000\r\n\r\n";
    ScriptedResponse lying = huge;
    lying.head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    const long long before = PeakMemoryKiB();
    for (const auto& r : {huge, no_length, disguised, lying}) {
        server.Route("/srv/Update.txt", r);
        const auto start = std::chrono::steady_clock::now();
        MakeCheck()->CheckUpdate();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_TRUE(prompt.shown.empty());
        std::uintmax_t total = 0;
        for (const auto& e : fs::directory_iterator(paths.UpdateFolder()))
            total += fs::is_regular_file(e) ? fs::file_size(e) : 0;
        EXPECT_LE(total, kDescriptorMaxBytes) << r.head;
    }
    EXPECT_LT(PeakMemoryKiB() - before, 64 * 1024) << "kB of peak memory added";

    // A database announced beyond the cap is refused before a byte of it arrives.
    ScriptedResponse big_db;
    big_db.head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kFileMaxBytes + 1) + "\r\n\r\n";
    big_db.body = std::string(4096, 'd');
    big_db.endless = true;
    server.Route("/IR_Database.db3", big_db);
    DbOffer("DB_Version=9\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", "x");
    prompt.answers = {Answer::Yes};
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
    EXPECT_FALSE(fs::exists(paths.UpdateDatabase()));
}

TEST_F(UpdateCheckTest, ServerTextReachesTheLogOnlyAsPrintableCharacters) {
    ScriptedResponse r = ScriptedResponse::Ok(OfferedDatabase(9));
    r.head = "HTTP/1.1 200 \x1b]0;owned\x07OK\xc2\x9b"
             "31m\r\nContent-Length: " +
             std::to_string(r.body.size()) + "\r\n\r\n";
    server.Route("/IR_Database.db3", r);
    DbOffer("DB_Version=9\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", r.body);
    prompt.answers = {Answer::Yes};
    auto check = MakeCheck();
    check->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191", "T183"}));
    EXPECT_EQ(check->Log(), "T181 IR_Database.db3...\r\nHTTP/1.1 200 ?]0;owned?OK??31mT185\r\n");
}

TEST(Minisign, TrustedKeysComeFromTheBuildAndFromServerIni) {
    ASSERT_TRUE(BuiltInPublisherKey().has_value()) << "TOLBE_UPDATE_PUBLIC_KEY is not a minisign public key";
    TempDir dir;
    const test::SigningKey& k = Publisher();
    test::WriteFile(dir / "Server.ini",
                    "[LiveUpdate]\r\nIP_Address=http://x/Update.txt\r\n publickey = " + k.PublicKey() +
                        "\r\nPublicKey=RWQnotakey\r\n;PublicKey=" + Stranger().PublicKey() + "\r\n");
    const auto keys = TrustedUpdateKeys(dir / "Server.ini");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0], *BuiltInPublisherKey());
    EXPECT_EQ(keys[1], *ParseMinisignKey(k.PublicKey()));
}

#ifndef _WIN32 // there the scenarios (tests/win) sign with the minisign tool
// The tests sign through libsodium; what publishers really produce is the minisign tool's own.
TEST(Minisign, WhatTheMinisignToolWritesVerifies) {
    TempDir dir;
    const auto tool = [&](const std::vector<std::string>& args) {
        const auto r = test::RunProgram("minisign", args, dir.Path());
        ASSERT_EQ(r.status, 0) << r.err;
    };
    tool({"-G", "-W", "-p", (dir / "k.pub").string(), "-s", (dir / "k.key").string()});
    const auto key = ParseMinisignKey(test::ReadFile(dir / "k.pub"));
    ASSERT_TRUE(key.has_value());
    test::WriteFile(dir / "Update.txt", "[LiveUpdate]\r\nDB_Version=9\r\n");
    for (const bool legacy : {false, true}) {
        std::vector<std::string> sign = {"-S", "-s", (dir / "k.key").string(), "-m", (dir / "Update.txt").string()};
        if (legacy) sign.push_back("-l");
        tool(sign);
        const std::string sig = test::ReadFile(dir / "Update.txt.minisig");
        const auto comment = VerifyMinisign(test::ReadFile(dir / "Update.txt"), sig, {*key});
        ASSERT_TRUE(comment) << comment.Error();
        EXPECT_EQ(ParseTrustedComment(*comment)->file, "Update.txt");
        EXPECT_FALSE(VerifyMinisign("[LiveUpdate]\r\nDB_Version=8\r\n", sig, {*key})) << legacy;
    }
}
#endif

// ---- An attacker who also controls timing, files and the database ----

TEST_F(UpdateCheckTest, AnotherCheckDuringTheQuestionCannotChangeWhatIsFetchedOrStarted) {
    const std::string good = "#!/bin/sh\nexit 0\n";
    const std::string evil = "#!/bin/sh\nrm -rf ~\n";
    server.Route("/good.sh", ScriptedResponse::Ok(good));
    server.Route("/evil.sh", ScriptedResponse::Ok(evil));
    SignedDescriptor("APP_Version=3.0.0\r\nAPP_WEB=" + server.Url("/good.sh") + "\r\nAPP_SHA256=" + Sha256Of(good) +
                     "\r\n");
    prompt.answers = {Answer::Yes, Answer::Yes};
    // While run A waits at its first question, run B (a cron job, another session) gets an
    // unsigned descriptor naming another program with its hash.
    test::ScriptedPrompt other_prompt;
    RecordingView other_view;
    bool once = true;
    prompt.while_open = [&](const test::ScriptedPrompt::Shown&) {
        if (!std::exchange(once, false)) return;
        server.Route("/srv/Update.txt.minisig", ScriptedResponse{"HTTP/1.1 404 Not Found\r\n\r\n", ""});
        server.Route("/srv/Update.txt",
                     ScriptedResponse::Ok("[LiveUpdate]\r\nAPP_Version=3.0.0\r\nAPP_WEB=" + server.Url("/evil.sh") +
                                          "\r\nAPP_SHA256=" + Sha256Of(evil) + "\r\n"));
        UpdateContext ctx{paths, settings, other_prompt, std::ref(yield), Text};
        ctx.start_program = [this](const fs::path& p) { return started.push_back(p), Ok(); };
        UpdateCheck(std::move(ctx), other_view, main).RunStartupCheck();
    };
    MakeCheck()->RunStartupCheck();
    EXPECT_EQ(server.RequestsFor("/evil.sh"), 0);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(test::ReadFile(started[0]), good);
    // Run B is told why it did nothing.
    ASSERT_EQ(other_prompt.shown.size(), 1u);
    EXPECT_EQ(other_prompt.shown[0].text, "T481\nanother update check of this user is running");
}

TEST_F(UpdateCheckTest, TheSetupThatStartsIsTheOneThatWasHashed) {
    const std::string good = "#!/bin/sh\nexit 0\n";
    server.Route("/setup.sh", ScriptedResponse::Ok(good));
    SignedDescriptor("APP_Version=3.0.0\r\nAPP_WEB=" + server.Url("/setup.sh") + "\r\nAPP_SHA256=" + Sha256Of(good) +
                     "\r\n");
    prompt.answers = {Answer::Yes, Answer::Yes};
    std::string ran;
    UpdateContext ctx{paths, settings, prompt, std::ref(yield), Text};
    ctx.private_folder = dir / "run";
    ctx.start_program = [&](const fs::path& p) {
        // The name in the Update folder is swapped by a rename after the check, before the start.
        test::WriteFile(dir / "evil", "#!/bin/sh\nrm -rf ~\n");
        fs::rename(dir / "evil", paths.UpdateFolder() / "setup.sh");
        ran = test::ReadFile(p);
        return Ok();
    };
    UpdateCheck(std::move(ctx), view, main).RunStartupCheck();
    EXPECT_EQ(ran, good);
    EXPECT_EQ(main.quit_requests, 1);
}

TEST_F(UpdateCheckTest, PlantedLinksAreNeverFollowedAndOnlyOwnLeftoversGo) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
    const std::string offered = ServeDatabaseOffer(9);
    const std::string pid = ".part" + std::to_string(::getpid());
    const fs::path victims[] = {dir / "victim1", dir / "victim2", dir / "victim3"};
    for (const auto& v : victims)
        test::WriteFile(v, "precious");
    // Files the program never wrote, whatever their names look like.
    test::WriteFile(paths.DatabaseFolder() / "IR_Database.db3.part0", "mine");
    test::WriteFile(paths.UpdateFolder() / "notes.part2147483646", "mine");
    prompt.answers = {Answer::Yes};
    bool once = true;
    prompt.while_open = [&](const test::ScriptedPrompt::Shown&) {
        if (!std::exchange(once, false)) return;
        // During the question: links at the names of the transfer, the backup and its temporary.
        fs::create_symlink(victims[0], paths.UpdateDatabase().string() + pid);
        fs::create_symlink(victims[1], paths.DatabaseBackup());
        fs::create_symlink(victims[2], paths.DatabaseBackup().string() + pid);
    };
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191", "T183"}));
    for (const auto& v : victims)
        EXPECT_EQ(test::ReadFile(v), "precious") << v;
    EXPECT_EQ(test::ReadFile(paths.Database()), offered);
    EXPECT_FALSE(fs::is_symlink(paths.DatabaseBackup()));
    EXPECT_EQ(test::ReadFile(paths.DatabaseBackup()), user_db_bytes);
    EXPECT_TRUE(fs::exists(paths.DatabaseFolder() / "IR_Database.db3.part0"));
    EXPECT_TRUE(fs::exists(paths.UpdateFolder() / "notes.part2147483646"));
#endif
}

TEST_F(UpdateCheckTest, OnlyCurrentSignedDescriptorsOfferADatabase) {
    // An unsigned descriptor with a copy at the highest version: not offered, not taken.
    const std::string top = OfferedDatabase(32767);
    server.Route("/IR_Database.db3", ScriptedResponse::Ok(top));
    const std::string lines = "DB_Version=32767\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n";
    Descriptor(lines + "DB_SHA256=" + Sha256Of(top) + "\r\n");
    MakeCheck()->CheckUpdate();
    // Signed but without DB_SHA256, or by a signature naming another file: not offered either.
    SignedDescriptor(lines);
    MakeCheck()->CheckUpdate();
    const std::string now = std::to_string(std::time(nullptr));
    SignedDescriptor(lines + "DB_SHA256=" + Sha256Of(top) + "\r\n", Publisher(),
                     "timestamp:" + now + "\tfile:Other.txt");
    MakeCheck()->CheckUpdate();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(UserDatabaseUnchanged());

    // A current signed descriptor is offered (declined here); one signed earlier is a replay.
    const std::string seven = OfferedDatabase(7);
    server.Route("/IR_Database.db3", ScriptedResponse::Ok(seven));
    const std::string offer =
        "DB_Version=7\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\nDB_SHA256=" + Sha256Of(seven) + "\r\n";
    SignedDescriptor(offer, Publisher(), "timestamp:" + now + "\tfile:Update.txt");
    prompt.answers = {Answer::No};
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191"}));
    SignedDescriptor(offer, Publisher(), "timestamp:" + std::to_string(std::stoll(now) - 3600) + "\tfile:Update.txt");
    prompt.answers = {Answer::Yes};
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191"}));
    EXPECT_TRUE(UserDatabaseUnchanged());
}

TEST_F(UpdateCheckTest, SigningTimesAheadOfTheClockOrAnUnreadableRecordNeverEndUpdatesSilently) {
    const std::string seven = OfferedDatabase(7);
    server.Route("/IR_Database.db3", ScriptedResponse::Ok(seven));
    const std::string offer =
        "DB_Version=7\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\nDB_SHA256=" + Sha256Of(seven) + "\r\n";
    const std::string now = std::to_string(std::time(nullptr));
    const std::string in_2100 = "4102444800";
    auto signed_at = [&](const std::string& t) {
        SignedDescriptor(offer, Publisher(), "timestamp:" + t + "\tfile:Update.txt");
    };
    // Signed for 2100: refused and not recorded; a current one answered No: not recorded either.
    signed_at(in_2100);
    MakeCheck()->CheckUpdate();
    EXPECT_TRUE(prompt.shown.empty());
    signed_at(now);
    prompt.answers = {Answer::No};
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191"}));
    EXPECT_FALSE(fs::exists(paths.SignedStamp()));

    // A planted time in the future is not believed: the current descriptor is offered and taken,
    // and its time replaces the record.
    test::WriteFile(paths.SignedStamp(), in_2100 + "\n");
    prompt.shown.clear();
    prompt.answers = {Answer::Yes};
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191", "T183"}));
    EXPECT_EQ(test::ReadFile(paths.SignedStamp()), now + "\n");

    // A record that cannot be read refuses every descriptor, and the user is told each time.
    const std::string damaged[] = {"garbage\n", std::string(65, '1'), "99999999999999999999\n"};
    for (const std::string& bytes : damaged) {
        test::WriteFile(paths.SignedStamp(), bytes);
        prompt.shown.clear();
        MakeCheck()->CheckUpdate();
        ASSERT_EQ(prompt.shown.size(), 1u) << bytes;
        EXPECT_TRUE(prompt.shown[0].text.starts_with("T480\nthe record of signing times")) << prompt.shown[0].text;
        EXPECT_EQ(test::ReadFile(paths.SignedStamp()), bytes);
    }
#ifndef _WIN32 // symbolic links need a privilege on Windows
    fs::remove(paths.SignedStamp());
    test::WriteFile(dir / "elsewhere", now + "\n");
    fs::create_symlink(dir / "elsewhere", paths.SignedStamp());
    prompt.shown.clear();
    MakeCheck()->CheckUpdate();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].text.starts_with("T480\n"));
#endif
    EXPECT_EQ(server.RequestsFor("/IR_Database.db3"), 1) << "only the one accepted offer was fetched";
}

TEST_F(UpdateCheckTest, ACancelBetweenTwoStepsOrDuringTheHashIsNeverLost) {
    const std::string offered = ServeDatabaseOffer(9);
    // Cancel while the question is open, before the database transfer starts.
    auto check = MakeCheck();
    prompt.while_open = [&](const test::ScriptedPrompt::Shown& shown) {
        if (shown.text == "T191") check->CmdCancel_Click();
    };
    prompt.answers = {Answer::Yes};
    check->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
    EXPECT_EQ(server.RequestsFor("/IR_Database.db3"), 0);
    // Cancel once the transfer has finished, as the hash begins.
    prompt.while_open = nullptr;
    prompt.shown.clear();
    prompt.answers = {Answer::Yes};
    view.on_log = [&](const std::string& log) {
        if (log.find("IR_Database.db3") != std::string::npos && log.find("T185") != std::string::npos)
            check->CmdCancel_Click(); // "[Finished]" after the database's transfer
    };
    check->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191", "T196"}));
    EXPECT_EQ(server.RequestsFor("/IR_Database.db3"), 1);
    EXPECT_TRUE(main.reconnected_with.empty());
    EXPECT_TRUE(UserDatabaseUnchanged());
    EXPECT_FALSE(fs::exists(paths.UpdateDatabase()));
}

TEST_F(UpdateCheckTest, TheUpdateFolderIsPrivateAndALockHeldByAnotherProcessIsSaid) {
#ifdef _WIN32
    GTEST_SKIP() << "fork and POSIX file modes";
#else
    ServeDatabaseOffer(9);
    fs::permissions(paths.UpdateFolder(), fs::perms(0755));
    // Another process (tolbe-cli, another session) holds the lock.
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        UpdateFolderLock held(paths.UpdateFolder());
        char c = held.Held() ? 'y' : 'n';
        if (::write(ready[1], &c, 1) != 1) ::_exit(2);
        (void)::read(release[0], &c, 1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');
    EXPECT_EQ(fs::status(paths.UpdateFolder()).permissions() & fs::perms::all, fs::perms(0700));
    EXPECT_EQ(fs::status(paths.UpdateFolder() / kLockFileName).permissions() & fs::perms::all, fs::perms(0600));
    prompt.answers = {Answer::Yes};
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T481\nanother update check of this user is running"}));
    EXPECT_EQ(server.RequestsFor("/srv/Update.txt"), 0);
    // Once it is let go, the next check runs.
    ASSERT_EQ(::write(release[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, 0), holder);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);
    prompt.shown.clear();
    prompt.answers = {Answer::Yes};
    MakeCheck()->CheckUpdate();
    EXPECT_EQ(Shown(), (Texts{"T191", "T183"}));
#endif
}

TEST_F(UpdateCheckTest, ADatabaseInUseThatCannotBeReplacedIsNotOffered) {
#ifdef _WIN32
    GTEST_SKIP() << "a folder's permission bits do not bind on Windows";
#else
    const std::string offered = ServeDatabaseOffer(9);
    const fs::path mine = dir / "ro" / "mine.db3";
    fs::create_directories(mine.parent_path());
    fs::copy_file(paths.Database(), mine);
    settings.Set(settings_key::kDatabasePath, mine.string());
    fs::permissions(mine.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    {
        WithoutFileOverride as_user;
        MakeCheck()->CheckUpdate();
    }
    fs::permissions(mine.parent_path(), fs::perms::owner_all);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, "T196\nthe folder " + mine.parent_path().string() + " cannot be written");
    EXPECT_EQ(server.RequestsFor("/IR_Database.db3"), 0);
#endif
}
