#pragma once

#include "app/AppContext.h"

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace tolbe::app {

class DownloadRunner;
class FrmMyRemote;
class FrmSetup;
class JobGate;

// The main window's way into the remote's record: Tools > Set-up assistant and File > My remote,
// windows that share the main window's download runner and job gate.
class RemoteWindows : public QObject {
    Q_OBJECT
public:
    // Adds the Tools menu before `before` in `bar` and My remote before `fileBefore` in `file`. The
    // entries carry text numbers, so the window's relabelling gives them their language.
    RemoteWindows(AppContext& ctx, JobGate& gate, DownloadRunner& runner, QMenuBar* bar, QAction* before, QMenu* file,
                  QAction* fileBefore, QWidget* window);
    // Deletes the open windows: they hold the runner and the gate, so they never outlive them.
    ~RemoteWindows() override;

    // Once at start, after the record was loaded: a damaged record file is told of (also one
    // tolbe-cli set aside while the window was not running).
    void ReportSetAside();

    void mnuToolsSetup_Click();
    void mnuFileMyRemote_Click();
    QMenu* ToolsMenu() const { return m_tools; }
    QAction* SetupAction() const { return m_setup; }
    QAction* MyRemoteAction() const { return m_myRemote; }
    // The open windows; null when closed.
    FrmSetup* Setup() const;
    FrmMyRemote* MyRemote() const;

private:
    AppContext& m_ctx;
    JobGate& m_gate;
    DownloadRunner& m_runner;
    QWidget* m_window;
    QMenu* m_tools = nullptr;
    QAction* m_setup = nullptr;
    QAction* m_myRemote = nullptr;
    QPointer<FrmSetup> m_setupWindow;
    QPointer<FrmMyRemote> m_myRemoteWindow;
};

} // namespace tolbe::app
