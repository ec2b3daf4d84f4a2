// The main window without a mouse, and as a screen reader sees it.
#include "app/AppContext.h"
#include "app/FrmSASel.h"
#include "app/KeyboardAccess.h"
#include "app/QtPrompt.h"
#include "app/RemoteWindows.h"
#include "app/frmAbout.h"
#include "audio/DownloadSequence.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "audio/WaveOut.h"
#include "i18n/StringTable.h"
#include "tests/app/AccessibleWalk.h"
#include "tests/app/RecordingOutput.h"
#include "tests/support/TestSupport.h"
#include "ui_FrmSASel.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace tolbe;
using namespace tolbe::app;

namespace {

struct Fixture {
    test::TempDir dir;
    ProgramPaths paths{dir.Path()};
    test::MemorySettingsStore settings;
    test::ScriptedPrompt prompt;
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<FrmSASel> window;

    explicit Fixture(int lang_base) {
        std::filesystem::create_directories(paths.DatabaseFolder());
        test::MakeKeyedDatabase(paths.Database(), test::MiniDatabaseSql(10));
        settings.Set(settings_key::kLanguage, std::to_string(lang_base));
        ctx = std::make_unique<AppContext>(settings, prompt, paths);
        window = std::make_unique<FrmSASel>(*ctx);
        window->resize(900, 600);
        window->show();
        window->Form_Load();
        // Start-up ends once the database has been checked on its own thread.
        if (!QTest::qWaitFor([&] { return window->StartupFinished(); }, 60000)) qFatal("start-up did not end");
        window->UpdateTimer().stop(); // no live-update check in these tests
        QApplication::setActiveWindow(window.get());
    }
    Ui::FrmSASel* ui() const { return window->Form(); }
    QString T(int k) const { return QString::fromStdString(i18n::LoadText(ctx->LangBase, k)); }
};

QWidget* Focus() {
    return QApplication::focusWidget();
}
QString FocusName() {
    return Focus() ? Focus()->objectName() : QStringLiteral("(none)");
}

void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(Focus(), key, mods);
}

QAccessibleInterface* Reader(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

QString RoleName(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Button:
        return "button";
    case QAccessible::Link:
        return "link";
    case QAccessible::ComboBox:
        return "combo box";
    case QAccessible::EditableText:
        return "text";
    case QAccessible::Table:
        return "table";
    case QAccessible::Graphic:
        return "picture";
    case QAccessible::StaticText:
        return "label";
    default:
        return QString::number(role);
    }
}

} // namespace

