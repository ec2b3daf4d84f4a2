#include "app/pictures/PictureArt.h"

#include "common/Slot.h"

#include <QFont>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>
#include <cmath>
#include <numbers>

namespace tolbe::app {
namespace {

constexpr auto kFontFamily = "DejaVu Sans";
const std::array<QString, Slot::kCount> kSlotNames = [] {
    std::array<QString, Slot::kCount> names;
    for (const Slot slot : Slot::All())
        names[static_cast<std::size_t>(slot.Index())] = QString::fromStdString(slot.Name());
    return names;
}();
constexpr QSize kButtonSize{72, 31};
constexpr QSize kPlugSize{212, 100};
constexpr QSize kKeyPadSize{100, 88};
constexpr QSize kLightSize{131, 60};
constexpr QSize kFinishSize{328, 315};
constexpr QSize kAnimationSize{300, 60};
constexpr int kAnimationFrames = 8;

// A transparent picture of `size` in logical pixels, `scale` device pixels to each: a painter on it
// draws in logical coordinates, so every picture is drawn once for any resolution.
QImage Canvas(QSize size, qreal scale) {
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    return image;
}

void Prepare(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QFont Lettering(int pixel_size, bool bold = true) {
    QFont font(kFontFamily);
    font.setPixelSize(pixel_size);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QLinearGradient Vertical(qreal top, qreal bottom, std::initializer_list<std::pair<qreal, QColor>> stops) {
    QLinearGradient g(0, top, 0, bottom);
    for (const auto& [at, colour] : stops)
        g.setColorAt(at, colour);
    return g;
}

QLinearGradient Horizontal(qreal left, qreal right, std::initializer_list<std::pair<qreal, QColor>> stops) {
    QLinearGradient g(left, 0, right, 0);
    for (const auto& [at, colour] : stops)
        g.setColorAt(at, colour);
    return g;
}

// ---- slot buttons ------------------------------------------------------------------------

QImage DrawButton(const QString& label, bool chosen, qreal scale) {
    QImage image = Canvas(kButtonSize, scale);
    QPainter p(&image);
    Prepare(p);
    const QRectF outer(0.5, 0.5, kButtonSize.width() - 1.0, kButtonSize.height() - 1.0);
    if (chosen) {
        p.setBrush(Vertical(0, 31,
                            {{0, QColor(0x9C, 0xCD, 0xF7)},
                             {0.48, QColor(0x4F, 0x95, 0xDE)},
                             {0.52, QColor(0x2F, 0x78, 0xCB)},
                             {1, QColor(0x1B, 0x57, 0xA3)}}));
        p.setPen(QPen(QColor(0x15, 0x40, 0x7A), 1));
    } else {
        p.setBrush(Vertical(0, 31,
                            {{0, QColor(0xFC, 0xFC, 0xFC)},
                             {0.48, QColor(0xE8, 0xE8, 0xE8)},
                             {0.52, QColor(0xDA, 0xDA, 0xDA)},
                             {1, QColor(0xC2, 0xC2, 0xC2)}}));
        p.setPen(QPen(QColor(0x86, 0x86, 0x86), 1));
    }
    p.drawRoundedRect(outer, 7, 7);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, chosen ? 90 : 160), 1));
    p.drawRoundedRect(outer.adjusted(1, 1, -1, -1), 6, 6);

