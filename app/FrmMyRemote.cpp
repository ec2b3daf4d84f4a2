#include "app/FrmMyRemote.h"

#include "app/AccessibleWidgets.h"
#include "app/DeviceSelector.h"
#include "app/DownloadRunner.h"
#include "app/JobGate.h"
#include "app/KeyboardAccess.h"
#include "app/SharedControls.h"
#include "core/RemoteRecord.h"
#include "i18n/StringTable.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolbe::app {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The record's "2025-06-01T18:30:05+0200" as the chosen language writes a date and time.
QString LocalTime(const std::string& iso, int lang_base) {
    const QDateTime when = QDateTime::fromString(Q(iso), Qt::ISODate);
    return when.isValid() ? LocaleOf(lang_base).toString(when.toLocalTime(), QLocale::ShortFormat) : Q(iso);
}

} // namespace

FrmMyRemote::FrmMyRemote(AppContext& ctx, JobGate& gate, DownloadRunner& runner, QWidget* parent)
    : QDialog(parent), ActiveTexts(ctx.LangBase), m_ctx(ctx), m_gate(gate), m_runner(runner) {
    setObjectName(QStringLiteral("FrmMyRemote"));
    setWindowTitle(T(kTextMyRemoteTitle));
    setMinimumWidth(560);
    auto* box = new QVBoxLayout(this);
    auto* intro = new QLabel(T(kTextMyRemoteIntro), this);
    intro->setWordWrap(true);
    box->addWidget(intro);

    auto* grid = new QGridLayout;
    for (const Slot slot : Slot::All()) {
        const auto i = static_cast<std::size_t>(slot.Index());
        auto* name = new QLabel(Q(slot.Name()), this);
        QFont bold = name->font();
        bold.setBold(true);
        name->setFont(bold);
        m_what[i] = new QLabel(this);
        m_what[i]->setTextFormat(Qt::PlainText); // names from the code database
        m_what[i]->setWordWrap(true);
        m_what[i]->setObjectName(QStringLiteral("LabWhat%1").arg(slot.Index()));
        // Tab reaches what each slot holds, not only the eye.
        m_what[i]->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        m_what[i]->setFocusPolicy(Qt::TabFocus);
        AddFocusRing(m_what[i], m_what[i], 3);
        m_verdict[i] = new QLabel(this);
        m_verdict[i]->setTextFormat(Qt::PlainText);
        m_verdict[i]->setWordWrap(true);
        m_verdict[i]->setObjectName(QStringLiteral("LabVerdict%1").arg(slot.Index()));
        m_sendAgain[i] = new QPushButton(T(kTextSendAgain), this);
        m_sendAgain[i]->setObjectName(QStringLiteral("CmdSendAgain%1").arg(slot.Index()));
        m_sendAgain[i]->setAccessibleName(T(kTextSendAgainName).arg(Q(slot.Name())));
        connect(m_sendAgain[i], &QPushButton::clicked, this, [this, slot] { SendAgain(slot); });
        const int row = slot.Index() * 2;
        grid->addWidget(name, row, 0, 2, 1, Qt::AlignTop);
        grid->addWidget(m_what[i], row, 1);
        grid->addWidget(m_verdict[i], row + 1, 1);
        grid->addWidget(m_sendAgain[i], row, 2, 2, 1, Qt::AlignVCenter);
    }
    grid->setColumnStretch(1, 1);
    box->addLayout(grid);

    // The instruction step before each download: the remote must be readied every time.
    m_step = new QWidget(this);
    auto* step = new QHBoxLayout(m_step);
    step->setContentsMargins(0, 0, 0, 0);
    auto* keys = new QLabel(m_step);
    keys->setFixedSize(100, 88);
    ShowPicture(keys, QStringLiteral("A32"));
    keys->setAccessibleName(T(kTextPicturePress));
    m_stepText = new QLabel(m_step);
    m_stepText->setWordWrap(true);
    m_stepText->setObjectName(QStringLiteral("LabStep"));
    m_send = new QPushButton(T(kTextSend), m_step);
    m_send->setObjectName(QStringLiteral("CmdSend"));
    auto* cancel = new QPushButton(T(kTextCancelWithKey), m_step);
    cancel->setObjectName(QStringLiteral("CmdCancel"));
    connect(m_send, &QPushButton::clicked, this, &FrmMyRemote::CmdSend_Click);
    connect(cancel, &QPushButton::clicked, this, &FrmMyRemote::CmdCancel_Click);
    step->addWidget(keys);
    step->addWidget(m_stepText, 1);
    step->addWidget(m_send);
    step->addWidget(cancel);
    box->addWidget(m_step);
    m_step->hide();

    auto* buttons = new QHBoxLayout;
    m_sendAll = new QPushButton(T(kTextSendAllFour), this);
    m_sendAll->setObjectName(QStringLiteral("CmdSendAll"));
    connect(m_sendAll, &QPushButton::clicked, this, &FrmMyRemote::SendAll);
    auto* close = new QPushButton(T(kTextClose), this);
    connect(close, &QPushButton::clicked, this, [this] {
        m_waiting.clear(); // Close closes, a step shown or not
        reject();
    });
    buttons->addWidget(m_sendAll);
    buttons->addStretch();
    buttons->addWidget(close);
    box->addLayout(buttons);

    connect(&m_runner, &DownloadRunner::Finished, this, [this](bool sent) {
        if (m_downloading) OnDownloadFinished(sent);
    });
    // The main window's downloads and the assistant's change the record too.
    connect(&m_runner, &DownloadRunner::RecordChanged, this, &FrmMyRemote::Refresh);
    Refresh();
    InstallAccessibleWidgets(this);
    AddFocusRings(this);
}

