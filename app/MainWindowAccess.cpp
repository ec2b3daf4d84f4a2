#include "app/MainWindowAccess.h"

#include "app/AccessibleWidgets.h"
#include "app/CodeGrid.h"
#include "app/KeyboardAccess.h"
#include "app/RecordsetModel.h"
#include "app/Twips.h"
#include "i18n/Language.h"
#include "i18n/StringTable.h"
#include "ui_FrmSASel.h"

namespace tolbe::app {

MainWindowAccess::MainWindowAccess(Ui::FrmSASel& ui, const AppContext& ctx, const codec::SlotTable& table,
                                   const CodeGrid& grid, std::array<QAction*, 7> languages, QObject* parent)
    : QObject(parent), ActiveTexts(ctx.LangBase), m_ui(ui), m_ctx(ctx), m_slots(table), m_grid(grid),
      m_languages(languages) {
    InstallAccessibleWidgets(m_ui.IRDBGrid->window());
    AddFocusRing(m_ui.ImgCombDevSel, m_ui.ImgCombDevSel, 3);
    AddFocusRing(m_ui.TxtBrandKey, m_ui.TxtBrandKey, 3);
    AddFocusRing(m_ui.TxtModelKey, m_ui.TxtModelKey, 3);
    m_pause.setSingleShot(true);
    m_pause.setInterval(kPause_ms);
    connect(&m_pause, &QTimer::timeout, this, &MainWindowAccess::SayCount);
    connect(m_grid.Model(), &QAbstractItemModel::modelReset, this, &MainWindowAccess::OnResults);
}

void MainWindowAccess::OnResults() {
    UpdateState();
    if (m_grid.Recordset() == nullptr) return; // the old result is let go before the new one comes
    SetAccessibleNameIfChanged(m_ui.IRDBGrid, T(kTextGridName).arg(m_grid.RowCount()));
    m_pause.start();
}

void MainWindowAccess::SayCount() {
    const int count = m_grid.RowCount();
    const bool first = m_announced < 0;
    if (count == m_announced) return;
    m_announced = count;
    if (first) return; // the window's first search is no change the user made
    // Said on behalf of what has the focus (the field being typed in), so a reader speaks it there.
    QWidget* focus = m_ui.IRDBGrid->window()->focusWidget();
    AnnouncePolitely(focus ? focus : m_ui.IRDBGrid, T(kTextResults).arg(count));
}

void MainWindowAccess::SetUpKeyboard(QWidget* window, const KeyActions& keys) {
    // Tab runs device type, brand, model, grid, slot buttons, Download (the order is in the form);
    // the slot buttons and Download are pictures the mouse clicks, so Space and Enter click them too.
    const std::array<QLabel*, 4> slotButtons{m_ui.ImgSelDev0, m_ui.ImgSelDev1, m_ui.ImgSelDev2, m_ui.ImgSelDev3};
    for (int i = 0; i < 4; ++i)
        MakeKeyboardButton(
            slotButtons[static_cast<std::size_t>(i)], [keys, i] { keys.selectSlot(i); }, QAccessible::Button, nullptr,
            7);
    MakeKeyboardButton(m_ui.LabDownload, keys.download, QAccessible::Button, m_ui.ImgDownload, 10);
    MakeKeyboardButton(m_ui.LabEmail, keys.contact, QAccessible::Link);
    OnActivateKey(m_ui.IRDBGrid, keys.takeRow, false);
    m_grid.Model()->SetRowAnnouncer([this](int row) { return RowText(row); });
    // The form lists the same order, but Qt skips what cannot take the focus yet when it builds the chain.
    QWidget* order[] = {m_ui.ImgCombDevSel, m_ui.TxtBrandKey, m_ui.TxtModelKey, m_ui.IRDBGrid,    m_ui.ImgSelDev0,
                        m_ui.ImgSelDev1,    m_ui.ImgSelDev2,  m_ui.ImgSelDev3,  m_ui.LabDownload, m_ui.LabEmail};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    m_ui.ImgCombDevSel->setFocus(); // where the flow starts when the window opens

    // The form's sizes are pixels at 96 DPI. Where the fonts are set larger on unscaled pixels
    // (144 DPI without Qt's scaling), the areas that hold text grow with them, as twips would;
    // the pictures keep their pixel sizes.
    const int dpi_x = window->logicalDpiX(), dpi_y = window->logicalDpiY();
    if (dpi_x <= 96 && dpi_y <= 96) return;
    const auto grow = [dpi_x, dpi_y](QWidget* w) {
        const QSize at96 = w->minimumSize();
        w->setMinimumSize(TwipsToPixels(QSize(at96.width() * 15, at96.height() * 15), dpi_x, dpi_y));
    };
    grow(m_ui.IRDBGrid);
    grow(m_ui.ImgCombDevSel);
}

void MainWindowAccess::Relabel() {
    SetFieldMnemonics();
    SetAccessibleTexts();
    ShowLanguageOwnNames();
}

void MainWindowAccess::SetFieldMnemonics() {
    // The field labels read as texts 126, 131 and 132, with a letter underlined for Alt.
    const std::pair<QLabel*, int> labels[] = {
        {m_ui.LabDevSel, kTextDeviceField}, {m_ui.LabBrandFilter, kTextBrandField}, {m_ui.Label2, kTextModelField}};
    for (const auto& [label, k] : labels)
        if (const auto text = i18n::TryLoadText(m_ctx.LangBase, k)) label->setText(QString::fromStdString(*text));
}

void MainWindowAccess::SetAccessibleTexts() {
    const auto name = [this](QWidget* w, int k, int description_k = -1) {
        w->setAccessibleName(T(k));
        if (description_k >= 0) w->setAccessibleDescription(T(description_k));
    };
    name(m_ui.ImgCombDevSel, kTextDeviceType, kTextDeviceTypeHint);
    name(m_ui.TxtBrandKey, kTextBrandKeyWords, kTextKeyWordsHint);
    name(m_ui.TxtModelKey, kTextModelKeyWords, kTextKeyWordsHint);
    name(m_ui.IRDBGrid, kTextGridTitle);
    name(m_ui.LabDownload, kTextDownload, kTextDownloadHint);
    m_ui.LabEmail->setAccessibleName(m_ui.LabEmail->text());
    m_ui.LabEmail->setAccessibleDescription(T(kTextEmailHint));
    name(m_ui.Imgcha, kTextPicturePlug);
    name(m_ui.ImgPress, kTextPicturePress);
    name(m_ui.ImgLED, kTextPictureLight);
    name(m_ui.Gif89a1, kTextPictureSending);
    const std::array<QLabel*, 4> slotButtons{m_ui.ImgSelDev0, m_ui.ImgSelDev1, m_ui.ImgSelDev2, m_ui.ImgSelDev3};
    for (std::size_t i = 0; i < slotButtons.size(); ++i)
        slotButtons[i]->setAccessibleName(T(kTextSlotName).arg(QString::fromStdString(m_ctx.DeviceNames[i])));
    UpdateState();
}

void MainWindowAccess::ShowLanguageOwnNames() {
    // Whoever switched by mistake finds the way back: each entry also names the language in itself.
    for (int i = 0; i < 7; ++i) {
        const std::string text = i18n::LanguageMenuText(m_ctx.LangBase, i);
        if (!text.empty()) m_languages[static_cast<std::size_t>(i)]->setText(QString::fromStdString(text));
    }
}

QString MainWindowAccess::RowText(int row) const {
    return m_grid.RowText(row, T(kTextGridRow));
}

void MainWindowAccess::UpdateState() {
    const QString results = T(kTextResults).arg(m_grid.RowCount());
    // Chinese sentences end in a full-width stop that carries its own space.
    const QString gap = results.endsWith(QChar(0x3002)) ? QString() : QStringLiteral(" ");
    SetAccessibleDescriptionIfChanged(m_ui.IRDBGrid, results + gap + T(kTextGridHint));
    const std::array<QLabel*, 4> slotButtons{m_ui.ImgSelDev0, m_ui.ImgSelDev1, m_ui.ImgSelDev2, m_ui.ImgSelDev3};
    for (std::size_t i = 0; i < slotButtons.size(); ++i) {
        const codec::SlotInfo& info = m_slots[i];
        const QString held =
            info.SourceID > 0 || !info.BrandName.empty()
                ? T(kTextAssigned)
                      .arg(QString::fromStdString(info.DeviceName), QString::fromStdString(info.BrandName),
                           QString::fromStdString(info.ModelName))
                : T(kTextNothingAssigned);
        SetAccessibleDescriptionIfChanged(slotButtons[i], held);
        // As the buttons show it: any slot number but 0, 1 and 2 marks AUX.
        const int shown = Slot::FromNumber(m_ctx.CurDevice).Index();
        SetAccessibleChecked(slotButtons[i], static_cast<int>(i) == shown);
    }
}

} // namespace tolbe::app
