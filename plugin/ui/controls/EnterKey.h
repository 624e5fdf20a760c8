#pragma once

class QAbstractButton;
class QKeyEvent;

namespace quibra {

// Enter and Return on their own (the keypad's Enter included) act on the
// focused control, as Space does on a button.
class EnterKey {
public:
    static bool Pressed(const QKeyEvent& event);
    // Clicks an enabled `button` on Enter and takes the key; false for other keys.
    static bool Click(QAbstractButton& button, QKeyEvent& event);
};

}  // namespace quibra