void FrmMyRemote::Refresh() {
    int recorded = 0;
    for (const Slot slot : Slot::All()) {
        const auto i = static_cast<std::size_t>(slot.Index());
        const core::SlotRecord& r = m_runner.Record().Of(slot);
        m_sendAgain[i]->setEnabled(r.HasWritten() && m_waiting.empty());
        const QString slotName = T(kTextSlotName).arg(Q(slot.Name()));
        if (!r.HasWritten()) {
            m_what[i]->setText(T(kTextNothingWritten));
            SetAccessibleNameIfChanged(m_what[i], NameAndValue(m_ctx.LangBase, slotName, T(kTextNothingWritten)));
            m_verdict[i]->clear();
            m_verdict[i]->hide(); // no empty, nameless line
            SetAccessibleDescriptionIfChanged(m_sendAgain[i], T(kTextNothingWritten));
            continue;
        }
        ++recorded;
        const QString what = T(kTextSlotWritten)
                                 .arg(Q(r.written.DeviceName), Q(r.written.BrandName), Q(r.written.ModelName))
                                 .arg(r.written.SetOfCodeID);
        const QString when = T(kTextWrittenWhen).arg(LocalTime(r.writtenAt, m_ctx.LangBase)).arg(r.databaseVersion);
        m_what[i]->setText(what + QStringLiteral("\n") + when);
        SetAccessibleNameIfChanged(m_what[i], NameAndValue(m_ctx.LangBase, slotName, what));
        SetAccessibleDescriptionIfChanged(m_what[i], when);
        QString verdict;
        switch (r.verdict) {
        case core::Verdict::Works:
            verdict = T(kTextRecordWorks);
            break;
        case core::Verdict::Partly: {
            // The keys as the assistant named them when they were ticked.
            QStringList keys;
            for (const std::string& k : r.workingKeys)
                keys << KeyName(m_ctx.LangBase, core::KeyKindOf(k), k);
            verdict = T(kTextRecordPartly).arg(JoinedList(m_ctx.LangBase, keys));
            break;
        }
        case core::Verdict::Failed:
            verdict = T(kTextRecordFailed);
            break;
        case core::Verdict::NotTried:
            verdict = T(kTextRecordNotTried);
            break;
        }
        m_verdict[i]->setText(verdict);
        m_verdict[i]->show();
        SetAccessibleNameIfChanged(m_verdict[i], NameAndValue(m_ctx.LangBase, slotName, verdict));
        // What Send again would send, and how it did: a reader hears it on the button.
        SetAccessibleDescriptionIfChanged(m_sendAgain[i], NameAndValue(m_ctx.LangBase, what, verdict));
    }
    m_sendAll->setEnabled(recorded > 0 && m_waiting.empty());
    // "Send all four" would promise a slot that is not recorded.
    m_sendAll->setText(recorded == Slot::kCount ? T(kTextSendAllFour) : T(kTextSendAllOf).arg(recorded));
}

