#include "ui/controls/RadioArrows.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

namespace quibra {

void RadioArrows::SelectFocused(const QAbstractButton& from, const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
            break;
        default:
            return;
    }
    auto* to = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    if (to == nullptr || to == &from || !from.autoExclusive() || !to->autoExclusive() ||
        to->parentWidget() != from.parentWidget() || to->isChecked())
        return;
    to->click();
}

}  // namespace quibra
