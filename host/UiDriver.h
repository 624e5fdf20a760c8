#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// How the walkthrough works the plug-in's windows: controls are found by
// object name (their item id, "4018"), and clicked and typed into with the
// mouse and key events a person's input would produce.
namespace UiDriver {

// The first visible top-level window that `match` accepts, or null.
QWidget* FindWindow(const std::function<bool(QWidget*)>& match);
// Every visible top-level window `match` accepts, in a stable order.
QList<QWidget*> FindWindows(const std::function<bool(QWidget*)>& match);
// The descendant of `root` named `name`, or null.
QWidget* Child(QWidget* root, const QString& name);
// A visible top-level window that has a descendant of each name.
QWidget* WindowWith(const QStringList& names);

// A left click at `pos` (the centre when omitted), press and release.
void Click(QWidget* widget, QPoint pos = QPoint(-1, -1));
// A key press and release with the given text.
void Key(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
         const QString& text = QString());
// Types `text` into a focused editor, one key event per character.
void Type(QWidget* widget, const QString& text);
// In the open popup menu, chooses the item carrying command id `commandId`
// (as a person would: highlights it and presses Enter). False when there is
// no such menu or item.
bool ChooseMenuCommand(int commandId);

// The text a control shows (labels, editors, buttons).
QString Text(QWidget* widget);
// Writes the window's picture as PNG; the size written, or an empty size.
QSize Shoot(QWidget* window, const QString& path);

}  // namespace UiDriver
