#include "app/CodeGrid.h"

#include "app/KeyboardAccess.h"
#include "app/RecordsetModel.h"
#include "app/Twips.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWheelEvent>

#include <algorithm>

namespace tolbe::app {
namespace {

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

} // namespace

CodeGrid::CodeGrid(QTableView* view) : QObject(view), m_view(view), m_model(new RecordsetModel(this)) {
    m_model->ShowColumns({kDevice, kBrand, kModel});
    m_view->setModel(m_model);
    m_view->verticalHeader()->hide();
    m_view->setMouseTracking(true);
    m_viewport = m_view->viewport();
    m_headerViewport = m_view->horizontalHeader()->viewport();
    m_viewport->installEventFilter(this);
    m_headerViewport->installEventFilter(this);
    m_view->setItemDelegate(new CurrentRowFrame(m_view));
    // The frame follows the current row and the focus; Qt repaints only the cells it thinks changed.
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, m_view->viewport(),
            qOverload<>(&QWidget::update));
    AddFocusRing(m_view, m_view, 0);
}

void CodeGrid::Show(std::shared_ptr<const db::DbRecordset> rs) {
    // The view lets go of the old result before it is released.
    m_model->SetRecordset(nullptr);
    m_rs = std::move(rs);
    m_model->SetRecordset(m_rs);
    if (RowCount() > 0) m_view->setCurrentIndex(m_model->index(0, 0));
    SetColumnWidths();
}

int CodeGrid::RowCount() const {
    return m_model->rowCount();
}

int CodeGrid::CurrentRow() const {
    return m_view->currentIndex().row();
}

const db::DbValue& CodeGrid::Current(Column column) const {
    if (m_rs == nullptr) throw db::DbError("no search result");
    return m_rs->ValueAt(CurrentRow(), column);
}

QString CodeGrid::RowText(int row, const QString& format) const {
    if (m_rs == nullptr || row < 0 || row >= m_rs->RecordCount()) return {};
    const auto cell = [&](int column) { return QString::fromStdString(m_rs->ValueAt(row, column).Text()); };
    return format.arg(cell(kDevice), cell(kBrand), cell(kModel));
}

void CodeGrid::SetColumnWidths() {
    if (m_model->columnCount() < 3) return;
    const int W = m_view->width();
    const int dpi = m_view->logicalDpiX();
    const int device = TwipsToPixels(1400, dpi);
    m_view->setColumnWidth(0, device);
    m_view->setColumnWidth(1, W / 3);
    m_view->setColumnWidth(2, std::max(40, 2 * W / 3 - device - TwipsToPixels(600, dpi)));
}

void CodeGrid::MouseUp(Qt::MouseButton button, const QPoint& pos) {
    if (button != Qt::RightButton) return;
    // The row under the pointer, as the view itself lays rows out.
    const int row = m_view->rowAt(pos.y());
    if (row < 0) return;
    m_view->setCurrentIndex(m_model->index(row, std::max(0, m_view->currentIndex().column())));
}

bool CodeGrid::Wheel(QWheelEvent* event) {
    // One notch with no key or button held moves the current row by one, as the arrow keys do.
    if (event->modifiers() != Qt::NoModifier || event->buttons() != Qt::NoButton) return false;
    const int delta = event->angleDelta().y();
    if (delta != 120 && delta != -120) return false;
    const int rows = m_model->rowCount();
    if (rows == 0) return true;
    const int next = std::clamp(CurrentRow() + (delta < 0 ? 1 : -1), 0, rows - 1);
    m_view->setCurrentIndex(m_model->index(next, std::max(0, m_view->currentIndex().column())));
    return true;
}

bool CodeGrid::eventFilter(QObject* watched, QEvent* event) {
    // A right-button release over the header makes the top visible row current, as one below it
    // makes the row under the pointer current.
    // Only pointers are compared before the event type is known: the view may be in its destructor.
    if (watched == m_headerViewport && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton && m_view->rowAt(0) >= 0)
        m_view->setCurrentIndex(m_model->index(m_view->rowAt(0), std::max(0, m_view->currentIndex().column())));
    if (watched == m_viewport) {
        if (event->type() == QEvent::Wheel && Wheel(static_cast<QWheelEvent*>(event))) return true;
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            MouseUp(me->button(), me->position().toPoint());
        }
        if (event->type() == QEvent::Resize) SetColumnWidths();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tolbe::app
