// The windows on large screens. $TOLBE_SCALE picks the screen: "2x" (the default: Qt scales by 2,
// as at 200 %), "1.5x" (what Qt 6 does on a 144 DPI desktop) or "144dpi-fonts" (144 DPI fonts on
// unscaled pixels, as with Qt's scaling turned off). Texts must not be cut and pictures must be
// drawn at the screen's resolution, not blown up.
#include "app/AppContext.h"
#include "app/DeviceSelector.h"
#include "app/FrmFinish.h"
#include "app/FrmMsgbox.h"
#include "app/FrmSASel.h"
#include "app/frmAbout.h"
#include "app/pictures/PictureArt.h"
#include "i18n/StringTable.h"
#include "tests/support/TestSupport.h"
#include "ui_FrmSASel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QTest>

using namespace tolbe;
using namespace tolbe::app;

namespace {

const char* const kLanguageTags[] = {"zh", "en", "es", "fr", "de", "it", "nl"};

QString Mode() {
    const QString mode = qEnvironmentVariable("TOLBE_SCALE");
    return mode.isEmpty() ? QStringLiteral("2x") : mode;
}

void Save(QWidget& window, const QString& name) {
    QString dir = qEnvironmentVariable("TOLBE_SCREENSHOT_DIR");
    if (dir.isEmpty()) dir = QDir::temp().filePath("tolbe-screenshots");
    QDir().mkpath(dir);
    const QString file = QDir(dir).filePath(name + "-" + Mode() + ".png");
    QVERIFY2(window.grab().save(file), qPrintable(file));
}

// Visible labels and buttons whose text needs more room than they have.
QStringList ClippedTexts(QWidget& window) {
    QStringList clipped;
    for (auto* label : window.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&window) || label->text().isEmpty()) continue;
        const QSize need = label->sizeHint();
        if (label->wordWrap() ? label->heightForWidth(label->width()) > label->height()
                              : need.width() > label->width() || need.height() > label->height())
            clipped << QString("%1 (%2 needs %3x%4, has %5x%6)")
                           .arg(label->objectName(), label->text())
                           .arg(need.width())
                           .arg(need.height())
                           .arg(label->width())
                           .arg(label->height());
    }
    // Column headings of a table (the grid's "Device", "Brand", "Model").
    for (auto* header : window.findChildren<QHeaderView*>()) {
        if (!header->isVisibleTo(&window) || header->orientation() != Qt::Horizontal || !header->model()) continue;
        for (int i = 0; i < header->count(); ++i) {
            if (header->isSectionHidden(i)) continue;
            const QString text = header->model()->headerData(i, Qt::Horizontal).toString();
            const int need = header->fontMetrics().horizontalAdvance(text);
            if (need > header->sectionSize(i))
                clipped << QString("heading %1 (needs %2, has %3)").arg(text).arg(need).arg(header->sectionSize(i));
        }
    }
    for (auto* button : window.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&window) && !button->text().isEmpty() && button->sizeHint().width() > button->width())
            clipped << button->objectName() + " (" + button->text() + ")";
    return clipped;
}

// Pictures that are shown at fewer device pixels than the screen has for them.
QStringList BlurredPictures(QWidget& window) {
    QStringList blurred;
    const qreal ratio = window.devicePixelRatioF();
    for (auto* label : window.findChildren<QLabel*>()) {
        const QPixmap pixmap = label->pixmap();
        if (pixmap.isNull() || !label->isVisibleTo(&window)) continue;
        const QSizeF shown = pixmap.deviceIndependentSize();
        if (pixmap.devicePixelRatio() < ratio || pixmap.width() < qRound(shown.width() * ratio))
            blurred << QString("%1 (%2 device pixels shown at ratio %3)")
                           .arg(label->objectName())
                           .arg(pixmap.width())
                           .arg(ratio);
        // A picture keeps its place's size, whatever its resolution.
        const QString name = PictureOf(label);
        if (!name.isEmpty() && shown.toSize() != PictureSize(name))
            blurred << label->objectName() + " shown at the wrong size";
    }
    return blurred;
}

} // namespace

class TestScreenshotsScaled : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!PictureFontAvailable()) QSKIP("the pictures' font (DejaVu Sans) is not installed");
        qInfo("screen: device pixel ratio %.2f, logical DPI %.0f", qApp->devicePixelRatio(),
              QApplication::primaryScreen()->logicalDotsPerInchX());
        if (Mode() == "2x") QCOMPARE(qApp->devicePixelRatio(), 2.0);
        if (Mode() == "1.5x") QCOMPARE(qApp->devicePixelRatio(), 1.5);
        if (Mode() == "144dpi-fonts") QCOMPARE(QApplication::primaryScreen()->logicalDotsPerInchX(), 144.0);
    }

    void picturesAreDrawnAtTheScreensResolution() {
        const qreal ratio = qApp->devicePixelRatio();
        for (const QString& name : PictureNames()) {
            const QPixmap picture = LoadPicture(name, ratio);
            QCOMPARE(picture.deviceIndependentSize().toSize(), PictureSize(name));
            QCOMPARE(picture.devicePixelRatio(), ratio);
            QCOMPARE(picture.width(), qRound(PictureSize(name).width() * ratio));
        }
        FrmFinish finish;
        finish.show();
        QVERIFY(QTest::qWaitForWindowExposed(&finish));
        const QStringList blurred = BlurredPictures(finish);
        QVERIFY2(blurred.isEmpty(), qPrintable(blurred.join("; ")));
        Save(finish, "finish");
    }

    void mainWindowAndLanguageMenuInEveryLanguage() {
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
            window.UpdateTimer().stop();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.AddInfo(0);
            window.Form()->ImgSelDev1->setFocus(Qt::TabFocusReason); // a focus ring in the picture
            Save(window, QString("main-%1").arg(kLanguageTags[index]));
            QStringList faults = ClippedTexts(window) + BlurredPictures(window);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
            if (window.Form()->Gif89a1->movie() == nullptr) // the animation, drawn for this screen
                QVERIFY(window.Form()->Gif89a1->pixmap().devicePixelRatio() >= window.devicePixelRatioF());

            QMenu* menu = window.Form()->mnuLanguage;
            menu->adjustSize();
            Save(*menu, QString("menu-language-%1").arg(kLanguageTags[index]));
            for (QAction* item : menu->actions())
                QVERIFY2(menu->fontMetrics().horizontalAdvance(item->text()) < menu->width(), qPrintable(item->text()));

            frmAbout about(index * 1000);
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            faults = ClippedTexts(about);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));

            const auto text = [index](int k) { return QString::fromStdString(i18n::LoadText(index * 1000, k)); };
            MessageRequest() = {text(186), text(191), text(139), text(140), true, 0};
            FrmMsgbox box;
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            faults = ClippedTexts(box);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
            if (index == 4) Save(box, "msgbox-yesno-de");
        }
    }
};

int main(int argc, char** argv) {
    const QString mode = Mode();
    if (mode == "2x")
        qputenv("QT_SCALE_FACTOR", "2");
    else if (mode == "1.5x")
        qputenv("QT_SCALE_FACTOR", "1.5");
    else if (mode == "144dpi-fonts") {
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
        qputenv("QT_FONT_DPI", "144");
    }
    QApplication app(argc, argv);
    TestScreenshotsScaled test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_screenshots_scaled.moc"
