// The installed program: this build installed into a temporary root with cmake --install, the
// tree made read-only, and the installed tolbe-cli and tolbe run as an ordinary user whose data
// folders are temporary too.
#include "db/VersionRecord.h"
#include "tests/support/TestSupport.h"
#include "tests/update/HttpTestServer.h"
#include "tests/update/SigningKey.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tolbe;
using tolbe::test::CommandOutcome;
using tolbe::test::ScriptedResponse;
using tolbe::test::TempDir;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Root ignores file modes, so as root the programs run as "nobody".
constexpr uid_t kNobody = 65534;

// Every entry of a tree with its kind, size, time and mode: any write shows up.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        std::ostringstream what;
        what << st.st_mode << ' ' << st.st_size << ' ' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec;
        entries[fs::relative(e.path(), root).string()] = what.str();
    }
    return entries;
}

void ChangeWriteBits(const fs::path& root, bool writable) {
    const auto bits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_symlink())
            fs::permissions(e.path(), writable ? fs::perms::owner_write : bits,
                            writable ? fs::perm_options::add : fs::perm_options::remove);
    fs::permissions(root, writable ? fs::perms::owner_write : bits,
                    writable ? fs::perm_options::add : fs::perm_options::remove);
}

int DataRows(const std::string& search_output) {
    int lines = 0;
    for (char c : search_output)
        lines += c == '\n';
    return lines - 1; // the heading line
}

class InstalledProgramTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path usr = dir / "root/usr";
    fs::path user = dir / "user";
    fs::path data = user / "data/Tolbe"; // $XDG_DATA_HOME/Tolbe
    test::HttpTestServer server;

    void TearDown() override {
        std::error_code ec;
        if (fs::exists(usr, ec)) ChangeWriteBits(usr, true);
    }

    // The user's environment, without the test's program folder, then the program and its arguments.
    std::vector<std::string> UserCommand(const std::string& program, const std::vector<std::string>& args) const {
        std::vector<std::string> cmd{"-u",
                                     "TOLBE_PROGRAM_DIR",
                                     "HOME=" + (user / "home").string(),
                                     "XDG_DATA_HOME=" + (user / "data").string(),
                                     "XDG_CONFIG_HOME=" + (user / "config").string(),
                                     "XDG_STATE_HOME=" + (user / "state").string(),
                                     "XDG_RUNTIME_DIR=" + (user / "run").string(),
                                     "QT_QPA_PLATFORM=offscreen",
                                     "ASAN_OPTIONS=detect_leaks=0"};
        if (::geteuid() == 0)
            cmd.insert(cmd.end(), {"setpriv", "--reuid=" + std::to_string(kNobody),
                                   "--regid=" + std::to_string(kNobody), "--clear-groups"});
        cmd.push_back((usr / "bin" / program).string());
        cmd.insert(cmd.end(), args.begin(), args.end());
        return cmd;
    }

    CommandOutcome Run(const std::string& program, const std::vector<std::string>& args) {
        return test::RunProgram("env", UserCommand(program, args), dir.Path());
    }

    void MakeUserFolders() {
        for (const char* sub : {"home", "data", "config/Marvo", "state", "run"})
            fs::create_directories(user / sub);
        // English texts.
        test::WriteFile(user / "config/Marvo/settings.ini", "[MarvoState]\nLanguage=1000\n");
        fs::permissions(user / "run", fs::perms::owner_all, fs::perm_options::replace);
        if (::geteuid() != 0) return;
        for (const auto& e : fs::recursive_directory_iterator(user))
            ASSERT_EQ(::chown(e.path().c_str(), kNobody, kNobody), 0) << e.path();
    }
};

} // namespace

