#include "app/AppContext.h"
#include "app/FrmSASel.h"
#include "app/FrmUpdate.h"
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "tests/support/TestSupport.h"
#include "tests/update/HttpTestServer.h"
#include "tests/update/SigningKey.h"
#include "ui_FrmSASel.h"
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace tolbe;
using namespace tolbe::app;
using test::ScriptedResponse;

namespace {

// The whole path a user sees: the window starts, a second later the update server offers a
// newer database, the user accepts, and the grid lists the new file's code sets.
struct LiveUpdateFixture {
    test::TempDir dir;
    ProgramPaths paths{dir.Path()};
    test::MemorySettingsStore settings;
    test::ScriptedPrompt prompt;
    test::HttpTestServer server;
    test::SigningKey key;
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<FrmSASel> window;

    LiveUpdateFixture() {
        std::filesystem::create_directories(paths.DatabaseFolder());
        std::filesystem::create_directories(paths.UpdateFolder());
        test::MakeKeyedDatabase(paths.Database(), test::MiniDatabaseSql(10));
        settings.Set(settings_key::kLanguage, "1000");
        test::WriteFile(paths.ServerIni(), "[LiveUpdate]\r\nIP_Address=" + server.Url("/srv/Update.txt") +
                                               "\r\nPublicKey=" + key.PublicKey() + "\r\n");
    }
    void Offer(const std::string& databaseBytes) {
        test::ServeSignedDescriptor(
            server, "/srv/Update.txt", key,
            "APP_Version=2.0.9\r\nDB_Version=7\r\nDB_WEB=" + server.Url("/files/IR_Database.db3") + "\r\n",
            databaseBytes);
        server.Route("/files/IR_Database.db3", ScriptedResponse::Ok(databaseBytes));
    }
    FrmSASel& Start() {
        ctx = std::make_unique<AppContext>(settings, prompt, paths);
        window = std::make_unique<FrmSASel>(*ctx);
        window->show();
        window->Form_Load();
        // Start-up ends once the database has been checked on its own thread.
        if (!QTest::qWaitFor([&] { return window->StartupFinished(); }, 60000)) qFatal("start-up did not end");
        return *window;
    }
    Ui::FrmSASel* ui() const { return window->Form(); }
};

std::string NewDatabaseBytes(const test::TempDir& dir, const std::string& extra_sql = {}) {
    const auto file = dir / "offered.db3";
    // It carries its own version record, newer than the user's: nothing older is taken.
    test::MakeKeyedDatabase(
        file, test::MiniDatabaseSql(12) +
                  "INSERT INTO M_SetOfCodes VALUES(50,150,'TV','Brandnew','X1','2026-11-30',1,'DB');" +
                  db::VersionTableStatement("d") + ";insert into M_Version values(1, 7, 'd', null);" + extra_sql);
    return test::ReadFile(file);
}

} // namespace

