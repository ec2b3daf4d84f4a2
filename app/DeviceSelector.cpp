#include "app/DeviceSelector.h"

#include "app/UiText.h"
#include "app/pictures/PictureArt.h"
#include "common/Slot.h"
#include "i18n/StringTable.h"

#include <QFile>
#include <QLabel>
#include <QMovie>
#include <QPixmapCache>
#include <QTimer>
#include <QVariant>

// The pictures are compiled into this static library; their registration has to be pulled in
// explicitly or the linker drops it.
static void RegisterPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace tolbe::app {
namespace {

constexpr auto kPictureProperty = "picture";
const std::array<QString, 4> kButtonPictures{"TV_BTN", "SAT_BTN", "DVD_BTN", "AUX_BTN"};

// Slot numbers outside 0..3 are shown as AUX, so the labels follow the marked button.
int ShownSlot(int slot) {
    return Slot::FromNumber(slot).Index();
}

} // namespace

QPixmap LoadPicture(const QString& name, qreal device_pixel_ratio) {
    static const bool registered = (RegisterPictures(), true);
    (void)registered;
    // On a scaled screen the picture is drawn afresh at the screen's resolution, once per ratio:
    // the stored one, blown up, would be blurred. Without the lettering's font the stored one serves.
    if (device_pixel_ratio > 1.0 && PictureSize(name).isValid() && PictureFontAvailable()) {
        const QString key = "tolbe-picture-" + name + QLatin1Char('@') + QString::number(device_pixel_ratio);
        QPixmap drawn;
        if (!QPixmapCache::find(key, &drawn)) {
            drawn = QPixmap::fromImage(DrawPicture(name, device_pixel_ratio));
            QPixmapCache::insert(key, drawn);
        }
        return drawn;
    }
    return QPixmap(":/pictures/" + name);
}

void ShowPicture(QLabel* label, const QString& name) {
    if (!label) return;
    label->setPixmap(LoadPicture(name, label->devicePixelRatioF()));
    label->setProperty(kPictureProperty, name);
}

bool ShowDrawnAnimation(QLabel* label) {
    if (!label || label->devicePixelRatioF() <= 1.0 || !PictureFontAvailable()) return false;
    QList<QPixmap> frames;
    for (const QImage& frame : DrawAnimationFrames(label->devicePixelRatioF()))
        frames << QPixmap::fromImage(frame);
    if (frames.isEmpty()) return false;
    label->setPixmap(frames.front());
    auto* timer = new QTimer(label);
    timer->setInterval(kAnimationFrameDelayCs * 10);
    QObject::connect(timer, &QTimer::timeout, label, [label, frames, next = 1]() mutable {
        label->setPixmap(frames[next]);
        next = (next + 1) % static_cast<int>(frames.size());
    });
    timer->start();
    return true;
}

QString PictureOf(const QLabel* label) {
    return label ? label->property(kPictureProperty).toString() : QString();
}

DeviceSelector::DeviceSelector(std::array<QLabel*, 4> ImgSelDev, QLabel* ImgPress, QLabel* Imgcha, QLabel* ImgLED,
                               std::int16_t& CurDevice, SlotRelabeller relabel)
    : m_buttons(ImgSelDev), m_press(ImgPress), m_plug(Imgcha), m_light(ImgLED), m_curDevice(CurDevice),
      m_relabel(std::move(relabel)) {}

void DeviceSelector::ImageSelDev(int slot) {
    const int shown = ShownSlot(slot);
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        const bool chosen = static_cast<int>(i) == shown;
        ShowPicture(m_buttons[i], chosen ? kButtonPictures[i] + "2" : kButtonPictures[i]);
    }
    if (m_relabel) m_relabel(shown);
}

void DeviceSelector::ImgSelDev_Click(int index) {
    if (index < 0 || index > 3) return;
    m_curDevice = static_cast<std::int16_t>(index);
    ImageSelDev(index);
}

void DeviceSelector::Timer1_Timer() {
    switch (m_phase) {
    case 0:
        ShowPicture(m_plug, "A21");
        m_phase = 1;
        break;
    case 1:
        ShowPicture(m_plug, "A22");
        m_phase = 2;
        break;
    case 2:
        ShowPicture(m_plug, "A23");
        m_phase = 0;
        break;
    default:
        break;
    }
    if (m_blink) {
        ShowPicture(m_press, "A32");
        ShowPicture(m_light, "A42");
        m_blink = false;
    } else {
        ShowPicture(m_press, "A31");
        ShowPicture(m_light, "A41");
        m_blink = true;
    }
}

void DeviceSelector::ShowFirstFrames() {
    ShowPicture(m_press, "A31");
    ShowPicture(m_plug, "A21");
    ShowPicture(m_light, "A41");
}

void DeviceSelector::ResetAnimation() {
    m_phase = 1;
    m_blink = true;
}

DeviceSelector::SlotRelabeller DeviceSelector::MakeSlotRelabeller(QLabel* LabDev, QLabel* LabBrand, QLabel* LabModel,
                                                                  const std::int16_t& LangBase,
                                                                  const codec::SlotTable& table) {
    return [LabDev, LabBrand, LabModel, &LangBase, &table](int slot) {
        const codec::SlotInfo& info = table[static_cast<size_t>(ShownSlot(slot))];
        const auto relabel = [&LangBase](QLabel* label, int k, const std::string& name) {
            if (!label) return;
            if (const auto text = i18n::TryLoadText(LangBase, k)) label->setText(QString::fromStdString(*text + name));
        };
        relabel(LabDev, kTextDeviceLabel, info.DeviceName);
        relabel(LabBrand, kTextBrandLabel, info.BrandName);
        relabel(LabModel, kTextModelLabel, info.ModelName);
    };
}

void ShowAnimation(QLabel* label, const QString& gif) {
    if (!QFile::exists(gif)) return;
    if (ShowDrawnAnimation(label)) return;
    auto* movie = new QMovie(gif, {}, label);
    if (!movie->isValid()) return;
    label->setMovie(movie);
    movie->start();
}

} // namespace tolbe::app