    p.setFont(Lettering(14));
    const QRectF text_box(0, 0, kButtonSize.width(), kButtonSize.height());
    p.setPen(chosen ? QColor(0x0E, 0x33, 0x66, 170) : QColor(255, 255, 255, 200));
    p.drawText(text_box.translated(0, 1), Qt::AlignCenter, label);
    p.setPen(chosen ? QColor(Qt::white) : QColor(0x33, 0x33, 0x33));
    p.drawText(text_box, Qt::AlignCenter, label);
    return image;
}

// ---- plug animation ------------------------------------------------------------------------

constexpr qreal kJackX = 106;       // centre line of socket and plug
constexpr qreal kPanelBottom = 34;  // lower edge of the back panel
constexpr qreal kCollarBottom = 40; // lower edge of the socket's collar
constexpr qreal kMetalLength = 19;  // tip to the end of the sleeve

void DrawPlug(QPainter& p, qreal tip_y) {
    const QColor metal_dark(0x8C, 0x93, 0x9B);
    const QColor metal_light(0xF2, 0xF4, 0xF6);
    const auto metal = Horizontal(kJackX - 3, kJackX + 3, {{0, metal_dark}, {0.4, metal_light}, {1, metal_dark}});
    const qreal x = kJackX - 3;

    // Tip, rings and sleeve of the 3.5 mm plug.
    QPainterPath tip;
    tip.moveTo(x, tip_y + 4);
    tip.cubicTo(x, tip_y, x + 6, tip_y, x + 6, tip_y + 4);
    tip.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(metal);
    p.drawPath(tip);
    p.drawRect(QRectF(x, tip_y + 4, 6, 1));
    p.setBrush(QColor(0x22, 0x22, 0x22));
    p.drawRect(QRectF(x, tip_y + 5, 6, 2));
    p.setBrush(metal);
    p.drawRect(QRectF(x, tip_y + 7, 6, 4));
    p.setBrush(QColor(0x22, 0x22, 0x22));
    p.drawRect(QRectF(x, tip_y + 11, 6, 2));
    p.setBrush(metal);
    p.drawRect(QRectF(x - 0.5, tip_y + 13, 7, kMetalLength - 13));

    // Moulded handle with grip ridges, strain relief and cable.
    const qreal handle_top = tip_y + kMetalLength;
    const auto body =
        Horizontal(kJackX - 7, kJackX + 7,
                   {{0, QColor(0x1E, 0x20, 0x24)}, {0.35, QColor(0x5A, 0x60, 0x69)}, {1, QColor(0x1E, 0x20, 0x24)}});
    p.setBrush(body);
    p.setPen(QPen(QColor(0x12, 0x12, 0x14), 0.8));
    p.drawRoundedRect(QRectF(kJackX - 7, handle_top, 14, 17), 3, 3);
    p.setPen(QPen(QColor(0x75, 0x7C, 0x86), 1));
    for (int i = 0; i < 3; ++i) {
        const qreal y = handle_top + 7 + i * 3;
        p.drawLine(QPointF(kJackX - 5, y), QPointF(kJackX + 5, y));
    }
    QPainterPath relief;
    relief.moveTo(kJackX - 5, handle_top + 17);
    relief.lineTo(kJackX + 5, handle_top + 17);
    relief.lineTo(kJackX + 3, handle_top + 23);
    relief.lineTo(kJackX - 3, handle_top + 23);
    relief.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawPath(relief);
    p.setBrush(
        Horizontal(kJackX - 2.5, kJackX + 2.5,
                   {{0, QColor(0x1E, 0x20, 0x24)}, {0.4, QColor(0x4A, 0x50, 0x58)}, {1, QColor(0x1E, 0x20, 0x24)}}));
    p.drawRect(QRectF(kJackX - 2.5, handle_top + 23, 5, 200));
}

void DrawBackPanel(QPainter& p) {
    const QRectF panel(6.5, 4.5, 199, kPanelBottom - 4.5);
    p.setPen(QPen(QColor(0x25, 0x28, 0x2D), 1));
    p.setBrush(
        Vertical(4, kPanelBottom,
                 {{0, QColor(0x7A, 0x80, 0x89)}, {0.15, QColor(0x5E, 0x64, 0x6C)}, {1, QColor(0x3A, 0x3E, 0x44)}}));
    p.drawRoundedRect(panel, 4, 4);

    // Screws at the corners.
    for (const QPointF centre : {QPointF(13, 11), QPointF(199, 11), QPointF(13, 27), QPointF(199, 27)}) {
        p.setPen(QPen(QColor(0x2A, 0x2D, 0x32), 0.8));
        p.setBrush(QColor(0x9A, 0xA0, 0xA8));
        p.drawEllipse(centre, 2.5, 2.5);
        p.drawLine(centre + QPointF(-1.5, 0), centre + QPointF(1.5, 0));
    }
    // Vents on the left.
    p.setPen(QPen(QColor(0x26, 0x29, 0x2E), 2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        const qreal vx = 24 + i * 7;
        p.drawLine(QPointF(vx, 11), QPointF(vx, 27));
    }
    // Other ports on the right: a USB socket and a round power socket.
    p.setPen(QPen(QColor(0xB8, 0xBE, 0xC6), 1));
    p.setBrush(QColor(0x1A, 0x1C, 0x1F));
    p.drawRect(QRectF(140.5, 14.5, 18, 8));
    p.setBrush(QColor(0xE8, 0xE8, 0xE8));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(143, 16, 13, 2.5));
    p.setPen(QPen(QColor(0xB8, 0xBE, 0xC6), 1.2));
    p.setBrush(QColor(0x1A, 0x1C, 0x1F));
    p.drawEllipse(QPointF(180, 18.5), 5, 5);
    p.setBrush(QColor(0xB8, 0xBE, 0xC6));
    p.drawEllipse(QPointF(180, 18.5), 1.3, 1.3);

    // Headphone sign above the audio socket.
    p.setPen(QPen(QColor(0xF0, 0xF3, 0xF6), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(kJackX - 7, 9, 14, 14), 0 * 16, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF0, 0xF3, 0xF6));
    p.drawRoundedRect(QRectF(kJackX - 8.5, 15, 4, 7), 1.2, 1.2);
    p.drawRoundedRect(QRectF(kJackX + 4.5, 15, 4, 7), 1.2, 1.2);
    // Green ring marks the line-out socket.
    p.setPen(QPen(QColor(0x5C, 0xD0, 0x5C), 1.5));
    p.drawLine(QPointF(kJackX - 9, kPanelBottom - 3), QPointF(kJackX + 9, kPanelBottom - 3));

    // The socket's collar below the panel, open at the bottom.
    p.setPen(QPen(QColor(0x3A, 0x3E, 0x44), 0.8));
    p.setBrush(
        Horizontal(kJackX - 6, kJackX + 6,
                   {{0, QColor(0x7C, 0x83, 0x8B)}, {0.4, QColor(0xE6, 0xE9, 0xEC)}, {1, QColor(0x7C, 0x83, 0x8B)}}));
    p.drawRect(QRectF(kJackX - 6, kPanelBottom, 12, kCollarBottom - kPanelBottom));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x10, 0x10));
    p.drawRect(QRectF(kJackX - 3.5, kCollarBottom - 1.2, 7, 1.2));
}

