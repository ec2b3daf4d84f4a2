#include "app/RemoteWindows.h"

#include "app/DownloadRunner.h"
#include "app/FrmMyRemote.h"
#include "app/FrmSetup.h"
#include "app/ShowMessage.h"
#include "app/UiText.h"
#include "i18n/StringTable.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <functional>

namespace tolbe::app {
namespace {

// Brings a window up again, or makes it anew when it was closed.
template <class Window> void ShowOnce(QPointer<Window>& window, const std::function<Window*()>& make) {
    if (window == nullptr) {
        window = make();
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

RemoteWindows::RemoteWindows(AppContext& ctx, JobGate& gate, DownloadRunner& runner, QMenuBar* bar, QAction* before,
                             QMenu* file, QAction* fileBefore, QWidget* window)
    : QObject(window), m_ctx(ctx), m_gate(gate), m_runner(runner), m_window(window) {
    m_tools = new QMenu(QString::number(kTextTools), window);
    m_tools->setObjectName(QStringLiteral("mnuTools"));
    bar->insertMenu(before, m_tools);
    m_setup = m_tools->addAction(QString::number(kTextSetup));
    m_setup->setObjectName(QStringLiteral("mnuToolsSetup"));
    m_myRemote = new QAction(QString::number(kTextMyRemote), window);
    m_myRemote->setObjectName(QStringLiteral("mnuFileMyRemote"));
    file->insertAction(fileBefore, m_myRemote);
    connect(m_setup, &QAction::triggered, this, &RemoteWindows::mnuToolsSetup_Click);
    connect(m_myRemote, &QAction::triggered, this, &RemoteWindows::mnuFileMyRemote_Click);
}

RemoteWindows::~RemoteWindows() {
    delete m_setupWindow.data();
    delete m_myRemoteWindow.data();
}

FrmSetup* RemoteWindows::Setup() const {
    return m_setupWindow;
}

FrmMyRemote* RemoteWindows::MyRemote() const {
    return m_myRemoteWindow;
}

void RemoteWindows::ReportSetAside() {
    m_runner.TellSetAside();
}

void RemoteWindows::mnuToolsSetup_Click() {
    if (!m_ctx.HasDatabase()) {
        // The same box as at start-up: a missing file is said as missing (136), a broken one as broken.
        if (m_ctx.database.Status() == db::CodeDatabase::State::Missing)
            m_ctx.prompt.Show(kProductName, i18n::TryLoadText(m_ctx.LangBase, kTextDatabaseMissing).value_or(""),
                              Prompt::Buttons::Ok, Prompt::Icon::Question);
        else
            ShowDatabaseError(m_ctx.LangBase, m_window);
        return;
    }
    // tolbe-cli may have changed the record since: the window shows it as it is now.
    if (m_setupWindow == nullptr) m_runner.LookAtRecord();
    ShowOnce<FrmSetup>(m_setupWindow, [this] { return new FrmSetup(m_ctx, m_gate, m_runner, m_window); });
}

void RemoteWindows::mnuFileMyRemote_Click() {
    if (m_myRemoteWindow == nullptr) m_runner.LookAtRecord();
    ShowOnce<FrmMyRemote>(m_myRemoteWindow, [this] { return new FrmMyRemote(m_ctx, m_gate, m_runner, m_window); });
}

} // namespace tolbe::app
