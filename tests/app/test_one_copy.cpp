#include "app/SingleInstance.h"
#include "tests/support/TestSupport.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>

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
    std::unique_ptr<QProcess> Launch() const {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
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
};

QTEST_MAIN(OneCopyTest)
#include "test_one_copy.moc"