void DrawUpArrow(QPainter& p, QPointF top, const QColor& colour) {
    p.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 2; ++i) {
        const QPointF t = top + QPointF(0, i * 8);
        p.drawPolyline(QList<QPointF>{t + QPointF(-7, 7), t, t + QPointF(7, 7)});
    }
}

QImage DrawPlugFrame(int frame, qreal scale) {
    QImage image = Canvas(kPlugSize, scale);
    QPainter p(&image);
    Prepare(p);
    const QColor green(0x2E, 0xA0, 0x3C);
    switch (frame) {
    case 0:
        DrawPlug(p, 54);
        DrawUpArrow(p, QPointF(kJackX + 26, 58), green);
        DrawUpArrow(p, QPointF(kJackX - 26, 58), green);
        break;
    case 1:
        DrawPlug(p, 45);
        DrawUpArrow(p, QPointF(kJackX + 26, 48), green);
        DrawUpArrow(p, QPointF(kJackX - 26, 48), green);
        break;
    default: {
        DrawPlug(p, kCollarBottom - kMetalLength);
        // Click marks where the plug seats.
        p.setPen(QPen(green, 2.2, Qt::SolidLine, Qt::RoundCap));
        for (const int side : {-1, 1}) {
            p.drawLine(QPointF(kJackX + side * 12, 44), QPointF(kJackX + side * 20, 44));
            p.drawLine(QPointF(kJackX + side * 11, 50), QPointF(kJackX + side * 18, 55));
            p.drawLine(QPointF(kJackX + side * 11, 38 + 0.0), QPointF(kJackX + side * 18, 36));
        }
        break;
    }
    }
    DrawBackPanel(p);
    return image;
}

// ---- key pad -------------------------------------------------------------------------------

QRectF KeyCell(int row, int column) {
    return {6.0 + column * 31, 6.0 + row * 27, 26, 22};
}

void DrawArrow(QPainter& p, QPointF centre, qreal angle_deg, const QColor& colour) {
    p.save();
    p.translate(centre);
    p.rotate(angle_deg);
    QPainterPath arrow;
    arrow.moveTo(0, -5);
    arrow.lineTo(5, 3);
    arrow.lineTo(-5, 3);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(arrow);
    p.restore();
}

