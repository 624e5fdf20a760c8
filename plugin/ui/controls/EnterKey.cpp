#include "ui/controls/EnterKey.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace quibra {

bool EnterKey::Pressed(const QKeyEvent& event) {
    return (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) &&
           (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

bool EnterKey::Click(QAbstractButton& button, QKeyEvent& event) {
    if (!Pressed(event)) return false;
    if (button.isEnabled()) button.click();
    event.accept();
    return true;
}

}  // namespace quibra
