// Draws the program's pictures into a folder (PNG files and a1.gif) and its icon into its icons/
// folder (tolbe-<size>.png, installed into the desktop's icon theme). The build runs it; the
// pictures are build products, drawn on the machine that builds the program.
#include "app/pictures/GifWriter.h"
#include "app/pictures/PictureArt.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: tolbe-make-pictures <output folder>\n");
        return 2;
    }
    if (!tolbe::app::PictureFontAvailable()) {
        std::fprintf(stderr, "tolbe-make-pictures: the DejaVu Sans font is not installed\n");
        return 1;
    }
    const QDir out(args[1]);
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "tolbe-make-pictures: cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    for (const QString& name : tolbe::app::PictureNames()) {
        const QString file = out.filePath(name + ".png");
        if (!tolbe::app::DrawPicture(name).save(file, "PNG")) {
            std::fprintf(stderr, "tolbe-make-pictures: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    if (!out.mkpath("icons")) {
        std::fprintf(stderr, "tolbe-make-pictures: cannot create %s\n", qPrintable(out.filePath("icons")));
        return 1;
    }
    for (int size : tolbe::app::IconSizes()) {
        const QString file = out.filePath(QString("icons/tolbe-%1.png").arg(size));
        if (!tolbe::app::DrawIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "tolbe-make-pictures: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    const QByteArray gif = tolbe::app::EncodeGif(tolbe::app::DrawAnimationFrames(), tolbe::app::kAnimationFrameDelayCs);
    QFile gif_file(out.filePath("a1.gif"));
    if (gif.isEmpty() || !gif_file.open(QIODevice::WriteOnly) || gif_file.write(gif) != gif.size()) {
        std::fprintf(stderr, "tolbe-make-pictures: cannot write %s\n", qPrintable(gif_file.fileName()));
        return 1;
    }
    return 0;
}
