// The slot buttons, the instruction animation and the pictures they show.
#include "app/DeviceSelector.h"
#include "app/pictures/GifWriter.h"
#include "app/pictures/PictureArt.h"
#include "codec/SlotTable.h"
#include "common/ProgramPaths.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMovie>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <array>
#include <cstdlib>
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

int Colours(const QImage& image) {
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            seen.insert(image.pixel(x, y));
    return static_cast<int>(seen.size());
}

// Mean difference per channel (alpha included), 0..255; images of different sizes differ fully.
double MeanDifference(const QImage& first, const QImage& second) {
    if (first.size() != second.size() || first.isNull()) return 255;
    const QImage a = first.convertToFormat(QImage::Format_ARGB32), b = second.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) +
                   std::abs(qAlpha(p) - qAlpha(q));
        }
    return sum / (4.0 * a.width() * a.height());
}

// Share of the region's pixels whose colour passes the test.
template <typename Test> double Share(const QImage& picture, QRect region, Test test) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    region &= image.rect();
    int hits = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            hits += test(QColor::fromRgba(image.pixel(x, y))) ? 1 : 0;
    return region.isEmpty() ? 0 : double(hits) / (region.width() * region.height());
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

    // The pictures are drawn at build time on this machine, so what the program loads is this
    // machine's drawing; anti-aliased edges may differ elsewhere, so only what a viewer would notice
    // is checked: each picture is drawn, in its main colours, with its lettering.
    void builtPicturesAreDrawn() {
        QVERIFY2(app::PictureFontAvailable(), "the DejaVu Sans font is needed to draw the pictures");
        const QStringList names = app::PictureNames();
        QCOMPARE(names.size(), 16);
        for (const QString& name : names) {
            const QImage loaded = app::LoadPicture(name).toImage();
            QCOMPARE(loaded.size(), app::PictureSize(name));
            QVERIFY2(Colours(loaded) > 8, qPrintable(name + " is blank"));
            QVERIFY2(MeanDifference(loaded, app::DrawPicture(name)) < 2, qPrintable(name + " is another picture"));
        }
        const auto blue = [](QColor c) { return c.blue() > c.red() + 40; };
        const auto light_grey = [](QColor c) { return c.red() > 180 && std::abs(c.red() - c.blue()) < 12; };
        const auto white = [](QColor c) { return c.red() > 235 && c.green() > 235 && c.blue() > 235; };
        const auto dark = [](QColor c) { return c.alpha() > 128 && c.red() < 100; };
        const auto red = [](QColor c) { return c.red() > 200 && c.green() < 120; };
        const auto green = [](QColor c) { return c.green() > c.red() + 60 && c.green() > c.blue() + 40; };
        for (const QString& slot : QStringList{"TV", "SAT", "DVD", "AUX"}) {
            const QImage chosen = app::LoadPicture(slot + QString("_BTN2")).toImage();
            const QImage plain = app::LoadPicture(slot + QString("_BTN")).toImage();
            const QRect middle(chosen.width() / 4, chosen.height() / 4, chosen.width() / 2, chosen.height() / 2);
            QVERIFY2(Share(chosen, chosen.rect(), blue) > 0.5, qPrintable(slot));
            QVERIFY2(Share(plain, plain.rect(), light_grey) > 0.5, qPrintable(slot));
            QVERIFY2(Share(chosen, middle, white) > 0.02, qPrintable(slot + ": no lettering"));
            QVERIFY2(Share(plain, middle, dark) > 0.02, qPrintable(slot + ": no lettering"));
        }
        const QImage unlit = app::LoadPicture("A41").toImage();
        const QImage lit = app::LoadPicture("A42").toImage();
        QVERIFY(Share(lit, lit.rect(), red) > Share(unlit, unlit.rect(), red) + 0.01);
        QVERIFY(MeanDifference(app::LoadPicture("A31").toImage(), app::LoadPicture("A32").toImage()) > 1);
        QVERIFY(MeanDifference(app::LoadPicture("A21").toImage(), app::LoadPicture("A22").toImage()) > 1);
        QVERIFY(MeanDifference(app::LoadPicture("A22").toImage(), app::LoadPicture("A23").toImage()) > 1);
        const QImage keys = app::LoadPicture("A31").toImage();
        QVERIFY2(Share(keys, keys.rect(), white) > 0.005, "key pad without lettering");
        const QImage finish = app::LoadPicture("FINISH").toImage();
        const int half = finish.width() / 2;
        QVERIFY(Share(finish, QRect(half, 0, half, finish.height()), green) > 0.15);
        QVERIFY(Share(finish, QRect(0, 0, half, finish.height()), dark) > 0.15);

        for (int size : app::IconSizes()) {
            const QImage icon(QStringLiteral(TOLBE_BINARY_DIR "/app/pictures/icons/tolbe-%1.png").arg(size));
            QCOMPARE(icon.size(), QSize(size, size));
            QCOMPARE(qAlpha(icon.pixel(0, 0)), 0); // rounded corners on any background
            QVERIFY2(Share(icon, icon.rect(), blue) > 0.3, qPrintable(QString::number(size)));
            QVERIFY2(Share(icon, icon.rect(), dark) > 0.05, qPrintable(QString::number(size)));
        }
        QCOMPARE(app::IconSizes(), QList<int>({16, 22, 24, 32, 48, 64, 128, 256}));
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

        // Drawn by this build on this machine: the file is exactly today's drawing, and each frame
        // Qt decodes is the drawn frame within half a step of the colour cube, transparent where it is clear.
        QFile gif(path);
        QVERIFY(gif.open(QIODevice::ReadOnly));
        QVERIFY2(gif.readAll() == app::EncodeGif(app::DrawAnimationFrames(), app::kAnimationFrameDelayCs),
                 "a1.gif differs from its drawing");
        QImageReader reader(path);
        const QList<QImage> drawn = app::DrawAnimationFrames();
        QCOMPARE(reader.imageCount(), int(drawn.size()));
        for (const QImage& drawn_frame : drawn) {
            const QImage frame = drawn_frame.convertToFormat(QImage::Format_ARGB32);
            const QImage decoded = reader.read().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(reader.nextImageDelay(), app::kAnimationFrameDelayCs * 10);
            for (int y = 0; y < frame.height(); ++y)
                for (int x = 0; x < frame.width(); ++x) {
                    const QRgb d = frame.pixel(x, y), g = decoded.pixel(x, y);
                    const int dr = qRed(d) - qRed(g), dg = qGreen(d) - qGreen(g), db = qBlue(d) - qBlue(g);
                    QVERIFY(qAlpha(d) < 128 ? qAlpha(g) == 0 : dr * dr + dg * dg + db * db <= 3 * 26 * 26);
                }
        }
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
