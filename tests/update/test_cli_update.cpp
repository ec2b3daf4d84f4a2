#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "tests/support/TestSupport.h"
#include "tests/update/HttpTestServer.h"
#include "tests/update/SigningKey.h"
#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <thread>
#ifdef _WIN32
#include "common/win/RegistrySettingsStore.h"

#include <windows.h>
#else
#include <sys/wait.h>
#endif

using namespace tolbe;
using tolbe::test::HttpTestServer;
using tolbe::test::ScriptedResponse;
using tolbe::test::TempDir;

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

class CliUpdateTest : public ::testing::Test {
protected:
    TempDir dir;
    ProgramPaths paths{dir / "program"};
    HttpTestServer server;
    test::SigningKey publisher;

    void SetUp() override {
        fs::create_directories(paths.UpdateFolder());
        fs::create_directories(paths.DatabaseFolder());
        test::MakeKeyedDatabase(paths.Database(), test::MiniDatabaseSql(10));
        test::WriteFile(paths.ServerIni(), "[LiveUpdate]\nIP_Address=" + server.Url("/Update.txt") +
                                               "\nPublicKey=" + publisher.PublicKey() + "\n");
        UserSettings("");
    }
#ifdef _WIN32
    void TearDown() override {
        UserSettings("");
    }

    // English texts and the chosen database in the registry, where tolbe-cli reads them (the
    // scenarios, which set them too, never run beside these tests: RESOURCE_LOCK).
    void UserSettings(const std::string& database_path) {
        RegistrySettingsStore store;
        store.SaveSetting(kSettingsApp, kSettingsSection, "Language", "1000");
        store.SaveSetting(kSettingsApp, kSettingsSection, settings_key::kDatabasePath, database_path);
    }
#else
    // English texts, and settings kept away from the user's own.
    void UserSettings(const std::string& database_path) {
        fs::create_directories(dir / "config" / "Marvo");
        test::WriteFile(dir / "config" / "Marvo" / "settings.ini",
                        "[MarvoState]\nLanguage=1000\nDatabasePath=" + database_path + "\n");
    }
#endif

    // A descriptor signed by the publisher the Server.ini trusts, offering `db` when it is given.
    void SignedOffer(const std::string& lines, const std::string& db = {}) {
        std::string text = "[LiveUpdate]\r\n" + lines;
        if (!db.empty()) {
            TempDir t;
            test::WriteFile(t / "db", db);
            text += "DB_SHA256=" + *update::FileSha256(t / "db") + "\r\n";
        }
        server.Route("/Update.txt", ScriptedResponse::Ok(text));
        server.Route("/Update.txt.minisig", ScriptedResponse::Ok(publisher.Sign(text)));
    }

    // A code database recording version 5, served as /IR_Database.db3; its bytes.
    std::string ServeDatabaseVersion5() {
        TempDir t;
        test::MakeKeyedDatabase(t / "new.db3", test::MiniDatabaseSql(8) + db::VersionTableStatement("d") +
                                                   ";insert into M_Version values(1, 5, 'd', null);");
        std::string offered = test::ReadFile(t / "new.db3");
        server.Route("/IR_Database.db3", ScriptedResponse::Ok(offered));
        return offered;
    }

#ifdef _WIN32
    CliRun Cli(const std::string& args) {
        std::vector<std::string> argv = {"--program-dir", paths.Dir().string()};
        std::istringstream words(args);
        for (std::string w; words >> w;)
            argv.push_back(w);
        const test::CommandOutcome o = test::RunProgram(TOLBE_CLI_PATH, argv, dir.Path());
        return {o.status, o.out + o.err};
    }
#else
    CliRun Cli(const std::string& args) {
        const std::string cli = TOLBE_CLI_PATH;
        const std::string cmd = "XDG_CONFIG_HOME='" + (dir / "config").string() + "' XDG_RUNTIME_DIR='" +
                                dir.Path().string() + "' '" + cli + "' --program-dir '" + paths.Dir().string() + "' " +
                                args + " 2>&1 </dev/null";
        CliRun r;
        FILE* p = ::popen(cmd.c_str(), "r");
        if (p == nullptr) return r;
        char buf[4096];
        std::size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            r.out.append(buf, n);
        const int st = ::pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        return r;
    }
#endif
};

} // namespace

TEST_F(CliUpdateTest, DeclinedOrFailedUpdatesKeepTheDatabase) {
    server.Route("/IR_Database.db3", ScriptedResponse::Ok(std::string(4096, 'z')));
    SignedOffer("DB_Version=5\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", std::string(4096, 'z'));
    CliRun r = Cli("update-check --no");
    EXPECT_EQ(r.status, 0) << r.out;
    // The first check gave the database its version record; nothing changes it after that.
    const std::string before = test::ReadFile(paths.Database());
    EXPECT_EQ(server.RequestsFor("/IR_Database.db3"), 0);

    // No flag and no terminal answer: declined.
    r = Cli("update-check");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("[y/N]"), std::string::npos) << r.out;
    EXPECT_EQ(server.RequestsFor("/IR_Database.db3"), 0);

    r = Cli("update-check --yes");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("Tolbe: Update failed!\n"), std::string::npos) << r.out;
    EXPECT_TRUE(test::ReadFile(paths.Database()) == before);

    r = Cli("update-check --yes --no");
    EXPECT_NE(r.status, 0);
}

