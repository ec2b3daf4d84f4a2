#include "app/SoundOutput.h"

#include "app/UiText.h"
#include "audio/AlsaMixer.h"
#include "audio/AlsaWaveOut.h"
#include "audio/Mixer.h"
#include "common/Product.h"

#include <QActionGroup>
#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace tolbe::app {

SoundOutput::SoundOutput(AppContext& ctx, QMenu* parent_menu, QObject* parent)
    : QObject(parent), m_ctx(ctx), m_menu(new QMenu(QString::number(kTextOutputMenu), parent_menu)) {
    // Built here rather than in the form: the output list is the system's and changes at run time.
    m_menu->setObjectName(QStringLiteral("mnuFileOutput"));
    connect(m_menu, &QMenu::aboutToShow, this, &SoundOutput::FillMenu);
}

void SoundOutput::FillMenu() {
    const std::string current = audio::PcmDeviceFromSettings(m_ctx.settings);
    std::vector<audio::PlaybackDevice> devices;
    try {
        devices = m_ctx.playbackDevices ? m_ctx.playbackDevices() : audio::ListPlaybackDevices();
    } catch (const std::exception&) {
        devices.clear(); // no list from ALSA: the menu still offers the default and the chosen device
    }
    // A device named in the settings but not listed (one the user typed there) still shows, checked.
    if (std::none_of(devices.begin(), devices.end(), [&](const auto& d) { return d.name == current; }))
        devices.insert(devices.begin(), audio::PlaybackDevice{current, {}});
    m_menu->clear();
    qDeleteAll(m_menu->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
    auto* group = new QActionGroup(m_menu);
    for (const auto& d : devices) {
        QString text = QString::fromStdString(d.card.empty() ? d.name : d.card); // a card by its name
        if (d.card.empty() && !d.description.empty())
            text += QStringLiteral(" \u2014 ") + QString::fromStdString(d.description);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = m_menu->addAction(text);
        item->setStatusTip(QString::fromStdString(d.card.empty() ? d.description : d.name));
        item->setCheckable(true);
        item->setChecked(d.name == current);
        item->setData(QString::fromStdString(d.name));
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, name = d.name] { Choose(name); });
    }
}

void SoundOutput::Choose(const std::string& device) {
    try {
        m_ctx.settings.SaveSetting(kSettingsApp, kSettingsSection, settings_key::kAudioDevice, device);
    } catch (const std::exception& e) {
        m_ctx.prompt.Show(kProductName, e.what(), Prompt::Buttons::Ok, Prompt::Icon::Warning);
        // The check goes back to the saved device; not from inside the item's own handler.
        QTimer::singleShot(0, this, &SoundOutput::FillMenu);
        return;
    }
    if (m_ctx.mixer != nullptr) {
        // The raised levels follow the output: the old card gets its own back first.
        const std::string card = audio::MixerCardFor(device);
        if (m_raised) audio::RestoreVolume(*m_ctx.mixer, m_ctx.mixerStateFile);
        m_ctx.mixer->SelectCard(card);
        if (m_raised) audio::RaiseVolume(*m_ctx.mixer, m_ctx.mixerStateFile);
    }
}

void SoundOutput::RestorePending() {
    if (m_ctx.mixer != nullptr) audio::RestorePendingVolume(*m_ctx.mixer, m_ctx.mixerStateFile, &m_setAside);
}

std::filesystem::path SoundOutput::TakeSetAsideFile() {
    return std::exchange(m_setAside, {});
}

void SoundOutput::Raise() {
    if (m_ctx.mixer == nullptr) return;
    m_raised = true;
    audio::RaiseVolume(*m_ctx.mixer, m_ctx.mixerStateFile);
}

void SoundOutput::Restore() {
    if (!m_raised) return;
    if (m_ctx.mixer != nullptr) audio::RestoreVolume(*m_ctx.mixer, m_ctx.mixerStateFile);
    m_raised = false;
}

} // namespace tolbe::app
