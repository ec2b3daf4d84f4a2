#pragma once

#include <QRect>
#include <QSize>

namespace tolbe::app {

// Window sizes are given in twips, 1440 to the inch; pixels follow the screen's logical DPI.
constexpr int TwipsToPixels(int twips, int dpi) {
    return (twips * dpi + 720) / 1440;
}
constexpr QSize TwipsToPixels(QSize twips, int dpi_x, int dpi_y) {
    return {TwipsToPixels(twips.width(), dpi_x), TwipsToPixels(twips.height(), dpi_y)};
}
constexpr QRect TwipsToPixels(QRect twips, int dpi_x, int dpi_y) {
    return {TwipsToPixels(twips.x(), dpi_x), TwipsToPixels(twips.y(), dpi_y), TwipsToPixels(twips.width(), dpi_x),
            TwipsToPixels(twips.height(), dpi_y)};
}

} // namespace tolbe::app
