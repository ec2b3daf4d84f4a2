#pragma once

#include "app/AppContext.h"
#include "app/UiText.h"
#include "codec/SlotTable.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>

class QAction;
class QWidget;
namespace Ui {
class FrmSASel;
}

namespace tolbe::app {

class CodeGrid;

// What a screen reader and the keyboard find in the main window: the field labels with a letter
// underlined for Alt, the controls' accessible names and descriptions, the Language menu's own
// names, the focus rings, and the states a reader hears (result count, what each slot holds,
// which is chosen). A changed result count is said once, when the searches stop coming.
class MainWindowAccess : public QObject, private ActiveTexts {
    Q_OBJECT
public:
    // Quiet time after a search before its count is said: typing runs a search per key.
    static constexpr int kPause_ms = 1000;

    MainWindowAccess(Ui::FrmSASel& ui, const AppContext& ctx, const codec::SlotTable& table, const CodeGrid& grid,
                     std::array<QAction*, 7> languages, QObject* parent);
    // The count said last (-1 before the first search has settled).
    int AnnouncedCount() const { return m_announced; }

    // What the keys do that the mouse does on pictures.
    struct KeyActions {
        std::function<void(int slot)> selectSlot;
        std::function<void()> download, contact, takeRow;
    };
    // Once, at construction: the Tab order, Space and Enter on the pictures that act as buttons,
    // Enter on the grid, the rows read whole, and text areas grown on a large-font screen.
    void SetUpKeyboard(QWidget* window, const KeyActions& keys);
    // In the active language, at each relabelling.
    void Relabel();
    // After each search, slot choice and assignment.
    void UpdateState();
    // What is read for a grid row: the whole code set.
    QString RowText(int row) const;

private:
    void SetFieldMnemonics();
    void SetAccessibleTexts();
    void ShowLanguageOwnNames();
    void OnResults();
    void SayCount();

    Ui::FrmSASel& m_ui;
    const AppContext& m_ctx;
    const codec::SlotTable& m_slots;
    const CodeGrid& m_grid;
    std::array<QAction*, 7> m_languages;
    QTimer m_pause;
    int m_announced = -1;
};

} // namespace tolbe::app
