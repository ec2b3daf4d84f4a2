#pragma once

#include <QAccessible>

#include <functional>

class QLabel;
class QWidget;

namespace tolbe::app {

// Calls `action` when Enter or Return (keypad too) is pressed while `widget` has the focus, and with
// `with_space` also on Space. The key goes no further; held-down repeats are ignored.
void OnActivateKey(QWidget* widget, std::function<void()> action, bool with_space);

// Makes a label that the mouse clicks (a picture button, a link) work from the keyboard and for
// screen readers: it takes the focus by Tab, a ring around `framed` (the label itself when null)
// shows the focus, Space and Enter call `press`, and assistive technology sees it in `role`
// (Button, CheckBox, Link) with a "Press" action that calls `press` too. Mouse handling is left as it is.
void MakeKeyboardButton(QLabel* label, std::function<void()> press, QAccessible::Role role, QWidget* framed = nullptr,
                        int ring_radius = 4);

// Shows a 2-pixel ring (dark outside, light inside) around `framed` while `focus` has the focus:
// what the keyboard buttons show, for the fields and lists too.
void AddFocusRing(QWidget* focus, QWidget* framed, int radius);

// The same ring on every push button, check box and radio button under `root` that Tab reaches
// and has none yet (safe to call again after adding controls), in place of the style's thin frame.
void AddFocusRings(QWidget* root);

// For a keyboard button made with a checkable role: whether it is on, as screen readers hear it.
void SetAccessibleChecked(QWidget* button, bool checked);

// True while the focus ring of a keyboard button is shown (for tests and screenshots).
bool FocusRingShown(const QWidget* button);

} // namespace tolbe::app