void FrmMyRemote::SendAgain(Slot slot) {
    if (!m_waiting.empty() || !m_runner.Record().Of(slot).HasWritten()) return;
    m_waiting = {slot};
    m_stepCount = 1;
    ShowStep();
}

void FrmMyRemote::SendAll() {
    if (!m_waiting.empty()) return;
    for (const Slot slot : Slot::All())
        if (m_runner.Record().Of(slot).HasWritten()) m_waiting.push_back(slot);
    m_stepCount = static_cast<int>(m_waiting.size());
    ShowStep();
}

void FrmMyRemote::ShowStep() {
    // The focus moves once, before the control holding it is hidden or disabled: a reader would
    // otherwise hear the control Qt passes it to first.
    if (m_waiting.empty()) {
        Refresh();
        if (m_step->isVisible()) {
            m_send->setDefault(false);
            if (m_step->isAncestorOf(focusWidget()) || !focusWidget()) m_sendAll->setFocus();
            m_step->hide();
        }
        return;
    }
    const int k = m_stepCount - static_cast<int>(m_waiting.size()) + 1;
    const QString text = T(kTextSendStep).arg(Q(m_waiting.front().Name())).arg(k).arg(m_stepCount);
    m_stepText->setText(text);
    m_send->setAccessibleDescription(text);
    m_step->show();
    m_send->setDefault(true);
    m_send->setFocus();
    Refresh();
    GrowToFit(this); // the step row must not squeeze the slots' lines
    AnnouncePolitely(m_send, text);
}

void FrmMyRemote::CmdSend_Click() {
    if (m_waiting.empty() || m_downloading || m_gate.Closing()) return;
    if (!m_gate.TryStart(Job::Download)) {
        m_stepText->setText(T(kTextBusy));
        m_send->setAccessibleDescription(T(kTextBusy));
        AnnouncePolitely(m_send, T(kTextBusy));
        return;
    }
    const Slot slot = m_waiting.front();
    const codec::SlotInfo written = m_runner.Record().Of(slot).written;
    const core::DownloadRequest request = core::RequestFor(slot, written);
    m_downloading = true;
    m_step->setEnabled(false);
    m_runner.Run([this, request, written] { return m_runner.PrepareSend(request, written); }, this);
}

void FrmMyRemote::OnDownloadFinished(bool sent) {
    m_downloading = false;
    m_step->setEnabled(true);
    // A slot that did not go out waits for another try or Cancel; the next one needs readying anew.
    if (sent && !m_waiting.empty()) m_waiting.pop_front();
    ShowStep();
}

void FrmMyRemote::CmdCancel_Click() {
    m_waiting.clear();
    ShowStep();
}

void FrmMyRemote::reject() {
    if (m_downloading) return;
    // Esc ends the instruction step first; the window closes on the next.
    if (!m_waiting.empty()) {
        CmdCancel_Click();
        return;
    }
    QDialog::reject();
}

void FrmMyRemote::closeEvent(QCloseEvent* event) {
    if (m_downloading) {
        event->ignore();
        return;
    }
    m_waiting.clear(); // the close box closes, a step shown or not
    QDialog::closeEvent(event);
}

} // namespace tolbe::app
