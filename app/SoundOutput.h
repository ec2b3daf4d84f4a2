#pragma once

#include "app/AppContext.h"

#include <QObject>

#include <filesystem>
#include <string>

class QMenu;

namespace tolbe::app {

// Where downloads play and how loud: the File > Sound output menu (the system's devices, the
// saved one checked) and the mixer levels, raised while the program runs on the card the chosen
// output plays through and put back at the end.
class SoundOutput : public QObject {
    Q_OBJECT
public:
    // The menu's title is the number of its text; it is relabelled with the rest of its menu.
    SoundOutput(AppContext& ctx, QMenu* parent_menu, QObject* parent);

    QMenu* Menu() const { return m_menu; }
    // Refreshes the menu from the system's device list; the saved device is checked.
    void FillMenu();
    // Plays the following downloads on `device` (saved as "AudioDevice"); the raised levels move
    // to its card.
    void Choose(const std::string& device);
    // Levels a killed run left raised come back; a damaged record of them is set aside, and
    // where it went is kept for SetAsideNotice.
    void RestorePending();
    // The path of a levels record set aside at start-up, once; empty otherwise.
    std::filesystem::path TakeSetAsideFile();
    void Raise();
    // Only levels that Raise saved are put back; otherwise the mixer is left alone.
    void Restore();

private:
    AppContext& m_ctx;
    QMenu* m_menu;
    bool m_raised = false;
    std::filesystem::path m_setAside;
};

} // namespace tolbe::app
