// The live-update window over the same local server: texts, the close rule, log and progress.
#include "app/FrmUpdate.h"
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "i18n/StringTable.h"
#include "tests/support/TestSupport.h"
#include "tests/update/HttpTestServer.h"
#include "tests/update/SigningKey.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <optional>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using namespace tolbe;
using tolbe::test::HttpTestServer;
using tolbe::test::ScriptedResponse;
using tolbe::test::TempDir;
using Answer = tolbe::Prompt::Answer;

namespace fs = std::filesystem;

namespace {

class Hooks final : public update::MainWindowHooks {
public:
    explicit Hooks(ProgramPaths p) : paths(std::move(p)) {}
    std::int16_t Get_Database_Ver() override {
        return db::Get_Database_Ver(&conn, paths.Database().string(), db::BuildDatabaseKey(), "08.12.2026");
    }
    // On the window's thread, after the update swapped the file in.
    bool Reconnect_Database(std::int16_t) override {
        return conn.OpenDatabase(paths.Database().string(), db::BuildDatabaseKey(), true);
    }
    void RequestQuit() override { ++quits; }
    ProgramPaths paths;
    db::DbConnection conn;
    int quits = 0;
};

class FrmUpdateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "frm_update_window_test";
        static char* argv[] = {name, nullptr};
        // Windows are never put on a screen here.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    }

    TempDir dir;
    HttpTestServer server;
    test::SigningKey key;
    test::MemorySettingsStore settings;
    test::ScriptedPrompt prompt;
    app::AppContext ctx{settings, prompt, ProgramPaths(dir.Path())};
    Hooks hooks{ctx.paths};
    std::string user_db;

    void SetUp() override {
        ctx.LangBase = 1000;
        fs::create_directories(ctx.paths.UpdateFolder());
        fs::create_directories(ctx.paths.DatabaseFolder());
        test::MakeKeyedDatabase(ctx.paths.Database(), test::MiniDatabaseSql(10) + VersionSql(2));
        user_db = test::ReadFile(ctx.paths.Database());
        test::WriteFile(ctx.paths.ServerIni(), ServerIni());
    }
    // The start-up check runs on the window's worker; the event loop runs until it has ended.
    static void RunToEnd(app::FrmUpdate& w) {
        QEventLoop loop;
        bool ended = false;
        QObject::connect(&w, &app::FrmUpdate::StartupCheckEnded, &loop, [&] {
            ended = true;
            loop.quit();
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        w.RunStartupCheck();
        loop.exec();
        ASSERT_TRUE(ended);
    }

    static std::string VersionSql(int v) {
        return db::VersionTableStatement("d") + ";insert into M_Version values(1, " + std::to_string(v) +
               ", 'd', null);";
    }
    std::string ServerIni() const {
        return "[LiveUpdate]\nIP_Address=" + server.Url("/Update.txt") + "\nPublicKey=" + key.PublicKey() + "\n";
    }
    void OfferDatabase(ScriptedResponse r) {
        const std::string body = r.body;
        server.Route("/IR_Database.db3", std::move(r));
        test::ServeSignedDescriptor(
            server, "/Update.txt", key,
            "APP_Version=2.0.9\r\nDB_Version=6\r\nDB_WEB=" + server.Url("/IR_Database.db3") + "\r\n", body);
    }
    std::string NewDatabase() {
        TempDir t;
        test::MakeKeyedDatabase(t / "n.db3", test::MiniDatabaseSql(8) + VersionSql(6));
        return test::ReadFile(t / "n.db3");
    }
};

} // namespace

TEST_F(FrmUpdateTest, TextsComeFromTheStringTableInTheActiveLanguage) {
    for (int base : {1000, 4000}) {
        ctx.LangBase = static_cast<std::int16_t>(base);
        app::FrmUpdate w(ctx, hooks);
        EXPECT_EQ(w.windowTitle().toStdString(), i18n::LoadText(base, 186));
        EXPECT_EQ(w.findChild<QLabel*>("LabInfomation")->text().toStdString(), i18n::LoadText(base, 187));
        EXPECT_EQ(w.findChild<QLabel*>("LabProg")->text().toStdString(), i18n::LoadText(base, 188));
        EXPECT_EQ(w.CmdUpdate()->text().toStdString(), i18n::LoadText(base, 189));
        EXPECT_EQ(w.CmdCancel()->text().toStdString(), i18n::LoadText(base, 138));
        EXPECT_EQ(w.FileProgBar()->maximum(), 100);
        EXPECT_FALSE(w.isVisible());
    }
}

TEST_F(FrmUpdateTest, WindowRefusesToCloseUntilTheCheckIsOver) {
    app::FrmUpdate w(ctx, hooks);
    w.show();
    EXPECT_FALSE(w.close());
    w.CmdCancel()->click();
    EXPECT_TRUE(w.isVisible());
    RunToEnd(w); // the server offers nothing
    w.show();
    w.CmdCancel()->click();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(FrmUpdateTest, CancelButtonStopsTheTransferAndTheCheckReportsIt) {
    ScriptedResponse slow = ScriptedResponse::Ok(NewDatabase());
    slow.chunk_bytes = 1024;
    slow.chunk_delay = std::chrono::milliseconds(3);
    OfferDatabase(slow);
    prompt.answers = {Answer::Yes};
    app::FrmUpdate w(ctx, hooks);
    bool clicked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto& tg = w.Check().tg();
        if (!clicked && tg.Running() && tg.DownloadedBytes > 0 &&
            w.TxtDownloadInfo()->toPlainText().contains("IR_Database.db3")) {
            clicked = true;
            EXPECT_FALSE(w.CmdUpdate()->isEnabled());
            w.CmdCancel()->click();
            EXPECT_TRUE(w.isVisible());
        }
    });
    poll.start(0);
    RunToEnd(w);
    poll.stop();
    EXPECT_TRUE(clicked);
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1].text, "Update failed!");
    EXPECT_FALSE(fs::exists(ctx.paths.UpdateDatabase()));
    EXPECT_TRUE(test::ReadFile(ctx.paths.Database()) == user_db);
    EXPECT_LE(w.FileProgBar()->value(), 100);
}