class KeyboardAccessTest : public QObject {
    Q_OBJECT
private slots:
    void wholeDownloadByKeyboardAlone() {
        Fixture f(1000);
        test::RecordingOutput out;
        out.Install(*f.ctx);
        FrmSASel& w = *f.window;
        QVERIFY(QTest::qWaitForWindowActive(&w));

        // The window opens with the focus on the device type, and Tab runs through the flow.
        QCOMPARE(FocusName(), QString("ImgCombDevSel"));
        QStringList order;
        for (int i = 0; i < 9; ++i) {
            Press(Qt::Key_Tab);
            order << FocusName();
        }
        QCOMPARE(order, QStringList({"TxtBrandKey", "TxtModelKey", "IRDBGrid", "ImgSelDev0", "ImgSelDev1", "ImgSelDev2",
                                     "ImgSelDev3", "LabDownload", "ImgCombDevSel"}));
        Press(Qt::Key_Backtab);
        QCOMPARE(FocusName(), QString("LabDownload"));
        QVERIFY(FocusRingShown(f.ui()->LabDownload));
        Press(Qt::Key_Tab);
        QVERIFY(!FocusRingShown(f.ui()->LabDownload));

        // Arrow keys choose another device type, which searches; back to TV the same way.
        QCOMPARE(f.ui()->ImgCombDevSel->currentText(), QString("TV"));
        Press(Qt::Key_Up);
        QVERIFY(f.ui()->ImgCombDevSel->currentText() != QString("TV"));
        Press(Qt::Key_Down);
        QCOMPARE(f.ui()->ImgCombDevSel->currentText(), QString("TV"));
        QCOMPARE(f.ui()->IRDBGrid->model()->rowCount(), 2);

        // Alt + the underlined letter reaches a field; a key word narrows the search.
        QCOMPARE(f.ui()->LabBrandFilter->text(), QString("&Brand:"));
        Press(Qt::Key_M, Qt::AltModifier);
        QCOMPARE(FocusName(), QString("TxtModelKey"));
        Press(Qt::Key_B, Qt::AltModifier);
        QCOMPARE(FocusName(), QString("TxtBrandKey"));
        QTest::keyClicks(Focus(), "s");
        QCOMPARE(f.ui()->IRDBGrid->model()->rowCount(), 2); // Philips and Samsung both hold an "s"
        Press(Qt::Key_Tab);
        Press(Qt::Key_Tab);
        QCOMPARE(FocusName(), QString("IRDBGrid"));

        // Enter on a row assigns it to the current slot (TV).
        Press(Qt::Key_Down);
        QCOMPARE(f.ui()->IRDBGrid->currentIndex().row(), 1);
        Press(Qt::Key_Return);
        QCOMPARE(FocusName(), QString("IRDBGrid"));
        QCOMPARE(w.Slots()[0].SourceID, 101);
        QCOMPARE(f.ui()->LabBrand->text(), QString("Brand:Samsung"));

        // Space on the SAT button makes SAT current; Enter on the DVD button too.
        Press(Qt::Key_Tab);
        Press(Qt::Key_Tab);
        QCOMPARE(FocusName(), QString("ImgSelDev1"));
        QVERIFY(FocusRingShown(f.ui()->ImgSelDev1));
        Press(Qt::Key_Space);
        QCOMPARE(int(f.ctx->CurDevice), 1);
        QCOMPARE(f.ui()->ImgSelDev1->property("picture").toString(), QString("SAT_BTN2"));
        QCOMPARE(f.ui()->LabBrand->text(), QString("Brand:")); // nothing assigned to SAT yet
        Press(Qt::Key_Tab);
        Press(Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(int(f.ctx->CurDevice), 2);
        Press(Qt::Key_Backtab);
        Press(Qt::Key_Return);
        QCOMPARE(int(f.ctx->CurDevice), 1);

        // Back to the grid for the Philips row, then on to Download and Enter: a whole download.
        for (int i = 0; i < 2; ++i)
            Press(Qt::Key_Backtab);
        QCOMPARE(FocusName(), QString("IRDBGrid"));
        Press(Qt::Key_Up);
        for (int i = 0; i < 5; ++i)
            Press(Qt::Key_Tab);
        QCOMPARE(FocusName(), QString("LabDownload"));
        int finished = 0;
        QObject::connect(&w, &FrmSASel::DownloadFinished, [&](bool sent) { finished += sent ? 1 : 100; });
        Press(Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(finished, 1, 15000);
        QVERIFY(f.prompt.shown.empty());
        QCOMPARE(w.Slots()[1].SourceID, 102);
        QCOMPARE(w.Slots()[0].SourceID, 101);
        const int blocks = static_cast<int>(w.CodeBufferBytes().size() / 64);
        QCOMPARE(out.streams.size(), std::size_t(1));
        QVERIFY(out.streams[0] ==
                audio::BuildDownloadSignal(1, w.CodeBufferBytes(), static_cast<std::int16_t>(blocks), "SAT").pcm);
        // The progress and finish windows came and went; the window's focus is still on Download
        // when it is active again (a window manager gives it back, offscreen the test does).
        QCOMPARE(w.focusWidget(), f.ui()->LabDownload);
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(FocusName(), QString("LabDownload"));

        // A key held down fires once; with Ctrl or Alt it is no press at all.
        {
            QLabel probe;
            int presses = 0;
            MakeKeyboardButton(
                &probe, [&] { ++presses; }, QAccessible::Button);
            QTest::keyPress(&probe, Qt::Key_Space);
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
            QApplication::sendEvent(&probe, &repeat);
            QTest::keyRelease(&probe, Qt::Key_Space);
            QTest::keyClick(&probe, Qt::Key_Return, Qt::ControlModifier);
            QTest::keyClick(&probe, Qt::Key_Space, Qt::AltModifier);
            QCOMPARE(presses, 1);
            QTest::keyClick(&probe, Qt::Key_Enter, Qt::KeypadModifier);
            QCOMPARE(presses, 2);
        }

        // The mouse works as before and does not take the focus.
        QTest::mouseClick(f.ui()->ImgSelDev3, Qt::LeftButton);
        QCOMPARE(int(f.ctx->CurDevice), 3);
        QCOMPARE(FocusName(), QString("LabDownload"));
        QVERIFY(!FocusRingShown(f.ui()->ImgSelDev3));

        // Enter in an empty grid assigns nothing.
        f.ui()->TxtBrandKey->setText("zzzz");
        f.ui()->IRDBGrid->setFocus();
        Press(Qt::Key_Return);
        QCOMPARE(w.Slots()[3].SourceID, 0);
        QVERIFY(f.ui()->FrameEmail->isVisible());
        Press(Qt::Key_Backtab);
        Press(Qt::Key_Backtab);
        QCOMPARE(FocusName(), QString("TxtBrandKey"));
        // With the contact frame shown, the link follows Download in the Tab order.
        f.ui()->LabDownload->setFocus();
        Press(Qt::Key_Tab);
        QCOMPARE(FocusName(), QString("LabEmail"));
    }

    void escapeClosesTheAboutWindowAndMessageBoxes() {
        Fixture f(1000);
        f.window->mnuHelpAbout_Click();
        auto* about = f.window->findChild<frmAbout*>();
        QVERIFY(about && about->isVisible());
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(f.window->findChild<frmAbout*>() == nullptr || !about->isVisible());

        bool closed = false;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            QTest::keyClick(box, Qt::Key_Escape);
            closed = QApplication::activeModalWidget() == nullptr;
        });
        QtPrompt(1000, f.window.get()).Show("Tolbe", "Text", Prompt::Buttons::Ok, Prompt::Icon::None);
        QVERIFY(closed);
    }