void DrawThumb(QPainter& p, bool from_left) {
    p.save();
    if (!from_left) {
        p.translate(kKeyPadSize.width(), 0);
        p.scale(-1, 1);
    }
    const qreal cy = KeyCell(1, 0).center().y();
    // Shadow, thumb, nail.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(QRectF(-34, cy - 11, 57, 25), 12, 12);
    p.setBrush(
        Vertical(cy - 13, cy + 12,
                 {{0, QColor(0xF6, 0xCF, 0xA8)}, {0.6, QColor(0xE9, 0xB0, 0x84)}, {1, QColor(0xCF, 0x8F, 0x64)}}));
    p.setPen(QPen(QColor(0xA8, 0x6B, 0x45), 1));
    p.drawRoundedRect(QRectF(-34, cy - 13, 56, 24), 12, 12);
    p.setBrush(Vertical(cy - 9, cy + 5, {{0, QColor(0xFF, 0xEE, 0xE4)}, {1, QColor(0xF0, 0xC8, 0xB4)}}));
    p.setPen(QPen(QColor(0xC2, 0x8A, 0x6A), 0.8));
    p.drawRoundedRect(QRectF(6, cy - 9, 13, 14), 5, 5);
    p.setPen(QPen(QColor(0xA8, 0x6B, 0x45), 0.8));
    p.drawLine(QPointF(-10, cy - 4), QPointF(-10, cy + 5));
    p.drawLine(QPointF(-13, cy - 4), QPointF(-13, cy + 5));
    p.restore();
}

QImage DrawKeyPad(bool pressed, qreal scale) {
    QImage image = Canvas(kKeyPadSize, scale);
    QPainter p(&image);
    Prepare(p);
    p.setPen(QPen(QColor(0x1C, 0x1E, 0x22), 1));
    p.setBrush(Vertical(0, 88, {{0, QColor(0x56, 0x5C, 0x64)}, {1, QColor(0x2C, 0x30, 0x35)}}));
    p.drawRoundedRect(QRectF(0.5, 0.5, 99, 87), 12, 12);

    const QColor pressed_key(0xFF, 0xB3, 0x1A);
    const QColor key_text(0x2A, 0x2A, 0x2A);
    p.setFont(Lettering(9));
    const std::array<std::array<int, 3>, 3> layout{{{0, -1, 1}, {-2, -3, -4}, {2, -5, 3}}};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF cell = KeyCell(row, col);
            const int what = layout[row][col];
            if (what >= 0) { // device key with its slot's name
                p.setPen(QPen(QColor(0x1C, 0x1E, 0x22), 1));
                p.setBrush(Vertical(cell.top(), cell.bottom(),
                                    {{0, QColor(0xF4, 0xF4, 0xF4)}, {1, QColor(0xB8, 0xBC, 0xC2)}}));
                p.drawRoundedRect(cell, 5, 5);
                p.setPen(key_text);
                p.drawText(cell, Qt::AlignCenter, kSlotNames[static_cast<size_t>(what)]);
            } else if (what == -3) { // OK
                const QRectF round = cell.adjusted(1, 0, -1, 0);
                p.setPen(QPen(QColor(0x10, 0x2E, 0x55), 1));
                p.setBrush(Vertical(cell.top(), cell.bottom(),
                                    {{0, QColor(0x6F, 0xAE, 0xEA)}, {1, QColor(0x1F, 0x5C, 0xA8)}}));
                p.drawEllipse(round);
                p.setPen(Qt::white);
                p.drawText(cell, Qt::AlignCenter, "OK");
            } else { // cursor keys
                const bool held = pressed && (what == -2 || what == -4);
                p.setPen(QPen(QColor(0x14, 0x15, 0x18), 1));
                if (held)
                    p.setBrush(Vertical(cell.top(), cell.bottom(),
                                        {{0, pressed_key.lighter(130)}, {1, pressed_key.darker(115)}}));
                else
                    p.setBrush(Vertical(cell.top(), cell.bottom(),
                                        {{0, QColor(0x7A, 0x80, 0x89)}, {1, QColor(0x43, 0x48, 0x4F)}}));
                p.drawRoundedRect(cell, 5, 5);
                const qreal angle = what == -1 ? 0 : what == -4 ? 90 : what == -5 ? 180 : 270;
                DrawArrow(p, cell.center(), angle, held ? QColor(0x40, 0x24, 0x00) : QColor(Qt::white));
            }
        }
    }
    if (pressed) {
        DrawThumb(p, true);
        DrawThumb(p, false);
    }
    return image;
}

// ---- indicator light -------------------------------------------------------------------------

