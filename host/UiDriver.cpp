#include "UiDriver.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <algorithm>

namespace UiDriver {

QList<QWidget*> FindWindows(const std::function<bool(QWidget*)>& match) {
    QList<QWidget*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && match(window)) found.append(window);
    // Top-level order is not stable; screen position and name are.
    std::sort(found.begin(), found.end(), [](QWidget* a, QWidget* b) {
        if (a->y() != b->y()) return a->y() < b->y();
        if (a->x() != b->x()) return a->x() < b->x();
        return a->windowTitle() < b->windowTitle();
    });
    return found;
}

QWidget* FindWindow(const std::function<bool(QWidget*)>& match) {
    const QList<QWidget*> windows = FindWindows(match);
    return windows.isEmpty() ? nullptr : windows.front();
}

QWidget* Child(QWidget* root, const QString& name) {
    return root != nullptr ? root->findChild<QWidget*>(name) : nullptr;
}

QWidget* WindowWith(const QStringList& names) {
    return FindWindow([&](QWidget* window) {
        return std::all_of(names.begin(), names.end(),
                           [&](const QString& name) { return Child(window, name) != nullptr; });
    });
}

void Click(QWidget* widget, QPoint pos) {
    if (widget == nullptr) return;
    if (pos == QPoint(-1, -1)) pos = widget->rect().center();
    const QPointF local(pos);
    const QPointF global(widget->mapToGlobal(pos));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
}

void Key(QWidget* widget, int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    if (widget == nullptr) return;
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
}

void Type(QWidget* widget, const QString& text) {
    if (widget == nullptr) return;
    widget->setFocus(Qt::OtherFocusReason);
    // By code point, so a character outside the first plane stays whole.
    for (const uint codePoint : text.toUcs4())
        Key(widget, 0, Qt::NoModifier,
            QString::fromUcs4(reinterpret_cast<const char32_t*>(&codePoint), 1));
}

bool ChooseMenuCommand(int commandId) {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return false;
    for (QAction* action : menu->actions()) {
        if (action->property("quibraCommandId").toInt() != commandId) continue;
        if (!action->isEnabled()) return false;
        menu->setActiveAction(action);
        Key(menu, Qt::Key_Return);
        return true;
    }
    return false;
}

QString Text(QWidget* widget) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
    if (auto* text = qobject_cast<QTextEdit*>(widget)) return text->toPlainText();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) return plain->toPlainText();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    return widget != nullptr ? widget->windowTitle() : QString();
}

QSize Shoot(QWidget* window, const QString& path) {
    if (window == nullptr) return {};
    const QPixmap picture = window->grab();
    if (picture.isNull() || !picture.save(path, "PNG")) return {};
    return picture.size();
}

}  // namespace UiDriver