TEST_F(InstalledProgramTest, RunsFromAReadOnlyTreeAndUpdatesTheUsersDatabase) {
    // cmake --install with a staging root, as a package build does it.
    ::setenv("DESTDIR", (dir / "root").c_str(), 1);
    const CommandOutcome install =
        test::RunProgram(CMAKE_COMMAND_PATH, {"--install", TOLBE_BUILD_DIR, "--prefix", "/usr"}, dir.Path());
    ::unsetenv("DESTDIR");
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    const fs::path shipped = usr / "share/tolbe";
    for (const fs::path& f :
         {usr / "bin/tolbe-cli", shipped / "Database/IR_Database.db3", shipped / "Styles/a1.gif",
          shipped / "Update/Server.ini", usr / "share/man/man1/tolbe-cli.1.gz", usr / "share/doc/tolbe/copyright"})
        EXPECT_TRUE(fs::is_regular_file(f)) << f;
#ifdef TOLBE_HAS_GUI
    for (const fs::path& f :
         {usr / "bin/tolbe", usr / "share/applications/com.tolbe_remote.Tolbe.desktop",
          usr / "share/metainfo/com.tolbe_remote.Tolbe.metainfo.xml", usr / "share/icons/hicolor/16x16/apps/tolbe.png",
          usr / "share/icons/hicolor/256x256/apps/tolbe.png", usr / "share/man/man1/tolbe.1.gz"})
        EXPECT_TRUE(fs::is_regular_file(f)) << f;
#endif
    ChangeWriteBits(usr, false);
    MakeUserFolders();
    const auto installed = Snapshot(dir / "root");
    const std::string shipped_db = test::ReadFile(shipped / "Database/IR_Database.db3");

    // The shipped database answers before the user has anything of their own.
    const CommandOutcome first = Run("tolbe-cli", {"search", "--device", "TV"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_GT(DataRows(first.out), 10) << first.out;

    // The first update check gives the user the shipped Server.ini; the empty address checks nothing.
    CommandOutcome check = Run("tolbe-cli", {"update-check", "--no"});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(test::ReadFile(data / "Update/Server.ini"), test::ReadFile(shipped / "Update/Server.ini"));
    const test::SigningKey key;
    test::WriteFile(data / "Update/Server.ini",
                    "[LiveUpdate]\nIP_Address=" + server.Url("/Update.txt") + "\nPublicKey=" + key.PublicKey() + "\n");

#ifdef TOLBE_HAS_GUI
    // The window starts, reaches its update check one second later and ends cleanly on SIGTERM.
    server.Route("/Update.txt", ScriptedResponse::Ok("[LiveUpdate]\r\nAPP_Version=0.0.1\r\nDB_Version=1\r\n"));
    const std::vector<std::string> gui = UserCommand("tolbe", {});
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>("env")};
        for (const auto& a : gui)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const std::string log = (dir / "gui.log").string();
        std::freopen(log.c_str(), "w", stdout);
        std::freopen(log.c_str(), "a", stderr);
        ::execvp("env", argv.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    int status = 0;
    bool exited = false;
    while (server.RequestsFor("/Update.txt") == 0 && std::chrono::steady_clock::now() < deadline &&
           !(exited = ::waitpid(pid, &status, WNOHANG) == pid))
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(exited) << "the window ended by itself: " << test::ReadFile(dir / "gui.log");
    EXPECT_EQ(server.RequestsFor("/Update.txt"), 1) << test::ReadFile(dir / "gui.log");
    if (!exited) {
        ::kill(pid, SIGTERM);
        while (!(exited = ::waitpid(pid, &status, WNOHANG) == pid) && std::chrono::steady_clock::now() < deadline + 10s)
            std::this_thread::sleep_for(50ms);
        if (!exited) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
    }
    EXPECT_TRUE(exited && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "status " << status << ": " << test::ReadFile(dir / "gui.log");
#endif

    // A live update against the local server puts the offered database in the user's folder.
    TempDir t;
    test::MakeKeyedDatabase(t / "new.db3", test::MiniDatabaseSql(8) + db::VersionTableStatement("d") +
                                               ";insert into M_Version values(1, 32000, 'd', null);");
    const std::string offered = test::ReadFile(t / "new.db3");
    server.Route("/IR_Database.db3", ScriptedResponse::Ok(offered));
    test::ServeSignedDescriptor(
        server, "/Update.txt", key,
        "APP_Version=0.0.1\r\nDB_Version=32000\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", offered);
    check = Run("tolbe-cli", {"update-check", "--yes"});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("Tolbe: All Files updated!"), std::string::npos) << check.out << check.err;
    EXPECT_TRUE(test::ReadFile(data / "Database/IR_Database.db3") == offered);
    EXPECT_TRUE(test::ReadFile(data / "Database/IR_Database.db3.bak") == shipped_db);

    // From now on the user's database answers.
    const CommandOutcome after = Run("tolbe-cli", {"search", "--device", "TV"});
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_GT(DataRows(after.out), 0) << after.out;
    EXPECT_LT(DataRows(after.out), DataRows(first.out)) << after.out;

    EXPECT_EQ(Snapshot(dir / "root"), installed) << "the installed tree changed";
}
