// The slot buttons, the instruction animation and the pictures they show.
#include "app/DeviceSelector.h"
#include "app/resources/tools/GifWriter.h"
#include "app/resources/tools/PictureArt.h"
#include "codec/SlotTable.h"
#include "common/ProgramPaths.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMovie>
#include <QTest>

#include <array>
#include <memory>

using namespace tolbe;
using tolbe::app::DeviceSelector;
using tolbe::app::PictureOf;

namespace {

// The main window's controls that the selector works on.
struct Controls {
    std::array<std::unique_ptr<QLabel>, 4> buttons;
    std::unique_ptr<QLabel> press = std::make_unique<QLabel>();
    std::unique_ptr<QLabel> plug = std::make_unique<QLabel>();
    std::unique_ptr<QLabel> light = std::make_unique<QLabel>();
    std::unique_ptr<QLabel> lab_dev = std::make_unique<QLabel>("Device");
    std::unique_ptr<QLabel> lab_brand = std::make_unique<QLabel>("Brand");
    std::unique_ptr<QLabel> lab_model = std::make_unique<QLabel>("Model");
    std::int16_t LangBase = 1000;
    std::int16_t CurDevice = 0;
    codec::SlotTable table;
    std::unique_ptr<DeviceSelector> selector;

    Controls() {
        for (auto& b : buttons)
            b = std::make_unique<QLabel>();
        table[1] = {17, 4, "Satellite", "Humax", "HD-FOX"};
        table[3] = {21, 9, "Audio", "Yamaha", "RX-V473"};
        selector = std::make_unique<DeviceSelector>(
            std::array<QLabel*, 4>{buttons[0].get(), buttons[1].get(), buttons[2].get(), buttons[3].get()}, press.get(),
            plug.get(), light.get(), CurDevice,
            DeviceSelector::MakeSlotRelabeller(lab_dev.get(), lab_brand.get(), lab_model.get(), LangBase, table));
    }
    QStringList Buttons() const {
        QStringList names;
        for (const auto& b : buttons)
            names << PictureOf(b.get());
        return names;
    }
    QStringList Labels() const { return {lab_dev->text(), lab_brand->text(), lab_model->text()}; }
    QStringList Animation() const { return {PictureOf(plug.get()), PictureOf(press.get()), PictureOf(light.get())}; }
};

bool SameImage(const QImage& a, const QImage& b) {
    return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestDeviceSelector : public QObject {
    Q_OBJECT

private slots:
    void satClickMakesSlotOneCurrent() {
        Controls c;
        c.selector->ImageSelDev(0);
        QCOMPARE(c.Buttons(), QStringList({"TV_BTN2", "SAT_BTN", "DVD_BTN", "AUX_BTN"}));
        QCOMPARE(c.Labels(), QStringList({"Device:", "Brand:", "Model:"}));

        c.selector->ImgSelDev_Click(1);
        QCOMPARE(c.CurDevice, std::int16_t{1});
        QCOMPARE(c.Buttons(), QStringList({"TV_BTN", "SAT_BTN2", "DVD_BTN", "AUX_BTN"}));
        QCOMPARE(c.Labels(), QStringList({"Device:Satellite", "Brand:Humax", "Model:HD-FOX"}));
        // The label really shows the named picture, not just the name.
        QVERIFY(SameImage(c.buttons[1]->pixmap().toImage(), app::LoadPicture("SAT_BTN2").toImage()));
        QVERIFY(SameImage(c.buttons[0]->pixmap().toImage(), app::LoadPicture("TV_BTN").toImage()));

        // Clicking the chosen button again redraws the same state.
        c.selector->ImgSelDev_Click(1);
        QCOMPARE(c.CurDevice, std::int16_t{1});
        QCOMPARE(c.Buttons(), QStringList({"TV_BTN", "SAT_BTN2", "DVD_BTN", "AUX_BTN"}));
        QCOMPARE(c.Labels(), QStringList({"Device:Satellite", "Brand:Humax", "Model:HD-FOX"}));

        // Back to an empty slot: the names go, the texts stay.
        c.selector->ImgSelDev_Click(2);
        QCOMPARE(c.Buttons(), QStringList({"TV_BTN", "SAT_BTN", "DVD_BTN2", "AUX_BTN"}));
        QCOMPARE(c.Labels(), QStringList({"Device:", "Brand:", "Model:"}));
    }

    void slotOutsideTheRangeIsShownAsAux_data() {
        QTest::addColumn<int>("slot");
        QTest::newRow("3") << 3;
        QTest::newRow("4") << 4;
        QTest::newRow("-1") << -1;
        QTest::newRow("255") << 255;
    }
    void slotOutsideTheRangeIsShownAsAux() {
        QFETCH(int, slot);
        Controls c;
        c.selector->ImageSelDev(slot);
        QCOMPARE(c.Buttons(), QStringList({"TV_BTN", "SAT_BTN", "DVD_BTN", "AUX_BTN2"}));
        QCOMPARE(c.Labels(), QStringList({"Device:Audio", "Brand:Yamaha", "Model:RX-V473"}));
    }

    void clickOnAnUnknownButtonChangesNothing() {
        Controls c;
        c.selector->ImgSelDev_Click(2);
        c.selector->ImgSelDev_Click(4);
        c.selector->ImgSelDev_Click(-1);
        QCOMPARE(c.CurDevice, std::int16_t{2});
        QCOMPARE(c.Buttons(), QStringList({"TV_BTN", "SAT_BTN", "DVD_BTN2", "AUX_BTN"}));
    }

    void labelsFollowTheLanguageAndKeepTheirTextWhenItIsMissing() {
        Controls c;
        c.LangBase = 4000;
        c.selector->ImgSelDev_Click(1);
        QCOMPARE(c.Labels(), QStringList({"Gerät:Satellite", "Marke:Humax", "Modell:HD-FOX"}));
        c.LangBase = 9000; // no such language: the labels stay as they were
        c.selector->ImgSelDev_Click(3);
        QCOMPARE(c.Labels(), QStringList({"Gerät:Satellite", "Marke:Humax", "Modell:HD-FOX"}));
        QCOMPARE(c.Buttons(), QStringList({"TV_BTN", "SAT_BTN", "DVD_BTN", "AUX_BTN2"}));
    }

    void animationTicks() {
        Controls c;
        c.selector->ShowFirstFrames();
        QCOMPARE(c.Animation(), QStringList({"A21", "A31", "A41"}));
        QCOMPARE(c.selector->Phase(), std::int16_t{1});
        QVERIFY(c.selector->Blink());

        // Plug every 3 ticks, keys and light every 2: the two run out of step.
        const std::array<QStringList, 7> expected{{{"A22", "A32", "A42"},
                                                   {"A23", "A31", "A41"},
                                                   {"A21", "A32", "A42"},
                                                   {"A22", "A31", "A41"},
                                                   {"A23", "A32", "A42"},
                                                   {"A21", "A31", "A41"},
                                                   {"A22", "A32", "A42"}}};
        for (size_t tick = 0; tick < expected.size(); ++tick) {
            c.selector->Timer1_Timer();
            QVERIFY2(c.Animation() == expected[tick],
                     qPrintable(QString("tick %1: %2").arg(tick + 1).arg(c.Animation().join(' '))));
        }
        QVERIFY(!c.plug->pixmap().isNull());
        QCOMPARE(c.plug->pixmap().size(), QSize(212, 100));

        c.selector->ResetAnimation();
        c.selector->Timer1_Timer();
        QCOMPARE(c.Animation(), QStringList({"A22", "A32", "A42"}));
    }

    void everyPictureHasItsSize_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        for (const char* slot : {"TV", "SAT", "DVD", "AUX"}) {
            QTest::newRow(slot) << QString(slot) + "_BTN" << QSize(72, 31);
            QTest::newRow((QString(slot) + "2").toLatin1()) << QString(slot) + "_BTN2" << QSize(72, 31);
        }
        for (const char* plug : {"A21", "A22", "A23"})
            QTest::newRow(plug) << QString(plug) << QSize(212, 100);
        for (const char* pad : {"A31", "A32"})
            QTest::newRow(pad) << QString(pad) << QSize(100, 88);
        for (const char* light : {"A41", "A42"})
            QTest::newRow(light) << QString(light) << QSize(131, 60);
        QTest::newRow("finish") << QString("FINISH") << QSize(328, 315);
    }
    void everyPictureHasItsSize() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        const QPixmap picture = app::LoadPicture(name);
        QVERIFY2(!picture.isNull(), qPrintable(name));
        QCOMPARE(picture.size(), size);
        QVERIFY(app::PictureNames().contains(name));
    }