QImage DrawLight(bool lit, qreal scale) {
    QImage image = Canvas(kLightSize, scale);
    QPainter p(&image);
    Prepare(p);
    const QRectF body(20.5, 3.5, 90, 80);
    p.setPen(QPen(QColor(0x1C, 0x1E, 0x22), 1));
    p.setBrush(
        Horizontal(body.left(), body.right(),
                   {{0, QColor(0x2E, 0x32, 0x38)}, {0.3, QColor(0x62, 0x68, 0x71)}, {1, QColor(0x2A, 0x2E, 0x33)}}));
    p.drawRoundedRect(body, 26, 26);

    // Infrared window at the front edge.
    p.setPen(QPen(QColor(0x0C, 0x0C, 0x0E), 1));
    p.setBrush(Vertical(7, 15, {{0, QColor(0x4A, 0x16, 0x1C)}, {1, QColor(0x14, 0x08, 0x0A)}}));
    p.drawRoundedRect(QRectF(49.5, 7.5, 32, 8), 4, 4);

    const QPointF led(65.5, 31);
    if (lit) {
        QRadialGradient glow(led, 17);
        glow.setColorAt(0, QColor(255, 80, 60, 220));
        glow.setColorAt(0.45, QColor(255, 50, 40, 90));
        glow.setColorAt(1, QColor(255, 40, 40, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(led, 17, 17);
        p.setPen(QPen(QColor(0xFF, 0x6A, 0x55), 1.6, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 8; ++i) {
            const qreal a = i * std::numbers::pi / 4 + std::numbers::pi / 8;
            const QPointF d(std::cos(a), std::sin(a));
            p.drawLine(led + d * 9.5, led + d * 14);
        }
        QRadialGradient core(led - QPointF(1.2, 1.2), 5.5);
        core.setColorAt(0, QColor(255, 255, 255));
        core.setColorAt(0.35, QColor(0xFF, 0x8A, 0x7A));
        core.setColorAt(1, QColor(0xE8, 0x18, 0x18));
        p.setBrush(core);
        p.setPen(QPen(QColor(0x8A, 0x10, 0x10), 0.8));
        p.drawEllipse(led, 5, 5);
    } else {
        QRadialGradient core(led - QPointF(1.5, 1.5), 6);
        core.setColorAt(0, QColor(0x9A, 0x55, 0x55));
        core.setColorAt(1, QColor(0x3C, 0x12, 0x12));
        p.setBrush(core);
        p.setPen(QPen(QColor(0x15, 0x15, 0x17), 1));
        p.drawEllipse(led, 5, 5);
    }

    // The first keys below the light.
    for (const qreal x : {43.0, 88.0}) {
        p.setPen(QPen(QColor(0x14, 0x15, 0x18), 1));
        p.setBrush(Vertical(44, 56, {{0, QColor(0x8A, 0x90, 0x99)}, {1, QColor(0x4A, 0x50, 0x57)}}));
        p.drawRoundedRect(QRectF(x - 9, 45, 18, 11), 4, 4);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(44, 56, {{0, QColor(0xF0, 0x55, 0x4A)}, {1, QColor(0xA8, 0x1E, 0x18)}}));
    p.drawEllipse(QPointF(65.5, 50), 6, 6);
    p.setPen(QPen(Qt::white, 1.3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(62.5, 47, 6, 6), 120 * 16, 300 * 16);
    p.drawLine(QPointF(65.5, 45.8), QPointF(65.5, 49.5));
    return image;
}

// ---- finish picture --------------------------------------------------------------------------

void DrawRemote(QPainter& p, const QRectF& body, bool led_lit) {
    p.setPen(QPen(QColor(0x1C, 0x1E, 0x22), 1.5));
    p.setBrush(
        Horizontal(body.left(), body.right(),
                   {{0, QColor(0x2E, 0x32, 0x38)}, {0.3, QColor(0x66, 0x6C, 0x75)}, {1, QColor(0x2A, 0x2E, 0x33)}}));
    p.drawRoundedRect(body, 24, 24);
    const qreal cx = body.center().x();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3A, 0x10, 0x14));
    p.drawRoundedRect(QRectF(cx - 14, body.top() + 7, 28, 7), 3.5, 3.5);
    const QPointF led(cx, body.top() + 26);
    if (led_lit) {
        QRadialGradient glow(led, 14);
        glow.setColorAt(0, QColor(255, 80, 60, 220));
        glow.setColorAt(1, QColor(255, 40, 40, 0));
        p.setBrush(glow);
        p.drawEllipse(led, 14, 14);
    }
    p.setBrush(led_lit ? QColor(0xFF, 0x3A, 0x30) : QColor(0x5A, 0x1E, 0x1E));
    p.drawEllipse(led, 4.5, 4.5);

    p.setFont(Lettering(10));
    const qreal key_w = (body.width() - 26) / 3;
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF key(body.left() + 8 + col * (key_w + 5), body.top() + 46 + row * 26, key_w, 19);
            if (row == 1 && col == 1) {
                p.setPen(QPen(QColor(0x10, 0x2E, 0x55), 1));
                p.setBrush(
                    Vertical(key.top(), key.bottom(), {{0, QColor(0x6F, 0xAE, 0xEA)}, {1, QColor(0x1F, 0x5C, 0xA8)}}));
                p.drawEllipse(key.adjusted(-1, -2, 1, 2));
                p.setPen(Qt::white);
                p.drawText(key, Qt::AlignCenter, "OK");
                continue;
            }
            const bool light = row == 0 || row == 2;
            p.setPen(QPen(QColor(0x14, 0x15, 0x18), 1));
            p.setBrush(Vertical(key.top(), key.bottom(),
                                light ? std::initializer_list<std::pair<qreal, QColor>>{{0, QColor(0xF4, 0xF4, 0xF4)},
                                                                                        {1, QColor(0xB8, 0xBC, 0xC2)}}
                                      : std::initializer_list<std::pair<qreal, QColor>>{
                                            {0, QColor(0x7A, 0x80, 0x89)}, {1, QColor(0x43, 0x48, 0x4F)}}));
            p.drawRoundedRect(key, 5, 5);
        }
    }
}