    void screenReadersHearEveryControlInTheActiveLanguage() {
        const std::pair<int, const char*> languages[] = {{1000, "en"}, {4000, "de"}, {0, "zh"}, {3000, "fr"}};
        QMap<QString, QString> english;
        for (const auto& [base, tag] : languages) {
            Fixture f(base);
            Ui::FrmSASel* ui = f.ui();
            f.window->AddInfo(0);
            QWidget* controls[] = {ui->ImgCombDevSel, ui->TxtBrandKey, ui->TxtModelKey, ui->IRDBGrid,    ui->ImgSelDev0,
                                   ui->ImgSelDev1,    ui->ImgSelDev2,  ui->ImgSelDev3,  ui->LabDownload, ui->LabEmail,
                                   ui->LabDevSel,     ui->LabDev,      ui->LabBrand,    ui->LabModel,    ui->LabPress,
                                   ui->Imgcha,        ui->ImgPress,    ui->ImgLED,      ui->Gif89a1};
            QStringList list;
            QSet<QString> names;
            for (QWidget* c : controls) {
                QAccessibleInterface* reader = Reader(c);
                QVERIFY(reader);
                const QString name = reader->text(QAccessible::Name);
                const QString description = reader->text(QAccessible::Description);
                QVERIFY2(!name.isEmpty(), qPrintable(c->objectName()));
                QVERIFY2(!names.contains(name), qPrintable(name)); // no two alike
                names.insert(name);
                list << QString("%1\t%2\t%3\t%4").arg(c->objectName(), RoleName(reader->role()), name, description);
                if (base == 1000)
                    english[c->objectName()] = name;
                else if (c != ui->LabEmail && c != ui->ImgCombDevSel) // the address; the device type chosen
                    QVERIFY2(english.value(c->objectName()) != name, qPrintable(name)); // follows the language
            }
            // Names and descriptions come from the string table of the active language.
            // The combo box is named as its label says and reads out the chosen item.
            QCOMPARE(Reader(ui->ImgCombDevSel)->text(QAccessible::Value), QString("TV"));
            QCOMPARE(Reader(ui->ImgCombDevSel)->text(QAccessible::Name), f.T(353));
            const auto labels = Reader(ui->ImgCombDevSel)->relations(QAccessible::Label);
            QVERIFY(!labels.isEmpty());
            QCOMPARE(labels.front().first->object(), ui->LabDevSel);
            QCOMPARE(Reader(ui->ImgCombDevSel)->text(QAccessible::Description), f.T(127));
            QCOMPARE(Reader(ui->TxtBrandKey)->text(QAccessible::Description), f.T(356));
            QCOMPARE(Reader(ui->ImgSelDev2)->text(QAccessible::Name), f.T(361).arg("DVD"));
            QVERIFY(!Reader(ui->LabDevSel)->text(QAccessible::Name).contains('&'));

            // Pictures that click are buttons, the one chosen is checked, and each says what it holds.
            for (QWidget* b : {ui->ImgSelDev0, ui->ImgSelDev1, ui->LabDownload})
                QCOMPARE(Reader(b)->role(), QAccessible::Button);
            QCOMPARE(Reader(ui->LabEmail)->role(), QAccessible::Link);
            QVERIFY(Reader(ui->ImgSelDev0)->state().checkable);
            QVERIFY(Reader(ui->ImgSelDev0)->state().checked);
            QVERIFY(!Reader(ui->ImgSelDev1)->state().checked);
            QCOMPARE(Reader(ui->ImgSelDev0)->text(QAccessible::Description), f.T(362).arg("TV", "Philips", "32PFL"));
            QCOMPARE(Reader(ui->ImgSelDev1)->text(QAccessible::Description), f.T(363));
            QAccessibleActionInterface* press = Reader(ui->ImgSelDev3)->actionInterface();
            QVERIFY(press);
            QVERIFY(press->actionNames().contains(QAccessibleActionInterface::pressAction()));
            press->doAction(QAccessibleActionInterface::pressAction());
            QCOMPARE(int(f.ctx->CurDevice), 3);
            QVERIFY(Reader(ui->ImgSelDev3)->state().checked);
            QVERIFY(!Reader(ui->ImgSelDev0)->state().checked);

            // The grid says how many rows it holds, and each row is read whole.
            QAccessibleTableInterface* table = Reader(ui->IRDBGrid)->tableInterface();
            QVERIFY(table);
            QVERIFY(Reader(ui->IRDBGrid)->text(QAccessible::Description).startsWith(f.T(358).arg(2)));
            QAccessibleInterface* cell = table->cellAt(1, 1); // the brand, hidden columns not counted
            QVERIFY(cell);
            QCOMPARE(cell->text(QAccessible::Name), f.T(360).arg("TV", "Samsung", "UE40 Series"));
            ui->TxtBrandKey->setText("zzzz");
            QVERIFY(Reader(ui->IRDBGrid)->text(QAccessible::Description).startsWith(f.T(358).arg(0)));

            QString file = qEnvironmentVariable("TOLBE_SCREENSHOT_DIR");
            if (!file.isEmpty()) {
                QDir().mkpath(file);
                QFile out(QDir(file).filePath(QString("accessible-names-%1.tsv").arg(tag)));
                QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
                out.write(list.join('\n').toUtf8() + '\n');
            }
        }
    }

