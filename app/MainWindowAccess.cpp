#include "app/MainWindowAccess.h"

#include "app/AccessibleWidgets.h"
#include "app/KeyboardAccess.h"
#include "app/RecordsetModel.h"
#include "app/Twips.h"
#include "i18n/StringTable.h"
#include "ui_FrmSASel.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

namespace tolbe::app {
namespace {

constexpr int kTextGridName = 375; // "Code sets found: %1"
constexpr int kTextResults = 358;  // "Results: %1."

// Recordset columns the grid shows: DeviceName, BrandName, ModelName. The code set's numbers and
// date stay in the recordset for AddInfo but are no column a reader could wander into.
const std::vector<int> kShownColumns{2, 3, 4};

// Draws the focus frame around the current row while the grid has the focus: the same dark and
// light ring as the buttons, which holds on the blue of a selected row and on white alike.
class CurrentRowFrame final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
        if (view == nullptr || !view->hasFocus() || index.row() != view->currentIndex().row()) return;
        const bool first = index.column() == 0;
        const bool last = index.column() == index.model()->columnCount() - 1;
        const QRect r = option.rect;
        painter->save();
        const auto edges = [&](const QColor& colour, int inset) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(colour);
            const int left = r.left() + (first ? inset : 0);
            const int right = r.right() - (last ? inset : 0);
            const int width = inset == 0 ? 2 : 1;
            painter->drawRect(QRect(left, r.top() + inset, right - left + 1, width));
            painter->drawRect(QRect(left, r.bottom() - inset - width + 1, right - left + 1, width));
            if (first) painter->drawRect(QRect(r.left() + inset, r.top() + inset, width, r.height() - 2 * inset));
            if (last)
                painter->drawRect(QRect(r.right() - inset - width + 1, r.top() + inset, width, r.height() - 2 * inset));
        };
        edges(QColor(0x10, 0x10, 0x10), 0);
        edges(Qt::white, 2);
        painter->restore();
    }
};

// A right-button release over the header makes the top visible row current, as one below it
// makes the row under the pointer current.
class HeaderRightRelease final : public QObject {
public:
    HeaderRightRelease(QTableView* grid) : QObject(grid), m_grid(grid) {
        grid->horizontalHeader()->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            const int row = m_grid->rowAt(0);
            if (row >= 0)
                m_grid->setCurrentIndex(m_grid->model()->index(row, std::max(0, m_grid->currentIndex().column())));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTableView* m_grid;
};

} // namespace

MainWindowAccess::MainWindowAccess(Ui::FrmSASel& ui, RecordsetModel& model, const std::int16_t& lang_base,
                                   QObject* parent)
    : QObject(parent), m_ui(ui), m_model(model), m_langBase(lang_base) {
    InstallAccessibleWidgets(m_ui.IRDBGrid->window());
    m_model.ShowColumns(kShownColumns);
    QTableView* grid = m_ui.IRDBGrid;
    grid->setItemDelegate(new CurrentRowFrame(grid));
    new HeaderRightRelease(grid);
    // The frame follows the current row and the focus; Qt repaints only the cells it thinks changed.
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, grid->viewport(),
            qOverload<>(&QWidget::update));
    // Around the whole grid too, so that a focused empty grid shows where the focus is.
    AddFocusRing(grid, grid, 0);
    AddFocusRing(m_ui.ImgCombDevSel, m_ui.ImgCombDevSel, 3);
    AddFocusRing(m_ui.TxtBrandKey, m_ui.TxtBrandKey, 3);
    AddFocusRing(m_ui.TxtModelKey, m_ui.TxtModelKey, 3);

    m_pause.setSingleShot(true);
    m_pause.setInterval(kPause_ms);
    connect(&m_pause, &QTimer::timeout, this, &MainWindowAccess::SayCount);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &MainWindowAccess::OnResults);
}

QString MainWindowAccess::T(int k) const {
    const auto text = i18n::TryLoadText(m_langBase, k);
    return text ? QString::fromStdString(*text) : QString();
}

void MainWindowAccess::OnResults() {
    if (m_model.Recordset() == nullptr) return; // the old result is let go before the new one comes
    SetAccessibleNameIfChanged(m_ui.IRDBGrid, T(kTextGridName).arg(m_model.rowCount()));
    m_pause.start();
}

void MainWindowAccess::SayCount() {
    const int count = m_model.rowCount();
    const bool first = m_announced < 0;
    if (count == m_announced) return;
    m_announced = count;
    if (first) return; // the window's first search is no change the user made
    // Said on behalf of what has the focus (the field being typed in), so a reader speaks it there.
    QWidget* focus = m_ui.IRDBGrid->window()->focusWidget();
    AnnouncePolitely(focus ? focus : m_ui.IRDBGrid, T(kTextResults).arg(count));
}

void SetCodeGridColumnWidths(QTableView* grid) {
    if (grid->model() == nullptr || grid->model()->columnCount() < 3) return;
    const int W = grid->width();
    const int dpi = grid->logicalDpiX();
    const int device = TwipsToPixels(1400, dpi);
    grid->setColumnWidth(0, device);
    grid->setColumnWidth(1, W / 3);
    grid->setColumnWidth(2, std::max(40, 2 * W / 3 - device - TwipsToPixels(600, dpi)));
}

} // namespace tolbe::app