namespace {

// The longest time the event loop went without running a 5 ms timer: how long the window was
// frozen.
class StallMeter {
public:
    StallMeter() {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start(5);
    }
    qint64 Now() const { return m_clock.elapsed(); }
    qint64 Longest() {
        Tick();
        m_timer.stop();
        return m_longest;
    }

private:
    void Tick() {
        const qint64 now = m_clock.elapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

} // namespace

TEST_F(FrmUpdateTest, WindowStaysLiveAndCancelIsPromptWhateverTheNetworkDoes) {
    ScriptedResponse silent = ScriptedResponse::Ok("[LiveUpdate]\r\nDB_Version=6\r\n");
    silent.silent = std::chrono::seconds(30);
    ScriptedResponse trickle = ScriptedResponse::Ok("[LiveUpdate]\r\nDB_Version=6\r\n" + std::string(200, '#'));
    trickle.chunk_bytes = 1;
    trickle.chunk_delay = std::chrono::milliseconds(1000);
    struct Case {
        const char* name;
        std::optional<ScriptedResponse> descriptor; // none: the address is a closed port
        int cancel_after_ms;                        // 0: no Cancel
    };
    const Case cases[] = {
        {"silent server", silent, 1000}, {"1 byte a second", trickle, 1500}, {"closed port", std::nullopt, 0}};
    for (const Case& c : cases) {
        prompt.shown.clear();
        if (c.descriptor) {
            server.Route("/Update.txt", *c.descriptor);
        } else {
            test::WriteFile(ctx.paths.ServerIni(), "[LiveUpdate]\nIP_Address=http://127.0.0.1:" +
                                                       std::to_string(test::ClosedPort()) + "/Update.txt\n");
        }
        app::FrmUpdate w(ctx, hooks);
        StallMeter meter;
        qint64 clicked = -1;
        if (c.cancel_after_ms > 0)
            QTimer::singleShot(c.cancel_after_ms, [&] {
                clicked = meter.Now();
                w.CmdCancel()->click();
            });
        RunToEnd(w);
        const qint64 ended = meter.Now();
        const qint64 longest = meter.Longest();
        std::printf("[ measure  ] %s: longest stall %lld ms", c.name, static_cast<long long>(longest));
        if (clicked >= 0) std::printf(", Cancel took %lld ms", static_cast<long long>(ended - clicked));
        std::printf(", check %lld ms\n", static_cast<long long>(ended));
        EXPECT_LT(longest, test::kStallLimit_ms) << c.name;
        if (c.cancel_after_ms > 0) {
            EXPECT_GE(clicked, 0) << c.name;
            EXPECT_LT(ended - clicked, 200) << c.name;
        }
        EXPECT_TRUE(prompt.shown.empty()) << c.name;
        test::WriteFile(ctx.paths.ServerIni(), ServerIni());
    }
}
