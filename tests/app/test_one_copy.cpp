#include "app/SingleInstance.h"
#include "tests/support/TestSupport.h"
#include "tests/update/HttpTestServer.h"
#include "tests/update/SigningKey.h"
#include "update/UpdateCheck.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace tolbe;
using namespace tolbe::app;

namespace {

// The real program, started as one user with folders of its own and a sample database; no sound
// card is visible to it, so no copy touches a real mixer.
struct Copies {
    test::TempDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    Copies() {
        std::filesystem::create_directories(dir / "program" / "Database");
        test::MakeKeyedDatabase(dir / "program" / "Database" / "IR_Database.db3", test::MiniDatabaseSql(10));
        for (const char* sub : {"run", "state", "config", "home"})
            std::filesystem::create_directories(dir / sub);
        std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
        test::WriteFile(dir / "no-sound-card.conf", "");
        auto set = [&](const char* name, const std::filesystem::path& p) {
            env.insert(name, QString::fromStdString(p.string()));
        };
        set("XDG_RUNTIME_DIR", dir / "run");
        set("XDG_STATE_HOME", dir / "state");
        set("XDG_CONFIG_HOME", dir / "config");
        set("HOME", dir / "home");
        set("TOLBE_PROGRAM_DIR", dir / "program");
        set("ALSA_CONFIG_PATH", dir / "no-sound-card.conf");
        env.insert("QT_QPA_PLATFORM", "offscreen");
    }
    std::unique_ptr<QProcess> Launch(rlim_t fileLimit = 0) const { // 0: the test's own descriptor limit
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (fileLimit > 0)
            p->setChildProcessModifier([fileLimit] {
                const rlimit limit{fileLimit, fileLimit};
                ::setrlimit(RLIMIT_NOFILE, &limit);
            });
        p->start(QStringLiteral(TOLBE_APP_PATH), {});
        p->waitForStarted();
        return p;
    }
    std::filesystem::path RuntimeFolder() const { return dir / "run" / "Tolbe"; }
    std::filesystem::path Levels() const { return dir / "state" / "Tolbe" / "mixer-levels"; }
    // True once a copy listens.
    bool Answers() const {
        QLocalSocket s;
        s.connectToServer(QString::fromStdString((RuntimeFolder() / "instance").string()));
        return s.waitForConnected(500);
    }
};

} // namespace

class OneCopyTest : public QObject {
    Q_OBJECT
private slots:
    // Two starts one after the other: the second ends and leaves the first, and the levels it keeps,
    // alone. A copy that was killed leaves its lock and socket behind, and they do not block.
    void aSecondStartEndsAndLeavesTheFirstAlone() {
        Copies c;
        auto first = c.Launch();
        QTRY_VERIFY_WITH_TIMEOUT(c.Answers(), 30000);
        // The levels the first copy would keep while it runs.
        const std::string levels = "[WaveOut]\nMute=1\nLeft=100\nRight=120\n";
        std::filesystem::create_directories(c.Levels().parent_path());
        test::WriteFile(c.Levels(), levels);
        const auto written = std::filesystem::last_write_time(c.Levels());

        auto second = c.Launch();
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(test::ReadFile(c.Levels()), levels);
        QVERIFY(std::filesystem::last_write_time(c.Levels()) == written);

        first->kill();
        QVERIFY(first->waitForFinished(30000));
        QVERIFY(std::filesystem::exists(c.RuntimeFolder() / "instance.lock"));
        auto third = c.Launch();
        QTRY_VERIFY_WITH_TIMEOUT(c.Answers(), 30000);
        QCOMPARE(third->state(), QProcess::Running);
        QCOMPARE(std::filesystem::status(c.RuntimeFolder()).permissions() & std::filesystem::perms::all,
                 std::filesystem::perms::owner_all);
        third->terminate();
        QVERIFY(third->waitForFinished(30000));
        QCOMPARE(third->exitStatus(), QProcess::NormalExit);
        QCOMPARE(third->exitCode(), 0);
    }