QImage DrawFinish(qreal scale) {
    QImage image(kFinishSize * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    QPainter p(&image);
    Prepare(p);
    QRadialGradient sky(QPointF(190, 120), 260);
    sky.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    sky.setColorAt(1, QColor(0xD6, 0xE8, 0xF8));
    p.fillRect(QRect(QPoint(0, 0), kFinishSize), sky);

    // Confetti, placed by hand so the picture is always the same.
    struct Bit {
        qreal x, y, angle;
        QColor colour;
    };
    const std::array<Bit, 16> confetti{{{34, 38, 20, QColor(0xF4, 0x43, 0x36)},
                                        {82, 22, -35, QColor(0xFF, 0xC1, 0x07)},
                                        {150, 30, 50, QColor(0x21, 0x96, 0xF3)},
                                        {300, 30, -15, QColor(0x4C, 0xAF, 0x50)},
                                        {312, 120, 35, QColor(0xE9, 0x1E, 0x63)},
                                        {296, 214, -40, QColor(0xFF, 0x98, 0x00)},
                                        {268, 286, 25, QColor(0x9C, 0x27, 0xB0)},
                                        {200, 298, -20, QColor(0x21, 0x96, 0xF3)},
                                        {28, 150, 60, QColor(0x4C, 0xAF, 0x50)},
                                        {20, 246, -25, QColor(0xFF, 0xC1, 0x07)},
                                        {60, 296, 40, QColor(0xF4, 0x43, 0x36)},
                                        {214, 262, 70, QColor(0x00, 0xBC, 0xD4)},
                                        {248, 20, 15, QColor(0x9C, 0x27, 0xB0)},
                                        {120, 80, -60, QColor(0x00, 0xBC, 0xD4)},
                                        {232, 232, 10, QColor(0x4C, 0xAF, 0x50)},
                                        {300, 262, 55, QColor(0x21, 0x96, 0xF3)}}};
    p.setPen(Qt::NoPen);
    for (const Bit& bit : confetti) {
        p.save();
        p.translate(bit.x, bit.y);
        p.rotate(bit.angle);
        p.setBrush(bit.colour);
        p.drawRoundedRect(QRectF(-5, -2.5, 10, 5), 1.5, 1.5);
        p.restore();
    }

    // Shadow and the remote, leaning back a little.
    p.setBrush(QColor(0x20, 0x40, 0x60, 40));
    p.drawEllipse(QPointF(112, 292), 58, 10);
    p.save();
    p.translate(110, 180);
    p.rotate(-12);
    DrawRemote(p, QRectF(-42, -105, 84, 210), true);
    p.restore();

    // Signal arcs from the remote's front towards the tick.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(QColor(0xE5, 0x39, 0x35, 200 - i * 50), 4, Qt::SolidLine, Qt::RoundCap));
        const qreal r = 16 + i * 13;
        p.drawArc(QRectF(QPointF(100 - r, 62 - r), QSizeF(2 * r, 2 * r)), 20 * 16, 50 * 16);
    }

    // The tick.
    const QPointF centre(232, 112);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x50, 0x20, 50));
    p.drawEllipse(centre + QPointF(3, 5), 64, 64);
    QRadialGradient disc(centre - QPointF(20, 24), 90);
    disc.setColorAt(0, QColor(0x8B, 0xE0, 0x7E));
    disc.setColorAt(1, QColor(0x23, 0x8F, 0x33));
    p.setBrush(disc);
    p.setPen(QPen(Qt::white, 5));
    p.drawEllipse(centre, 62, 62);
    p.setPen(QPen(Qt::white, 15, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QList<QPointF>{centre + QPointF(-30, 2), centre + QPointF(-8, 25), centre + QPointF(30, -20)});

    // Sparkles beside the tick.
    auto sparkle = [&p](QPointF c, qreal r) {
        QPainterPath star;
        star.moveTo(c + QPointF(0, -r));
        star.quadTo(c, c + QPointF(r, 0));
        star.quadTo(c, c + QPointF(0, r));
        star.quadTo(c, c + QPointF(-r, 0));
        star.quadTo(c, c + QPointF(0, -r));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xFF, 0xC1, 0x07));
        p.drawPath(star);
    };
    sparkle(QPointF(170, 196), 11);
    sparkle(QPointF(300, 178), 9);
    sparkle(QPointF(186, 36), 7);
    return image;
}

