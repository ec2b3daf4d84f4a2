#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

namespace tolbe::app {

// Encodes frames of one size as a looping GIF89a animation (written with giflib). Every frame is mapped onto one fixed
// 255-colour palette (nearest colour); pixels less than half opaque become transparent.
// `delay_cs` is the time each frame stays, in hundredths of a second. Returns an empty array when
// there are no frames or the frames differ in size or are larger than a GIF can describe.
QByteArray EncodeGif(const QList<QImage>& frames, int delay_cs);

// The fixed palette: index 255 is the transparent entry.
const QList<QRgb>& GifPalette();

} // namespace tolbe::app
