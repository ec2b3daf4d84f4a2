#include "app/AppContext.h"
#include "app/FrmMsgbox.h"
#include "app/FrmSASel.h"
#include "app/frmAbout.h"
#include "i18n/StringTable.h"
#include "tests/support/TestSupport.h"
#include "ui_FrmSASel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTest>

using namespace tolbe;
using namespace tolbe::app;

namespace {

const char* const kLanguageTags[] = {"zh", "en", "es", "fr", "de", "it", "nl"};

QString ShotDir() {
    QString dir = qEnvironmentVariable("TOLBE_SCREENSHOT_DIR");
    if (dir.isEmpty()) dir = QDir::temp().filePath("tolbe-screenshots");
    QDir().mkpath(dir);
    return dir;
}

void Save(QWidget& window, const QString& name) {
    const QString file = QDir(ShotDir()).filePath(name + ".png");
    QVERIFY2(window.grab().save(file), qPrintable(file));
}

// Visible one-line labels and buttons whose text needs more room than they have.
QStringList ClippedTexts(QWidget& window) {
    QStringList clipped;
    for (auto* label : window.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&window) || label->text().isEmpty()) continue;
        if (label->wordWrap()
                ? label->heightForWidth(label->width()) > label->height()
                : label->sizeHint().width() > label->width() || label->sizeHint().height() > label->height())
            clipped << QString("%1 (%2 needs %3x%4, has %5x%6)")
                           .arg(label->objectName(), label->text())
                           .arg(label->sizeHint().width())
                           .arg(label->sizeHint().height())
                           .arg(label->width())
                           .arg(label->height());
    }
    for (auto* button : window.findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(&window) || button->text().isEmpty()) continue;
        if (button->sizeHint().width() > button->width())
            clipped << QString("%1 (%2 needs %3, has %4)")
                           .arg(button->objectName(), button->text())
                           .arg(button->sizeHint().width())
                           .arg(button->width());
    }
    return clipped;
}

} // namespace

class TestScreenshots : public QObject {
    Q_OBJECT

private slots:
    void clippingCheckSeesCutText() {
        QWidget window;
        auto* label = new QLabel("Fernbedienung erfolgreich programmiert", &window);
        label->setGeometry(0, 0, 40, 30);
        auto* wrapped = new QLabel("Kein Ergebnis gefunden. Bitte überprüfen Sie Ihre Eingaben.", &window);
        wrapped->setWordWrap(true);
        wrapped->setGeometry(0, 40, 60, 20);
        window.show();
        QCOMPARE(ClippedTexts(window).size(), 2);
        label->setGeometry(0, 0, label->sizeHint().width(), label->sizeHint().height());
        wrapped->setGeometry(0, 40, 60, wrapped->heightForWidth(60));
        QVERIFY2(ClippedTexts(window).isEmpty(), qPrintable(ClippedTexts(window).join("; ")));
    }

    void aboutWindowInEveryLanguage() {
        for (int index = 0; index < 7; ++index) {
            frmAbout about(index * 1000);
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            Save(about, QString("about-%1").arg(kLanguageTags[index]));
            const QStringList clipped = ClippedTexts(about);
            QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
        }
    }

    void messageBoxInEveryLanguage() {
        for (int index = 0; index < 7; ++index) {
            const auto text = [index](int k) { return QString::fromStdString(i18n::LoadText(index * 1000, k)); };
            MessageRequest() = {"Tolbe", text(141), text(137), QString(), false, 0};
            FrmMsgbox one;
            one.show();
            Save(one, QString("msgbox-%1").arg(kLanguageTags[index]));
            QStringList clipped = ClippedTexts(one);
            QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));

            MessageRequest() = {text(186), text(191), text(139), text(140), true, 0};
            FrmMsgbox two;
            two.show();
            Save(two, QString("msgbox-yesno-%1").arg(kLanguageTags[index]));
            clipped = ClippedTexts(two);
            QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
        }
    }

    void mainWindowInEveryLanguage() {
        const ProgramPaths paths = ProgramPaths::ForRunningProgram();
        if (!std::filesystem::exists(paths.Database())) QSKIP("no program folder with a code database");
        for (int index = 0; index < 7; ++index) {
            test::MemorySettingsStore settings;
            settings.Set(settings_key::kLanguage, std::to_string(index * 1000));
            test::ScriptedPrompt prompt;
            AppContext ctx(settings, prompt, paths);
            FrmSASel window(ctx);
            window.show();
            window.Form_Load();
            // Start-up ends once the database has been checked on its own thread.
            if (!QTest::qWaitFor([&] { return window.StartupFinished(); }, 60000)) qFatal("start-up did not end");
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(ctx.LangBase, index * 1000);
            Save(window, QString("main-%1").arg(kLanguageTags[index]));
            window.Form()->mnuLanguage->adjustSize();
            Save(*window.Form()->mnuLanguage, QString("menu-language-%1").arg(kLanguageTags[index]));
            QStringList clipped = ClippedTexts(window);
            QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));

            // A search without a result shows the contact frame.
            window.Form()->TxtBrandKey->setText("zzzz-no-such-brand");
            QApplication::processEvents();
            QVERIFY(window.Form()->FrameEmail->isVisible());
            Save(window, QString("main-noresult-%1").arg(kLanguageTags[index]));
            clipped = ClippedTexts(window);
            QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
        }
    }
};

QTEST_MAIN(TestScreenshots)
#include "test_screenshots.moc"