    void everyLanguageGivesEachMenuEntryItsOwnLetterAndEveryControlAPlainName() {
        const auto letter = [](const QString& text) { return QKeySequence::mnemonic(text).toString(); };
        for (int base = 0; base <= 6000; base += 1000) {
            Fixture f(base);
            Ui::FrmSASel* ui = f.ui();
            // Alt+letter of the window: the field labels and the visible menus share one set of letters;
            // each menu's visible entries have theirs; hidden ones keep none that could shadow another.
            QStringList window_letters;
            for (QLabel* label : {ui->LabDevSel, ui->LabBrandFilter, ui->Label2})
                window_letters << letter(label->text());
            std::function<void(const QList<QAction*>&, QStringList&)> check = [&](const QList<QAction*>& actions,
                                                                                  QStringList& letters) {
                for (QAction* a : actions) {
                    const QString k = letter(a->text());
                    const QString where = QString("%1 %2").arg(base).arg(a->text());
                    QVERIFY2(a->isVisible() || k.isEmpty(), qPrintable(where));
                    QVERIFY2(k.isEmpty() || !letters.contains(k), qPrintable(where));
                    if (!k.isEmpty()) letters << k;
                    QStringList inner;
                    if (a->menu() && a->isVisible()) check(a->menu()->actions(), inner);
                }
            };
            check(f.window->menuBar()->actions(), window_letters);
            QCOMPARE(window_letters.size(), 7); // three fields, File, Tools, Language, Help

            // Every control a screen reader meets has a role and a name without mnemonic marks.
            int named = 0;
            for (QObject* o :
                 std::initializer_list<QObject*>{f.window.get(), ui->mnuFile, f.window->Remote()->ToolsMenu(),
                                                 ui->mnuLanguage, ui->mnuHelp, f.window->OutputMenu()}) {
                const QString fault = test::AccessibleNameFault(Reader(o), named);
                QVERIFY2(fault.isEmpty(), qPrintable(QString::number(base) + " " + fault));
            }
            QVERIFY2(named >= 27, qPrintable(QString::number(named)));
            // The grid holds the three columns it shows, named with its count.
            QCOMPARE(Reader(ui->IRDBGrid)->tableInterface()->columnCount(), 3);
            QCOMPARE(Reader(ui->IRDBGrid)->text(QAccessible::Name), f.T(375).arg(2));
        }
    }

    void languageMenuNamesEachLanguageInItselfToo() {
        Fixture f(4000);
        QCOMPARE(f.ui()->mnuLanguageIndex1->text(), QString("Englisch (English)"));
        QCOMPARE(f.ui()->mnuLanguageIndex4->text(), QString("Deutsch(DE)"));
        QCOMPARE(f.ui()->mnuLanguageIndex0->text(), QString("Vereinfachtes Chinesisch (简体中文)"));
        // Choosing still works as before.
        f.ui()->mnuLanguageIndex1->trigger();
        QCOMPARE(f.settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kLanguage), std::string("1000"));
    }
};

QTEST_MAIN(KeyboardAccessTest)
#include "test_keyboard_access.moc"
