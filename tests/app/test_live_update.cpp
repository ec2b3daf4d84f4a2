#include "app/AppContext.h"
#include "app/FrmSASel.h"
#include "app/FrmUpdate.h"
#include "common/AtomicFile.h"
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

#include <cstdint>
#include <cstdio>
#include <fstream>

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

// The longest time the event loop went without running a 5 ms timer: how long the window froze.
class StallMeter {
public:
    StallMeter() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.elapsed() - m_last);
            m_last = m_clock.elapsed();
        });
    }
    void Restart() {
        m_clock.start();
        m_last = 0;
        m_timer.start(5);
    }
    qint64 Longest() const { return std::max(m_longest, m_clock.elapsed() - m_last); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// What this process has read through read() so far, all threads together (the kernel's count).
std::uint64_t BytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string name;
    std::uint64_t value = 0;
    while (io >> name >> value)
        if (name == "rchar:") return value;
    qFatal("/proc/self/io has no read count");
}

} // namespace

class LiveUpdateTest : public QObject {
    Q_OBJECT
private slots:
    // Eight megabytes, so that the swap's file work shows if it ever runs on the window's thread.
    void anAcceptedDatabaseUpdateIsSwappedInAndListedWhileTheWindowStaysLive() {
        LiveUpdateFixture f;
        test::TempDir scratch;
        f.Offer(NewDatabaseBytes(scratch, "create table Pad(b blob); insert into Pad values(zeroblob(8388608));"));
        f.prompt.answers = {Prompt::Answer::Yes, Prompt::Answer::Ok};
        f.prompt.while_open = [&](const test::ScriptedPrompt::Shown& shown) {
            // The finished transfer as the user sees it, for a look by eye.
            const QString shots = qEnvironmentVariable("TOLBE_SCREENSHOT_DIR");
            if (auto* update = f.window->findChild<FrmUpdate*>();
                update != nullptr && !shots.isEmpty() && shown.text == "All Files updated!")
                update->grab().save(shots + "/frm_update_8mb.png");
        };
        StallMeter meter;
        f.Start();
        meter.Restart();
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 10);
        QTRY_VERIFY_WITH_TIMEOUT(f.prompt.shown.size() >= 2, 20000);
        const qint64 longest = meter.Longest();
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
    // Closing once the 128 MB database has arrived, while the worker hashes it (then it would check,
    // copy and flush it): the stop reaches the hash, which reads little more of the file, the check
    // ends within a bound, and nothing is swapped in.
    void closingWhileTheDeliveredDatabaseIsHashedStopsTheHashAndKeepsTheDatabase() {
        LiveUpdateFixture f;
        test::TempDir scratch;
        constexpr std::uint64_t kPad_bytes = 128ull << 20;
        f.Offer(NewDatabaseBytes(scratch, "create table Pad(b blob); insert into Pad values(zeroblob(" +
                                              std::to_string(kPad_bytes) + "));"));
        const std::string before = test::ReadFile(f.paths.Database());
        f.prompt.answers = {Prompt::Answer::Yes};
        FrmSASel& w = f.Start();
        QTRY_VERIFY_WITH_TIMEOUT(f.window->findChild<FrmUpdate*>() != nullptr, 10000);
        const FrmUpdate* update = f.window->findChild<FrmUpdate*>();
        QElapsedTimer clock;
        std::uint64_t readAtClose = 0;
        std::uint64_t readAtEnd = 0;
        qint64 checkEnded = -1;
        QObject::connect(update, &FrmUpdate::StartupCheckEnded, [&] {
            checkEnded = clock.elapsed();
            readAtEnd = BytesReadSoFar();
        });
        // "[Finished]" is logged as the database's transfer ends, just before the hash begins.
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const QString log = update->TxtDownloadInfo()->toPlainText();
            if (!clock.isValid() && log.startsWith("Update IR_Database.db3") && log.contains("[Finished]")) {
                readAtClose = BytesReadSoFar();
                clock.start();
                w.close();
            }
        });
        watch.start(1);
        QTRY_VERIFY_WITH_TIMEOUT(checkEnded >= 0 && !w.isVisible(), 60000);
        const std::uint64_t readAfter = readAtEnd - readAtClose;
        std::printf("[ measure  ] close while a 128 MB database is hashed: check ended after %lld ms, %llu KiB "
                    "read meanwhile\n",
                    static_cast<long long>(checkEnded), static_cast<unsigned long long>(readAfter >> 10));
        QVERIFY2(readAfter < kPad_bytes / 2, "the hash read on after the close");
        QVERIFY2(checkEnded < 5 * test::kStallLimit_ms, qPrintable(QString("the check took %1 ms").arg(checkEnded)));
        QCOMPARE(f.prompt.shown.size(), std::size_t(1)); // the question only
        QCOMPARE(f.server.RequestsFor("/files/IR_Database.db3"), 1);
        QVERIFY(test::ReadFile(f.paths.Database()) == before);
        QVERIFY(!std::filesystem::exists(f.paths.UpdateDatabase()));
        QVERIFY(!std::filesystem::exists(f.paths.DatabaseBackup()));
        for (const auto& left : std::filesystem::directory_iterator(f.paths.UpdateFolder()))
            QVERIFY2(left.path().filename().string().find(kTempMarker) == std::string::npos, left.path().c_str());
    }
};

QTEST_MAIN(LiveUpdateTest)
#include "test_live_update.moc"