TEST_F(CliUpdateTest, YesStartsOnlyWhatATrustedSignatureAnnounced) {
    const fs::path marker = dir / "setup-ran";
#ifdef _WIN32
    const std::string name = "/setup.bat";
    // A batch file's bytes are read in the console's code page: the name comes in wide, by the
    // environment that tolbe-cli and its setup program inherit.
    ::SetEnvironmentVariableW(L"TOLBE_TEST_MARKER", marker.c_str());
    const std::string setup = "@echo started> \"%TOLBE_TEST_MARKER%\"\r\n";
#else
    const std::string name = "/setup.sh";
    const std::string setup = "#!/bin/sh\necho started > '" + marker.string() + "'\n";
#endif
    ScriptedResponse r = ScriptedResponse::Ok(setup);
    // A status line that would clear the terminal if it reached it as sent.
    r.head = "HTTP/1.1 200 \x1b[2J\x1b]0;owned\x07OK\r\nContent-Length: " + std::to_string(setup.size()) + "\r\n\r\n";
    server.Route(name, r);
    TempDir t;
    test::WriteFile(t / "s", setup);
    const std::string text = "[LiveUpdate]\r\nAPP_Version=9.9.9\r\nAPP_WEB=" + server.Url(name) +
                             "\r\nAPP_SHA256=" + *update::FileSha256(t / "s") + "\r\n";
    server.Route("/Update.txt", ScriptedResponse::Ok(text));
    server.Route("/Update.txt.minisig", ScriptedResponse{"HTTP/1.1 404 Not Found\r\n\r\n", ""});

    // Unsigned, then signed by a key the user does not trust: no offer, nothing fetched or run.
    for (const bool signed_by_stranger : {false, true}) {
        if (signed_by_stranger)
            server.Route("/Update.txt.minisig", ScriptedResponse::Ok(test::SigningKey().Sign(text)));
        const CliRun run = Cli("update-check --yes");
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(run.out.find("Found a new version"), std::string::npos) << run.out;
    }
    EXPECT_EQ(server.RequestsFor(name), 0);

    // Signed by the key in Server.ini: offered, fetched, started.
    server.Route("/Update.txt.minisig", ScriptedResponse::Ok(publisher.Sign(text)));
    test::WriteFile(paths.ServerIni(), "[LiveUpdate]\nIP_Address=" + server.Url("/Update.txt") +
                                           "\nPublicKey=" + publisher.PublicKey() + "\n");
    const CliRun run = Cli("update-check --yes");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Tolbe: Found a new version, is it updated? yes\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("HTTP/1.1 200 ?[2J?]0;owned?OK"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    for (int i = 0; i < 200 && !fs::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(marker)) << run.out;
}

TEST_F(CliUpdateTest, AnAcceptedDatabaseUpdateReplacesTheDatabaseInUse) {
    const std::string offered = ServeDatabaseVersion5();
    SignedOffer("APP_Version=2.0.9\r\nDB_Version=5\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", offered);
    CliRun r = Cli("update-check --yes");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Tolbe: Found a new version, is it updated? yes\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Update IR_Database.db3...\nHTTP/1.1 200 OK\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("100%\n[Finished]\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Tolbe: All Files updated!\n"), std::string::npos) << r.out;
    EXPECT_TRUE(test::ReadFile(paths.Database()) == offered);
    EXPECT_TRUE(fs::exists(paths.DatabaseBackup()));

    // The user keeps the code database elsewhere and names it with DatabasePath: that file is
    // the one updated, the program folder's stays.
    const fs::path mine = dir / "mine" / "codes.db3";
    fs::create_directories(mine.parent_path());
    test::MakeKeyedDatabase(mine, test::MiniDatabaseSql(10) + db::VersionTableStatement("d") +
                                      ";insert into M_Version values(1, 3, 'd', null);");
    UserSettings(mine.string());
    const std::string program_db = test::ReadFile(paths.Database());
    r = Cli("update-check --yes");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Tolbe: All Files updated!\n"), std::string::npos) << r.out;
    EXPECT_TRUE(test::ReadFile(mine) == offered) << "the file in use was not replaced";
    EXPECT_TRUE(test::ReadFile(paths.Database()) == program_db) << "the program folder's database was replaced";
    db::DbConnection conn;
    EXPECT_EQ(db::Get_Database_Ver(&conn, mine.string(), db::BuildDatabaseKey(), "d"), 5);

    // The next start finds nothing newer: no second offer.
    r = Cli("update-check --yes");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("Found a new version"), std::string::npos) << r.out;
}
