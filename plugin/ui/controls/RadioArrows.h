#pragma once

class QAbstractButton;
class QKeyEvent;

namespace quibra {

// Arrow keys in a group of auto-exclusive buttons select as they move, as
// every desktop's radio buttons do; Qt itself only moves the focus unless the
// button left was checked.
class RadioArrows {
public:
    // Call after the button's own key handling: when `event` was an arrow key
    // that moved the focus from `from` to another auto-exclusive button of its
    // group, that button is clicked.
    static void SelectFocused(const QAbstractButton& from, const QKeyEvent& event);
};

}  // namespace quibra