// ---- a1.gif ----------------------------------------------------------------------------------

QImage DrawAnimationFrame(int frame, qreal scale) {
    QImage image = Canvas(kAnimationSize, scale);
    QPainter p(&image);
    Prepare(p);

    // Computer on the left.
    p.setPen(QPen(QColor(0x2B, 0x2F, 0x35), 1.5));
    p.setBrush(QColor(0x4A, 0x50, 0x58));
    p.drawRoundedRect(QRectF(8, 5, 64, 42), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(9, 43, {{0, QColor(0x9C, 0xCD, 0xF7)}, {1, QColor(0x2F, 0x78, 0xCB)}}));
    p.drawRect(QRectF(12, 9, 56, 34));
    p.setBrush(QColor(0x4A, 0x50, 0x58));
    p.drawRect(QRectF(35, 47, 10, 6));
    p.drawRoundedRect(QRectF(24, 52, 32, 5), 2.5, 2.5);
    // A speaker on the screen: the program plays the signal as sound.
    p.setBrush(Qt::white);
    QPainterPath speaker;
    speaker.moveTo(30, 21);
    speaker.lineTo(35, 21);
    speaker.lineTo(42, 15);
    speaker.lineTo(42, 37);
    speaker.lineTo(35, 31);
    speaker.lineTo(30, 31);
    speaker.closeSubpath();
    p.drawPath(speaker);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 2; ++i) {
        const bool on = (frame + i) % 4 < 2;
        p.setPen(QPen(QColor(255, 255, 255, on ? 255 : 110), 2, Qt::SolidLine, Qt::RoundCap));
        const qreal r = 6 + i * 5;
        p.drawArc(QRectF(42 - r, 26 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
    }

    // Remote on the right, its light blinking with the signal.
    p.setPen(QPen(QColor(0x1C, 0x1E, 0x22), 1.2));
    p.setBrush(Horizontal(
        262, 290, {{0, QColor(0x2E, 0x32, 0x38)}, {0.35, QColor(0x66, 0x6C, 0x75)}, {1, QColor(0x2A, 0x2E, 0x33)}}));
    p.drawRoundedRect(QRectF(262.5, 2.5, 27, 55), 9, 9);
    p.setPen(Qt::NoPen);
    if (frame % 2 == 0) {
        QRadialGradient glow(QPointF(276, 10), 7);
        glow.setColorAt(0, QColor(255, 70, 50, 230));
        glow.setColorAt(1, QColor(255, 40, 40, 0));
        p.setBrush(glow);
        p.drawEllipse(QPointF(276, 10), 7, 7);
    }
    p.setBrush(frame % 2 == 0 ? QColor(0xFF, 0x30, 0x30) : QColor(0x6A, 0x20, 0x20));
    p.drawEllipse(QPointF(276, 10), 2.8, 2.8);
    p.setBrush(QColor(0xC8, 0xCC, 0xD2));
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(266.5 + col * 7, 19 + row * 9, 5, 5), 1.5, 1.5);

    // The sound travelling between them.
    constexpr qreal kLeft = 84;
    constexpr qreal kRight = 250;
    QPainterPath wave;
    const qreal phase = 2 * std::numbers::pi * frame / kAnimationFrames;
    for (qreal x = kLeft; x <= kRight; x += 1) {
        const qreal fade = std::sin(std::numbers::pi * (x - kLeft) / (kRight - kLeft));
        const qreal y = 30 - 17 * fade * std::sin((x - kLeft) * 2 * std::numbers::pi / 24 - phase);
        if (x == kLeft)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x1F, 0x6F, 0xD0), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(wave);
    return image;
}

// ---- program icon ------------------------------------------------------------------------

