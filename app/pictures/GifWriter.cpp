#include "app/pictures/GifWriter.h"

#include <gif_lib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace tolbe::app {
namespace {

constexpr int kPaletteSize = 256;
constexpr int kTransparentIndex = 255;

QList<QRgb> BuildPalette() {
    QList<QRgb> colours;
    colours.reserve(kPaletteSize);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                colours.append(qRgb(r * 51, g * 51, b * 51));
    // Greys between the cube's steps: the pictures are mostly shades of grey.
    for (int i = 1; colours.size() < kTransparentIndex; ++i) {
        const int v = i * 255 / 40;
        colours.append(qRgb(v, v, v));
    }
    colours.append(qRgb(255, 0, 255)); // transparent entry; the colour itself is never seen
    return colours;
}

int NearestIndex(QRgb pixel) {
    const auto& palette = GifPalette();
    int best = 0;
    int best_distance = std::numeric_limits<int>::max();
    for (int i = 0; i < kTransparentIndex; ++i) {
        const int dr = qRed(pixel) - qRed(palette[i]);
        const int dg = qGreen(pixel) - qGreen(palette[i]);
        const int db = qBlue(pixel) - qBlue(palette[i]);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
        }
    }
    return best;
}

int AppendBytes(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

} // namespace

const QList<QRgb>& GifPalette() {
    static const QList<QRgb> palette = BuildPalette();
    return palette;
}

QByteArray EncodeGif(const QList<QImage>& frames, int delay_cs) {
    if (frames.isEmpty()) return {};
    const QSize size = frames.front().size();
    if (size.isEmpty() || size.width() > 0xFFFF || size.height() > 0xFFFF) return {};
    for (const QImage& frame : frames)
        if (frame.size() != size) return {};
    delay_cs = std::clamp(delay_cs, 0, 0xFFFF);

    QByteArray out;
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(&out, AppendBytes, &error));
    if (!gif) return {};
    EGifSetGifVersion(gif.get(), true);

    std::vector<GifColorType> colours;
    for (QRgb colour : GifPalette())
        colours.push_back({static_cast<GifByteType>(qRed(colour)), static_cast<GifByteType>(qGreen(colour)),
                           static_cast<GifByteType>(qBlue(colour))});
    std::unique_ptr<ColorMapObject, decltype(&GifFreeMapObject)> map(GifMakeMapObject(kPaletteSize, colours.data()),
                                                                     GifFreeMapObject);
    if (!map || EGifPutScreenDesc(gif.get(), size.width(), size.height(), 8, kTransparentIndex, map.get()) != GIF_OK)
        return {};

    // Loop for ever.
    const GifByteType netscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const GifByteType loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif.get(), sizeof netscape, netscape) != GIF_OK ||
        EGifPutExtensionBlock(gif.get(), sizeof loop, loop) != GIF_OK || EGifPutExtensionTrailer(gif.get()) != GIF_OK)
        return {};

    // Restore to background after each frame; the transparent index is given.
    const GifByteType control[] = {(2 << 2) | 1, static_cast<GifByteType>(delay_cs & 0xFF),
                                   static_cast<GifByteType>(delay_cs >> 8), kTransparentIndex};
    std::vector<GifPixelType> line(static_cast<size_t>(size.width()));
    for (const QImage& frame : frames) {
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, sizeof control, control) != GIF_OK ||
            EGifPutImageDesc(gif.get(), 0, 0, size.width(), size.height(), false, nullptr) != GIF_OK)
            return {};
        const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height(); ++y) {
            const auto* pixels = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            for (int x = 0; x < argb.width(); ++x)
                line[static_cast<size_t>(x)] =
                    static_cast<GifPixelType>(qAlpha(pixels[x]) < 128 ? kTransparentIndex : NearestIndex(pixels[x]));
            if (EGifPutLine(gif.get(), line.data(), size.width()) != GIF_OK) return {};
        }
    }
    // Closing writes the trailer; a failure there leaves a truncated file.
    if (EGifCloseFile(gif.release(), &error) != GIF_OK) return {};
    return out;
}

} // namespace tolbe::app
