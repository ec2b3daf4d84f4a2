#include "app/ContactLink.h"
#include "app/FrmMsgbox.h"
#include "app/FrmProgressBar.h"
#include "app/QtPrompt.h"
#include "app/ShowMessage.h"
#include "app/frmAbout.h"
#include "i18n/StringTable.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace tolbe::app;

namespace {

constexpr int kChinese = 0, kEnglish = 1000, kGerman = 4000, kItalian = 5000;

// Runs `act` on the modal window that the next exec() opens.
void WhenModalOpens(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        act(modal);
    });
}

void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button = Qt::NoButton) {
    const QPointF pos(2, 2);
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button,
                      type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons(), Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

// Receives the URLs that the desktop is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { urls << url; }

public:
    QList<QUrl> urls;
};

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    // Must run first: the result code is process-wide.
    void closingTheFirstBoxByItsFrameGivesZero() {
        WhenModalOpens([](QWidget* box) { box->close(); });
        QCOMPARE(ShowMessage("Prompt", "Confirm"), std::int16_t(0));
    }

    void buttonsGiveOneAndSeven() {
        WhenModalOpens([](QWidget* box) { QTest::mouseClick(box->findChild<QPushButton*>("CmdOK"), Qt::LeftButton); });
        QCOMPARE(ShowMessage("Prompt", "Yes", QString("No")), std::int16_t(1));
        WhenModalOpens([](QWidget* box) { QTest::mouseClick(box->findChild<QPushButton*>("CmdNO"), Qt::LeftButton); });
        QCOMPARE(ShowMessage("Prompt", "Yes", QString("No")), std::int16_t(7));
        // Closing by the frame or Escape keeps the previous answer.
        WhenModalOpens([](QWidget* box) { box->close(); });
        QCOMPARE(ShowMessage("Prompt", "Yes", QString("No")), std::int16_t(7));
        WhenModalOpens([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
        QCOMPARE(ShowMessage("Prompt", "Confirm"), std::int16_t(7));
        QCOMPARE(MessageRequest().result, 7);
    }

    void boxShowsTheRequest() {
        const QString prompt = QString::fromStdString(tolbe::i18n::LoadText(kGerman, 141));
        const QString confirm = QString::fromStdString(tolbe::i18n::LoadText(kGerman, 137));
        WhenModalOpens([&](QWidget* box) {
            QCOMPARE(box->windowTitle(), QString("Tolbe")); // no title given
            auto* text = box->findChild<QPlainTextEdit*>("TxtPrompt");
            QCOMPARE(text->toPlainText(), prompt);
            QVERIFY(text->isReadOnly());
            QCOMPARE(box->findChild<QPushButton*>("CmdOK")->text(), confirm);
            QVERIFY(box->findChild<QPushButton*>("CmdNO")->isHidden());
            QTest::mouseClick(box->findChild<QPushButton*>("CmdOK"), Qt::LeftButton);
        });
        QCOMPARE(ShowMessage(prompt, confirm), std::int16_t(1));

        WhenModalOpens([](QWidget* box) {
            QCOMPARE(box->windowTitle(), QString("Live Update"));
            QVERIFY(!box->findChild<QPushButton*>("CmdNO")->isHidden());
            QCOMPARE(box->findChild<QPushButton*>("CmdNO")->text(), QString("Nein"));
            box->close();
        });
        ShowMessage("Line one\nLine two", "Ja", QString("Nein"), QString("Live Update"));
    }

    void oneButtonIsCentred() {
        MessageRequest() = {"Tolbe", "Prompt", "Confirm", "stale", false, 0};
        FrmMsgbox box;
        const int dpi = box.logicalDpiX();
        QCOMPARE(box.width(), TwipsToPixels(kMsgboxWidthTwips, dpi));
        QVERIFY(box.CmdNO()->isHidden());
        const QRect ok = box.CmdOK()->geometry();
        QVERIFY(qAbs(ok.left() + ok.width() / 2 - box.width() / 2) <= 1);
        QVERIFY(ok.bottom() < box.height());
    }

    void twoButtonsAre360TwipsApartAroundTheCentre() {
        const QString long_caption = "Abbrechen und alle geänderten Daten verwerfen, ohne sie zu speichern";
        for (const QString& no : {QString("No"), long_caption}) {
            MessageRequest() = {"Tolbe", "Prompt", "Yes", no, true, 0};
            FrmMsgbox box;
            const int dpi = box.logicalDpiX();
            const QRect ok = box.CmdOK()->geometry();
            const QRect cancel = box.CmdNO()->geometry();
            QVERIFY(!box.CmdNO()->isHidden());
            QCOMPARE(cancel.left() - (ok.left() + ok.width()), TwipsToPixels(kMsgboxButtonGapTwips, dpi));
            QCOMPARE(ok.width(), cancel.width());
            QCOMPARE(ok.top(), cancel.top());
            const int centre = box.width() / 2;
            QVERIFY(qAbs(ok.left() + ok.width() + TwipsToPixels(kMsgboxButtonGapTwips / 2, dpi) - centre) <= 1);
            // Long captions widen both buttons instead of being cut.
            QVERIFY(cancel.width() >= box.CmdNO()->sizeHint().width());
            QVERIFY(ok.left() >= 0 && cancel.right() < box.width());
        }
    }

    void aboutShowsVersionAndLanguage() {
        QCOMPARE(VersionLine("Version:", 2, 0, 9), QString("Version:2.0.9"));
        QCOMPARE(VersionLine("Versione:", 10, 0, 123), QString("Versione:10.0.123"));
        const QString version =
            QString("%1.%2.%3").arg(TOLBE_VERSION_MAJOR).arg(TOLBE_VERSION_MINOR).arg(TOLBE_VERSION_PATCH);

        frmAbout english(kEnglish);
        QCOMPARE(english.windowTitle(), QString("Information"));
        QCOMPARE(english.LabVer()->text(), "Version:" + version);
        QCOMPARE(english.CmdOK()->text(), QString("OK"));
        QCOMPARE(english.LabCopyright()->text(), QString());

        frmAbout german(kGerman);
        QCOMPARE(german.windowTitle(), QString("Informationen"));
        QCOMPARE(german.LabVer()->text(), "Version:" + version);
        QVERIFY(german.LabCopyright()->text().contains("DIVALO"));

        frmAbout italian(kItalian);
        QCOMPARE(italian.LabVer()->text(), "Versione:" + version);

        frmAbout chinese(kChinese);
        QCOMPARE(chinese.windowTitle(), QString::fromUtf8("关于"));
        QCOMPARE(chinese.CmdOK()->text(), QString::fromUtf8("确定"));
    }

    void aboutOpensWithoutBlockingAndOkCloses() {
        QWidget main_window;
        main_window.show();
        frmAbout* about = ShowAboutWindow(&main_window, kEnglish);
        QVERIFY(about->isVisible());
        QVERIFY(!about->isModal());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(ShowAboutWindow(&main_window, kEnglish), about); // one About window at a time
        QPointer<frmAbout> watch(about);
        QTest::mouseClick(about->CmdOK(), Qt::LeftButton);
        QVERIFY(!about->isVisible() || watch.isNull());
        QTRY_VERIFY(watch.isNull());
    }

    void contactLinkColoursAndMail() {
        QWidget window;
        auto* email = new QLabel(QString::fromStdString(tolbe::i18n::LoadText(kEnglish, 194)), &window);
        auto* grid = new QWidget(&window);
        auto* link = new ContactLink(email);
        link->ResetOnHover(&window);
        link->ResetOnHover(grid);
        const QColor button_text = QApplication::palette().color(QPalette::ButtonText);
        QVERIFY(button_text != QColor(0, 0, 255));

        SendMouse(email, QEvent::MouseMove);
        QCOMPARE(link->Colour(), QColor(0, 0, 255));
        SendMouse(email, QEvent::Leave); // leaving alone does not reset it
        QCOMPARE(link->Colour(), QColor(0, 0, 255));
        SendMouse(grid, QEvent::MouseMove);
        QCOMPARE(link->Colour(), button_text);
        SendMouse(email, QEvent::MouseMove);
        SendMouse(&window, QEvent::MouseMove);
        QCOMPARE(link->Colour(), button_text);
        link->ResetColour();
        QCOMPARE(link->Colour(), button_text);

        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("mailto", &catcher, "Open");
        SendMouse(email, QEvent::MouseButtonPress, Qt::LeftButton);
        SendMouse(email, QEvent::MouseButtonRelease, Qt::LeftButton);
        SendMouse(email, QEvent::MouseButtonRelease, Qt::RightButton);
        QDesktopServices::unsetUrlHandler("mailto");
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.front().toString(), QString("mailto:support@tolbe-remote.com"));
    }

    void qtPromptCaptionsButtonsInTheActiveLanguage() {
        QtPrompt german(kGerman);
        WhenModalOpens([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QString("Tolbe"));
            QCOMPARE(box->icon(), QMessageBox::Question);
            QCOMPARE(box->button(QMessageBox::Yes)->text(), QString("Ja"));
            QCOMPARE(box->button(QMessageBox::No)->text(), QString("Nein"));
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        });
        QCOMPARE(german.Show("", "Eine neue Version wurde gefunden.", tolbe::Prompt::Buttons::YesNo,
                             tolbe::Prompt::Icon::Question),
                 tolbe::Prompt::Answer::No);

        WhenModalOpens([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
        });
        QCOMPARE(german.Show("Tolbe", "?", tolbe::Prompt::Buttons::YesNo), tolbe::Prompt::Answer::Yes);

        QtPrompt chinese(kChinese);
        WhenModalOpens([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QCOMPARE(box->windowTitle(), QString("Live"));
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->button(QMessageBox::Ok)->text(), QString::fromUtf8("确定"));
            QCOMPARE(box->text(), QString::fromUtf8("更新失败！"));
            box->close();
        });
        QCOMPARE(chinese.Show("Live", "更新失败！", tolbe::Prompt::Buttons::Ok, tolbe::Prompt::Icon::Error),
                 tolbe::Prompt::Answer::Ok);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