class LiveUpdateTest : public QObject {
    Q_OBJECT
private slots:
    void anAcceptedDatabaseUpdateIsSwappedInAndListed() {
        LiveUpdateFixture f;
        test::TempDir scratch;
        f.Offer(NewDatabaseBytes(scratch));
        f.prompt.answers = {Prompt::Answer::Yes, Prompt::Answer::Ok};
        f.Start();
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 10);
        QTRY_VERIFY_WITH_TIMEOUT(f.prompt.shown.size() >= 2, 20000);
        QCOMPARE(f.prompt.shown[0].text, std::string("Found a new version, is it updated?"));
        QCOMPARE(f.prompt.shown[1].text, std::string("All Files updated!"));
        // The update window showed the transfer and has gone again.
        const FrmUpdate* update = f.window->findChild<FrmUpdate*>();
        QVERIFY(update != nullptr);
        QCOMPARE(update->TxtDownloadInfo()->toPlainText(),
                 QString("Update IR_Database.db3...\nHTTP/1.1 200 OK[Finished]\n"));
        QCOMPARE(update->FileProgBar()->value(), 100);
        QVERIFY(update->CmdUpdate()->isEnabled());
        QVERIFY(!update->isVisible());
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 12);
        f.ui()->TxtBrandKey->setText("brandnew");
        QCOMPARE(f.ui()->IRDBGrid->model()->rowCount(), 1);
        // The previous database is kept and still opens.
        db::DbConnection old;
        QVERIFY(old.OpenDatabase(f.paths.DatabaseBackup().string(), db::BuildDatabaseKey()));
    }

    void theWindowStaysLiveThroughAnEightMegabyteUpdate() {
        LiveUpdateFixture f;
        test::TempDir scratch;
        f.Offer(NewDatabaseBytes(scratch, "create table Pad(b blob); insert into Pad values(zeroblob(8388608));"));
        f.prompt.answers = {Prompt::Answer::Yes, Prompt::Answer::Ok};
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longest = 0;
        QTimer meter;
        QObject::connect(&meter, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        f.Start();
        clock.start();
        meter.start(5);
        QTRY_VERIFY_WITH_TIMEOUT(f.prompt.shown.size() >= 2, 20000);
        QCOMPARE(f.prompt.shown[1].text, std::string("All Files updated!"));
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 12);
        std::printf("[ measure  ] 8 MB update through the main window: longest stall %lld ms\n",
                    static_cast<long long>(longest));
        QVERIFY2(longest < test::kStallLimit_ms, qPrintable(QString("the window stalled %1 ms").arg(longest)));
    }

    void aCorruptOfferedDatabaseChangesNothing() {
        LiveUpdateFixture f;
        test::TempDir scratch;
        std::string bytes = NewDatabaseBytes(scratch);
        for (std::size_t i = 4096; i < bytes.size(); i += 5)
            bytes[i] = static_cast<char>(bytes[i] ^ 0x33);
        f.Offer(bytes);
        f.prompt.answers = {Prompt::Answer::Yes, Prompt::Answer::Ok};
        f.Start();
        QTRY_VERIFY_WITH_TIMEOUT(f.prompt.shown.size() >= 2, 20000);
        QCOMPARE(f.prompt.shown[1].text, std::string("Update failed!"));
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 10);
        QVERIFY(f.ctx->HasDatabase());
        f.ui()->TxtBrandKey->setText("phil");
        QCOMPARE(f.ui()->IRDBGrid->model()->rowCount(), 1);
        db::DbConnection current;
        QVERIFY(current.OpenDatabase(f.paths.Database().string(), db::BuildDatabaseKey()));
    }

    // Closing while the database trickles in (its deadline hours away): the transfer is cancelled,
    // no failure is reported to a window that is going, and the database in use stays.
    void closingDuringATricklingTransferEndsItAndCloses() {
        LiveUpdateFixture f;
        test::TempDir scratch;
        const std::string bytes = NewDatabaseBytes(scratch);
        f.Offer(bytes);
        ScriptedResponse trickle = ScriptedResponse::Ok(bytes);
        trickle.chunk_bytes = 16;
        trickle.chunk_delay = std::chrono::milliseconds(50);
        f.server.Route("/files/IR_Database.db3", trickle);
        const std::string before = test::ReadFile(f.paths.Database());
        f.prompt.answers = {Prompt::Answer::Yes};
        FrmSASel& w = f.Start();
        QTRY_VERIFY_WITH_TIMEOUT(f.window->findChild<FrmUpdate*>() != nullptr, 10000);
        const FrmUpdate* update = f.window->findChild<FrmUpdate*>();
        // The question was answered and the database's transfer has begun.
        QTRY_VERIFY_WITH_TIMEOUT(
            f.prompt.shown.size() == 1 && update->TxtDownloadInfo()->toPlainText().contains("200 OK"), 20000);
        QElapsedTimer clock;
        clock.start();
        w.close();
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 15000);
        std::printf("[ measure  ] close during a trickling transfer: %lld ms\n",
                    static_cast<long long>(clock.elapsed()));
        QCOMPARE(f.prompt.shown.size(), std::size_t(1)); // the question only
        QVERIFY(test::ReadFile(f.paths.Database()) == before);
    }
};

QTEST_MAIN(LiveUpdateTest)
#include "test_live_update.moc"
