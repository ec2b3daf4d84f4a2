#include "app/resources/tools/GifWriter.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tolbe::app {
namespace {

constexpr int kPaletteSize = 256;
constexpr int kTransparentIndex = 255;
constexpr int kMinCodeSize = 8;
constexpr int kClearCode = 1 << kMinCodeSize;
constexpr int kEndCode = kClearCode + 1;
constexpr int kCodeBits = kMinCodeSize + 1;
// Every code we send is a literal, yet the decoder still grows its table by one per code and
// widens its codes to 10 bits after 255 of them; a clear code before that keeps every code 9 bits.
constexpr int kLiteralsPerClear = 250;
constexpr int kMaxSubBlock = 255;

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

void AppendWord(QByteArray& out, int value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

// Packs codes least significant bit first, as GIF requires.
class CodeWriter {
public:
    void Put(int code) {
        m_bits |= static_cast<std::uint32_t>(code) << m_count;
        m_count += kCodeBits;
        while (m_count >= 8) {
            m_bytes.append(static_cast<char>(m_bits & 0xFF));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    QByteArray Finish() {
        if (m_count > 0) m_bytes.append(static_cast<char>(m_bits & 0xFF));
        m_bits = 0;
        m_count = 0;
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    std::uint32_t m_bits = 0;
    int m_count = 0;
};

void AppendImageData(QByteArray& out, const QImage& frame) {
    const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
    CodeWriter writer;
    int since_clear = kLiteralsPerClear;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (since_clear == kLiteralsPerClear) {
                writer.Put(kClearCode);
                since_clear = 0;
            }
            writer.Put(qAlpha(line[x]) < 128 ? kTransparentIndex : NearestIndex(line[x]));
            ++since_clear;
        }
    }
    writer.Put(kEndCode);
    const QByteArray data = writer.Finish();

    out.append(static_cast<char>(kMinCodeSize));
    for (qsizetype pos = 0; pos < data.size(); pos += kMaxSubBlock) {
        const qsizetype length = std::min<qsizetype>(kMaxSubBlock, data.size() - pos);
        out.append(static_cast<char>(length));
        out.append(data.mid(pos, length));
    }
    out.append('\0');
}

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

    QByteArray out("GIF89a");
    AppendWord(out, size.width());
    AppendWord(out, size.height());
    out.append(static_cast<char>(0xF7));              // global colour table of 256 entries, 8 bits per primary
    out.append(static_cast<char>(kTransparentIndex)); // background
    out.append('\0');                                 // no aspect ratio
    for (QRgb colour : GifPalette()) {
        out.append(static_cast<char>(qRed(colour)));
        out.append(static_cast<char>(qGreen(colour)));
        out.append(static_cast<char>(qBlue(colour)));
    }

    // Loop for ever.
    out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
    AppendWord(out, 0);
    out.append('\0');

    for (const QImage& frame : frames) {
        out.append("\x21\xF9\x04", 3);
        out.append(static_cast<char>((2 << 2) | 1)); // restore to background, transparent index given
        AppendWord(out, delay_cs);
        out.append(static_cast<char>(kTransparentIndex));
        out.append('\0');

        out.append('\x2C');
        AppendWord(out, 0);
        AppendWord(out, 0);
        AppendWord(out, size.width());
        AppendWord(out, size.height());
        out.append('\0'); // no local colour table, not interlaced
        AppendImageData(out, frame);
    }
    out.append('\x3B');
    return out;
}

} // namespace tolbe::app