    void unknownPictureIsEmpty() {
        QVERIFY(app::LoadPicture("TV_BTN3").isNull());
        QVERIFY(app::DrawPicture("TV_BTN3").isNull());
        QLabel label;
        app::ShowPicture(&label, "nothing");
        QCOMPARE(PictureOf(&label), QString("nothing"));
        QVERIFY(label.pixmap().isNull());
        app::ShowPicture(nullptr, "A21"); // no label: nothing happens
    }

    // The committed pictures are what the drawing code makes.
    void committedPicturesMatchTheirDrawing() {
        QVERIFY2(app::PictureFontAvailable(), "the DejaVu Sans font is needed to draw the pictures");
        const QStringList names = app::PictureNames();
        QCOMPARE(names.size(), 16);
        for (const QString& name : names) {
            const QImage drawn = app::DrawPicture(name);
            QCOMPARE(drawn.size(), app::PictureSize(name));
            QVERIFY2(SameImage(drawn, app::LoadPicture(name).toImage()),
                     qPrintable(name + " differs from its drawing; run tolbe-make-pictures"));
        }
        for (int size : app::IconSizes()) {
            const QString file = QStringLiteral(TOLBE_SOURCE_DIR "/app/resources/icons/tolbe-%1.png").arg(size);
            const QImage icon(file);
            QCOMPARE(icon.size(), QSize(size, size));
            QVERIFY2(SameImage(app::DrawIconImage(size), icon),
                     qPrintable(file + " differs from its drawing; run tolbe-make-pictures"));
        }
        QVERIFY(app::DrawIconImage(20).isNull());
    }

