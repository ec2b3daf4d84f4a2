#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

namespace tolbe::app {

// The program's pictures, drawn in code so that they can be redrawn and checked. Text in them is
// set in DejaVu Sans; the generator refuses to run without it.

// Names of the still pictures, as the resources name them ("TV_BTN", ..., "A21", ..., "Finish").
QStringList PictureNames();

// Size in pixels of a named still picture; empty for an unknown name.
QSize PictureSize(const QString& name);

// Draws one named still picture; a null image for an unknown name. With `scale` above 1 the image
// has PictureSize x scale device pixels and that device pixel ratio, for screens scaled that much.
QImage DrawPicture(const QString& name, qreal scale = 1.0);

// Frames of the animated picture Styles/a1.gif, and how long each one stays (hundredths of a second).
QList<QImage> DrawAnimationFrames(qreal scale = 1.0);
constexpr int kAnimationFrameDelayCs = 12;

// Edge lengths in pixels of the program's icon, as the desktop's icon theme folders take it.
QList<int> IconSizes();
// The program's icon at one of IconSizes(); a null image for any other size.
QImage DrawIconImage(int size);

// True when the font the pictures are lettered in is available.
bool PictureFontAvailable();

} // namespace tolbe::app
