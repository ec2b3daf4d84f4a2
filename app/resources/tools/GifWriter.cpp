#include "app/resources/tools/GifWriter.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_map>

namespace tolbe::app {
namespace {

constexpr int kPaletteSize = 256;
constexpr int kTransparentIndex = 255;
constexpr int kMinCodeSize = 8;
constexpr int kClearCode = 1 << kMinCodeSize;
constexpr int kEndCode = kClearCode + 1;
constexpr int kFirstCodeBits = kMinCodeSize + 1;
constexpr int kMaxCodeBits = 12;
// The table is started afresh a little before it is full, so no decoder meets a full table.
constexpr int kTableLimit = (1 << kMaxCodeBits) - 1;
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
    void Put(int code, int bits) {
        m_bits |= static_cast<std::uint32_t>(code) << m_count;
        m_count += bits;
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

// LZW as GIF uses it. The decoder adds a table entry for every code but the first after a clear,
// one code later than the encoder does, and widens its codes as soon as the next free entry needs
// one more bit; `Advance` keeps the encoder's code width in step with that.
class LzwEncoder {
public:
    LzwEncoder() { m_out.Put(kClearCode, m_width); }

    void Pixel(int index) {
        if (m_prefix < 0) {
            m_prefix = index;
            return;
        }
        const std::uint32_t key = (static_cast<std::uint32_t>(m_prefix) << 8) | static_cast<std::uint32_t>(index);
        if (const auto found = m_table.find(key); found != m_table.end()) {
            m_prefix = found->second;
            return;
        }
        m_out.Put(m_prefix, m_width);
        if (m_next < kTableLimit) {
            m_table.emplace(key, m_next);
            Advance();
        } else {
            m_out.Put(kClearCode, m_width);
            Reset();
        }
        m_prefix = index;
    }

    QByteArray Finish() {
        if (m_prefix >= 0) {
            m_out.Put(m_prefix, m_width);
            Advance(); // the decoder still adds an entry for this last code
        }
        m_out.Put(kEndCode, m_width);
        return m_out.Finish();
    }

private:
    void Reset() {
        m_table.clear();
        m_width = kFirstCodeBits;
        m_next = kEndCode + 1;
    }
    void Advance() {
        ++m_next;
        if (m_next - 1 == (1 << m_width) && m_width < kMaxCodeBits) ++m_width;
    }

    CodeWriter m_out;
    std::unordered_map<std::uint32_t, int> m_table;
    int m_prefix = -1;
    int m_width = kFirstCodeBits;
    int m_next = kEndCode + 1;
};

void AppendImageData(QByteArray& out, const QImage& frame) {
    const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
    LzwEncoder lzw;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            lzw.Pixel(qAlpha(line[x]) < 128 ? kTransparentIndex : NearestIndex(line[x]));
    }
    const QByteArray data = lzw.Finish();

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