// A remote control with the four slot keys, sending sound waves, on a blue tile. Drawn on a
// 256-unit grid and scaled; below 32 pixels the waves and the key pad would only blur, so the
// small icons keep the body, the slot keys and one wave.
QImage DrawIcon(int size) {
    QImage image = Canvas(QSize(size, size), 1);
    QPainter p(&image);
    Prepare(p);
    p.scale(size / 256.0, size / 256.0);
    const bool small = size < 32;

    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(8, 248, {{0, QColor(0x4F, 0x95, 0xDE)}, {1, QColor(0x1B, 0x57, 0xA3)}}));
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    // Waves leaving the remote's top end.
    p.setBrush(Qt::NoBrush);
    const int waves = small ? 1 : 3;
    for (int i = 0; i < waves; ++i) {
        const qreal r = 30 + i * 21;
        p.setPen(QPen(QColor(255, 255, 255, 235 - i * 55), small ? 20 : 12, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(128 - r, 84 - r, 2 * r, 2 * r), 35 * 16, 110 * 16);
    }

    // Body.
    const QRectF body(86, 84, 84, 156);
    p.setPen(QPen(QColor(0x12, 0x12, 0x14), small ? 6 : 3));
    p.setBrush(
        Horizontal(body.left(), body.right(),
                   {{0, QColor(0x1E, 0x20, 0x24)}, {0.35, QColor(0x5A, 0x60, 0x69)}, {1, QColor(0x1E, 0x20, 0x24)}}));
    p.drawRoundedRect(body, 22, 22);

    // Sender lamp and the four slot keys in their colours.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0x40, 0x30));
    p.drawEllipse(QPointF(128, 104), small ? 10 : 7, small ? 10 : 7);
    const std::array<QColor, 4> keys{QColor(0xE8, 0x4C, 0x3D), QColor(0x2E, 0xCC, 0x71), QColor(0xF1, 0xC4, 0x0F),
                                     QColor(0x5D, 0xAD, 0xE2)};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(keys[i]);
        const qreal x = i % 2 == 0 ? 98 : 132;
        const qreal y = i < 2 ? 124 : 154;
        p.drawRoundedRect(QRectF(x, y, 26, 22), 6, 6);
    }
    if (!small) {
        p.setBrush(QColor(0xC8, 0xCC, 0xD2));
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col)
                p.drawRoundedRect(QRectF(100 + col * 21, 186 + row * 16, 14, 10), 3, 3);
    }
    return image;
}

} // namespace

QList<int> IconSizes() {
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QImage DrawIconImage(int size) {
    return IconSizes().contains(size) ? DrawIcon(size) : QImage();
}

QStringList PictureNames() {
    QStringList names;
    for (const QString& slot : kSlotNames)
        names << slot + "_BTN";
    for (const QString& slot : kSlotNames)
        names << slot + "_BTN2";
    names << "A21"
          << "A22"
          << "A23"
          << "A31"
          << "A32"
          << "A41"
          << "A42"
          << "FINISH";
    return names;
}

QSize PictureSize(const QString& name) {
    if (name.endsWith("_BTN") || name.endsWith("_BTN2")) return PictureNames().contains(name) ? kButtonSize : QSize();
    if (name == "A21" || name == "A22" || name == "A23") return kPlugSize;
    if (name == "A31" || name == "A32") return kKeyPadSize;
    if (name == "A41" || name == "A42") return kLightSize;
    if (name == "FINISH") return kFinishSize;
    return {};
}

QImage DrawPicture(const QString& name, qreal scale) {
    for (size_t i = 0; i < kSlotNames.size(); ++i) {
        if (name == kSlotNames[i] + "_BTN") return DrawButton(kSlotNames[i], false, scale);
        if (name == kSlotNames[i] + "_BTN2") return DrawButton(kSlotNames[i], true, scale);
    }
    if (name == "A21") return DrawPlugFrame(0, scale);
    if (name == "A22") return DrawPlugFrame(1, scale);
    if (name == "A23") return DrawPlugFrame(2, scale);
    if (name == "A31") return DrawKeyPad(false, scale);
    if (name == "A32") return DrawKeyPad(true, scale);
    if (name == "A41") return DrawLight(false, scale);
    if (name == "A42") return DrawLight(true, scale);
    if (name == "FINISH") return DrawFinish(scale);
    return {};
}

QList<QImage> DrawAnimationFrames(qreal scale) {
    QList<QImage> frames;
    for (int i = 0; i < kAnimationFrames; ++i)
        frames << DrawAnimationFrame(i, scale);
    return frames;
}

bool PictureFontAvailable() {
    return QFontDatabase::families().contains(kFontFamily);
}

} // namespace tolbe::app
