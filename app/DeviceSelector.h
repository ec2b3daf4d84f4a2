#pragma once

#include "codec/SlotTable.h"

#include <QPixmap>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QLabel;

namespace tolbe::app {

// One of the program's pictures by its resource name ("TV_BTN", "A21", "FINISH", ...); a null
// pixmap for an unknown name. Above a device pixel ratio of 1 it is drawn at that resolution.
QPixmap LoadPicture(const QString& name, qreal device_pixel_ratio = 1.0);

// Shows a named picture in a label, at the label's device pixel ratio, and remembers the name in
// the label's "picture" property.
void ShowPicture(QLabel* label, const QString& name);

// On a scaled screen, shows the animated picture of Styles/a1.gif drawn afresh at the label's
// resolution and runs it; false (nothing done) at a ratio of 1 or without the lettering's font.
bool ShowDrawnAnimation(QLabel* label);
// Runs the animated picture `gif` in `label`: drawn afresh on a scaled screen (no blown-up
// blur), else the file as it is; nothing when the file is missing or unreadable.
void ShowAnimation(QLabel* label, const QString& gif);

// Name of the picture a label shows, as ShowPicture put it there; empty when none.
QString PictureOf(const QLabel* label);

// The row of four slot buttons and the three-picture instruction animation of the main window.
// The labels belong to the window; the selector only changes which picture they show.
class DeviceSelector {
public:
    // Rewrites the slot labels (device, brand, model) for a slot 0..3.
    using SlotRelabeller = std::function<void(int slot)>;

    // `CurDevice` is the process-wide current slot, changed by a click on a slot button.
    DeviceSelector(std::array<QLabel*, 4> ImgSelDev, QLabel* ImgPress, QLabel* Imgcha, QLabel* ImgLED,
                   std::int16_t& CurDevice, SlotRelabeller relabel);

    // Marks slot `slot` as chosen (any value other than 0, 1, 2 marks AUX) and relabels the slot labels.
    void ImageSelDev(int slot);
    // A click on slot button `index` (0..3) makes that slot current; other indices are ignored.
    void ImgSelDev_Click(int index);
    // One step of the instruction animation; the window calls it every 700 ms.
    void Timer1_Timer();
    // The animation's first frames, shown before the first step.
    void ShowFirstFrames();
    // Puts the animation back to its start-up state: plug phase 1, blink on.
    void ResetAnimation();

    std::int16_t Phase() const { return m_phase; }
    bool Blink() const { return m_blink; }

    // A relabeller that writes text 130 ("Device:"), 131 ("Brand:") and 132 ("Model:") of the
    // language `LangBase`, each followed directly by the slot's device, brand and model name from
    // `table`. Both are read at each call. A text the table lacks leaves its label as it was.
    static SlotRelabeller MakeSlotRelabeller(QLabel* LabDev, QLabel* LabBrand, QLabel* LabModel,
                                             const std::int16_t& LangBase, const codec::SlotTable& table);

private:
    std::array<QLabel*, 4> m_buttons;
    QLabel* m_press;
    QLabel* m_plug;
    QLabel* m_light;
    std::int16_t& m_curDevice;
    SlotRelabeller m_relabel;
    std::int16_t m_phase = 1;
    bool m_blink = true;
};

} // namespace tolbe::app