    // The copy that runs is asked to come to the front by the one that ends.
    void theRunningCopyIsAskedToComeToTheFront() {
        Copies c;
        SingleInstance running(c.RuntimeFolder());
        QCOMPARE(running.Claim(), SingleInstance::Role::First);
        QSignalSpy asked(&running, &SingleInstance::Activated);
        auto second = c.Launch();
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitCode(), 0);
        QTRY_COMPARE(asked.count(), 1);
    }

    // SIGTERM ends the program whatever it shows: the update question, a start-up message; and
    // the one-copy guard holds with a runtime folder that is not the user's own.
    void aSignalEndsTheProgramWhateverIsOpen() {
        Copies c;
        test::HttpTestServer server;
        test::SigningKey key;
        std::filesystem::create_directories(c.dir / "program" / "Update");
        test::WriteFile(c.dir / "program" / "Update" / "Server.ini",
                        "[LiveUpdate]\nIP_Address=" + server.Url("/Update.txt") + "\nPublicKey=" + key.PublicKey() +
                            "\n");
        const std::string text = "[LiveUpdate]\r\nDB_Version=7\r\nDB_WEB=" + server.Url("/IR_Database.db3") +
                                 "\r\nDB_SHA256=" + std::string(64, 'a') + "\r\n";
        server.Route("/Update.txt", test::ScriptedResponse::Ok(text));
        server.Route("/Update.txt.minisig", test::ScriptedResponse::Ok(key.Sign(text)));
        auto terminated = [](QProcess& p) {
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
            return p.waitForFinished(15000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        };

        auto asked = c.Launch();
        QTRY_VERIFY_WITH_TIMEOUT(server.RequestsFor("/Update.txt.minisig") > 0, 30000);
        QTest::qWait(1500); // the question is open now
        QVERIFY(terminated(*asked));
        QCOMPARE(server.RequestsFor("/IR_Database.db3"), 0);

        // An oversized levels file is set aside unread, and its warning is open at start-up.
        std::filesystem::remove(c.dir / "program" / "Update" / "Server.ini");
        std::filesystem::create_directories(c.Levels().parent_path());
        test::WriteFile(c.Levels(), std::string(100 * 1024, '#'));
        auto warned = c.Launch();
        QTRY_VERIFY_WITH_TIMEOUT(!std::filesystem::exists(c.Levels()), 30000);
        QTest::qWait(1500);
        QVERIFY(terminated(*warned));

        // A runtime folder owned by someone else (only root can make one; for anyone else, one
        // open to every user): a second start still hands over.
        std::filesystem::remove_all(c.dir / "run");
        std::filesystem::create_directories(c.dir / "run");
        if (::geteuid() == 0)
            QCOMPARE(::chown((c.dir / "run").c_str(), 65534, 65534), 0);
        else
            std::filesystem::permissions(c.dir / "run", std::filesystem::perms::all);
        auto first = c.Launch();
        QTest::qWait(3000);
        auto second = c.Launch();
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(terminated(*first));
    }

    // More connections held open than the running copy has descriptors: the silent ones are
    // dropped and it listens again, so a later start still hands over. Without a private folder
    // for the guard the program does not run at all.
    void heldConnectionsDoNotWearTheGuardOutAndNoneRunsUnguarded() {
        Copies c;
#ifndef __SANITIZE_ADDRESS__
        // Not under the sanitizers: UndefinedBehaviorSanitizer checks an object's type for the
        // first time through a pipe, and a copy without a free descriptor then reports false faults.
        auto first = c.Launch(256);
        QTRY_VERIFY_WITH_TIMEOUT(c.Answers(), 30000);
        std::vector<std::unique_ptr<QLocalSocket>> held(300);
        for (auto& peer : held) {
            peer = std::make_unique<QLocalSocket>();
            peer->connectToServer(QString::fromStdString((c.RuntimeFolder() / "instance").string()));
            peer->waitForConnected(200);
        }
        QTest::qWait(4000);
        held.clear();
        auto second = c.Launch();
        QVERIFY(second->waitForFinished(30000) && second->exitCode() == 0 && first->state() == QProcess::Running);
        first->terminate();
        QVERIFY(first->waitForFinished(30000));
#endif

        // No runtime folder, no state folder, and the fallback made by another user (only root can).
        if (::geteuid() != 0) return;
        c.env.remove("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(c.dir / "state" / "Tolbe");
        test::WriteFile(c.dir / "state" / "Tolbe", "a file where the folder would be");
        const auto taken = c.dir / "tmp" / ("tolbe-" + std::to_string(::getuid()));
        std::filesystem::create_directories(taken);
        QCOMPARE(::chown(taken.c_str(), 4242, 4242), 0);
        c.env.insert("TMPDIR", QString::fromStdString((c.dir / "tmp").string()));
        QProcess refused;
        refused.setProcessEnvironment(c.env);
        refused.start(QStringLiteral(TOLBE_APP_PATH), {});
        QVERIFY(refused.waitForFinished(30000) && refused.exitCode() == 1);
        QVERIFY(refused.readAllStandardError().contains("does not start"));
    }
};

QTEST_MAIN(OneCopyTest)
#include "test_one_copy.moc"
