// The download's progress window and finish window.
#include "app/DeviceSelector.h"
#include "app/FrmFinish.h"
#include "app/FrmProgressBar.h"
#include "i18n/StringTable.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

using namespace tolbe;
using tolbe::app::TwipsToPixels;

namespace {

// Keeps a picture of a window for people to look at, when the test run asks for them.
void SaveScreenshot(QWidget& window, const QString& name) {
    const QString dir = qEnvironmentVariable("TOLBE_SCREENSHOT_DIR");
    if (dir.isEmpty() || !QDir().mkpath(dir)) return;
    window.grab().save(QDir(dir).filePath(name + ".png"));
}

} // namespace

class TestProgressWindows : public QObject {
    Q_OBJECT

private slots:
    void twipsFollowTheScreensDpi() {
        QCOMPARE(TwipsToPixels(6690, 96), 446);
        QCOMPARE(TwipsToPixels(120, 96), 8);
        QCOMPARE(TwipsToPixels(345, 96), 23);
        QCOMPARE(TwipsToPixels(6690, 144), 669);
        QCOMPARE(TwipsToPixels(975, 120), 81);   // 81.25
        QCOMPARE(TwipsToPixels(6690, 120), 558); // 557.5 rounds up
        QCOMPARE(TwipsToPixels(QRect(120, 360, 6375, 495), 96, 192), QRect(8, 48, 425, 66));
    }

    void progressWindowGeometry() {
        app::FrmProgressBar window;
        const int dx = window.logicalDpiX();
        const int dy = window.logicalDpiY();
        const auto px = [](int twips, int dpi) { return qRound(twips * dpi / 1440.0); };
        QCOMPARE(window.size(), QSize(px(6690, dx), px(975, dy)));
        QCOMPARE(window.minimumSize(), window.maximumSize());

        auto* bar = window.findChild<QProgressBar*>("ProgressBar1");
        QVERIFY(bar);
        QCOMPARE(bar->geometry(), QRect(px(120, dx), px(360, dy), px(6375, dx), px(495, dy)));
        auto* label = window.findChild<QLabel*>("LabDev");
        QVERIFY(label);
        QCOMPARE(label->property("Tag").toString(), QString("158"));
        QCOMPARE(label->geometry().topLeft(), QPoint(px(120, dx), 0));
        QCOMPARE(label->height(), px(345, dy));
        QVERIFY(window.rect().contains(label->geometry()));
        QVERIFY(window.rect().contains(bar->geometry()));
        QVERIFY(label->geometry().bottom() < bar->geometry().top());
        auto* finish = window.findChild<QLabel*>("LabFinish");
        QVERIFY(finish);
        QCOMPARE(finish->property("Tag").toString(), QString("147"));
        QVERIFY(!finish->isVisibleTo(&window));
    }

    // The longest device name with "Downloading" in each language fits on the label.
    void deviceCaptionFitsInEveryLanguage() {
        app::FrmProgressBar window;
        auto* label = window.findChild<QLabel*>("LabDev");
        QVERIFY(label);
        for (int base = 0; base < i18n::kLanguageCount * i18n::kLanguageBaseStep; base += i18n::kLanguageBaseStep) {
            window.SetDeviceCaption("AUX", base);
            const QString caption = window.Caption();
            QVERIFY(caption.startsWith("AUX ") && caption.size() > 4);
            const QSize needed = label->fontMetrics().size(Qt::TextSingleLine, caption);
            QVERIFY2(needed.width() <= label->contentsRect().width() && needed.height() <= label->height(),
                     qPrintable(caption));
        }
    }

    void captionAndProgress() {
        app::FrmProgressBar window;
        QCOMPARE(window.CaptionNumber(), 158);
        window.SetDeviceCaption("TV", 1000);
        QCOMPARE(window.Caption(), QString("TV Downloading"));
        window.SetDeviceCaption("SAT", 6000);
        QCOMPARE(window.Caption(), QString("SAT Bezig met downloaden"));
        window.SetDeviceCaption("DVD", 9000); // a language the table does not hold
        QCOMPARE(window.Caption(), QString("DVD"));

        window.SetMaximum(3);
        window.SetValue(0);
        QCOMPARE(window.Maximum(), 3);
        QCOMPARE(window.Value(), 0);
        for (int i = 1; i <= 3; ++i) {
            window.AddOne();
            QCOMPARE(window.Value(), i);
        }
        window.AddOne(); // one block too many does not run past the end
        QCOMPARE(window.Value(), 3);
        auto* bar = window.findChild<QProgressBar*>("ProgressBar1");
        QCOMPARE(bar->value(), 3);
        QCOMPARE(bar->maximum(), 3);
        window.SetValue(2);
        window.SetDeviceCaption("AUX", 3000);
        QCOMPARE(window.accessibleName(), QString("AUX Téléchargement"));
        QCOMPARE(bar->accessibleName(), QString("Bloc 2 sur 3"));
        SaveScreenshot(window, "FrmProgressBar");
    }

    void finishWindowHoldsOnePicture() {
        app::FrmFinish window;
        const int dx = window.logicalDpiX();
        const int dy = window.logicalDpiY();
        QCOMPARE(window.size(), QSize(qRound(4950 * dx / 1440.0), qRound(4740 * dy / 1440.0)));
        const auto labels = window.findChildren<QLabel*>();
        QCOMPARE(labels.size(), 1);
        QLabel* picture = labels.front();
        QCOMPARE(app::PictureOf(picture), QString("FINISH"));
        QCOMPARE(picture->pixmap().size(), QSize(328, 315));
        QCOMPARE(picture->size(), QSize(328, 315));
        QVERIFY(window.rect().contains(picture->geometry()));
        window.SayProgrammed(4000);
        QCOMPARE(window.accessibleName(), QString("Fernbedienung programmiert"));
        QCOMPARE(picture->accessibleDescription(), QString::fromStdString(i18n::LoadText(4000, 374)));
        window.SayProgrammed(4000, "SAT"); // the slot is named under the picture
        QCOMPARE(window.findChild<QLabel*>("LabSlotProgrammed")->text(),
                 QString("Speicherplatz SAT wurde programmiert."));
        SaveScreenshot(window, "FrmFinish");
    }
};

QTEST_MAIN(TestProgressWindows)
#include "test_progress_windows.moc"