    void animatedPictureInTheProgramFolder() {
        const auto file = ProgramPaths::ForRunningProgram().AnimatedPicture();
        const QString path = QString::fromStdString(file.string());
        QMovie movie(path);
        QVERIFY2(movie.isValid(), qPrintable(path));
        QCOMPARE(movie.frameCount(), 8);
        QVERIFY(movie.jumpToFrame(0));
        QCOMPARE(movie.currentImage().size(), QSize(300, 60));
        // Qt takes the time spent decoding the frame off the delay, so a slow (sanitized or busy)
        // run sees a little less; the exact value is in the file's bytes, compared below.
        QVERIFY2(movie.nextFrameDelay() <= app::kAnimationFrameDelayCs * 10 &&
                     movie.nextFrameDelay() > app::kAnimationFrameDelayCs * 10 - 50,
                 qPrintable(QString::number(movie.nextFrameDelay())));
        for (int frame = 1; frame < 8; ++frame) {
            QVERIFY(movie.jumpToNextFrame());
            QCOMPARE(movie.currentFrameNumber(), frame);
            QCOMPARE(movie.currentImage().size(), QSize(300, 60));
        }

        QFile gif(path);
        QVERIFY(gif.open(QIODevice::ReadOnly));
        QVERIFY2(gif.readAll() == app::EncodeGif(app::DrawAnimationFrames(), app::kAnimationFrameDelayCs),
                 "a1.gif differs from its drawing; run tolbe-make-pictures");
    }

    // Noise that fills the code table several times over, a flat frame whose runs make long codes,
    // and stripes with transparent holes all come back from Qt's reader pixel for pixel.
    void gifRoundTrip() {
        const QList<QRgb>& palette = app::GifPalette();
        QCOMPARE(palette.size(), 256);
        const QSize size(257, 83);
        QList<QImage> frames;
        std::uint32_t seed = 12345;
        for (int f = 0; f < 3; ++f) {
            QImage frame(size, QImage::Format_ARGB32);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    QRgb colour = palette[(x * 7 + y * 13) % 255];
                    if (f == 0) colour = (seed >> 24) % 16 == 0 ? qRgba(0, 0, 0, 0) : palette[(seed >> 16) % 255];
                    if (f == 1) colour = palette[40];
                    if (f == 2 && (x + y) % 11 == 0) colour = qRgba(0, 0, 0, 0);
                    frame.setPixel(x, y, colour);
                }
            frames << frame;
        }
        const QByteArray gif = app::EncodeGif(frames, 25);
        QVERIFY(gif.startsWith("GIF89a"));
        QVERIFY(gif.endsWith(';'));

        QBuffer buffer;
        buffer.setData(gif);
        QImageReader reader(&buffer, "gif");
        QCOMPARE(reader.imageCount(), 3);
        for (int f = 0; f < 3; ++f) {
            QImage decoded;
            QVERIFY2(reader.read(&decoded), qPrintable(reader.errorString()));
            QCOMPARE(reader.nextImageDelay(), 250);
            decoded = decoded.convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(decoded.size(), size);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    const QRgb want = frames[f].pixel(x, y);
                    const QRgb got = decoded.pixel(x, y);
                    if (qAlpha(want) == 0) {
                        QVERIFY2(qAlpha(got) == 0, qPrintable(QString("frame %1 at %2,%3").arg(f).arg(x).arg(y)));
                    } else {
                        QVERIFY2(got == want, qPrintable(QString("frame %1 at %2,%3").arg(f).arg(x).arg(y)));
                    }
                }
        }
    }

    void gifRefusesFramesItCannotDescribe() {
        QVERIFY(app::EncodeGif({}, 10).isEmpty());
        QImage small(4, 4, QImage::Format_ARGB32);
        small.fill(Qt::red);
        QImage other(5, 4, QImage::Format_ARGB32);
        other.fill(Qt::red);
        QVERIFY(app::EncodeGif({small, other}, 10).isEmpty());
        QVERIFY(app::EncodeGif({QImage()}, 10).isEmpty());
        // Colours off the palette go to the nearest entry.
        QImage off(2, 1, QImage::Format_ARGB32);
        off.setPixel(0, 0, qRgb(250, 2, 1));
        off.setPixel(1, 0, qRgb(100, 100, 100));
        QImage back = QImage::fromData(app::EncodeGif({off}, 10), "gif").convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(back.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(back.pixel(1, 0), qRgb(102, 102, 102));
        // One pixel: a single code between the clear and the end code.
        QImage dot(1, 1, QImage::Format_ARGB32);
        dot.setPixel(0, 0, qRgb(0, 51, 204));
        back = QImage::fromData(app::EncodeGif({dot}, 10), "gif").convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(back.size(), QSize(1, 1));
        QCOMPARE(back.pixel(0, 0), qRgb(0, 51, 204));
    }
};

QTEST_MAIN(TestDeviceSelector)
#include "test_device_selector.moc"
