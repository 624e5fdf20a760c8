#pragma once

#include <QMenu>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

class QAction;
class QWidget;

namespace quibra {

class SkinMenuStyle;

// A popup menu whose items are measured and painted by the skin (a QProxyStyle
// on a QMenu). Keyboard navigation, hover highlighting, greyed items and the
// accessible menu items are Qt's; sizes and colours are the skin's.
class CSkinMenu {
public:
    // Item flags for AddItem; combine with |.
    enum Flag : unsigned { Normal = 0, Separator = 1, Checked = 2, Grayed = 4 };

    struct ItemRecord {
        QString text;          // label before the first tab (cut to 100 characters)
        QString shortcutText;  // after the first tab; empty without one
        QPixmap bitmap;        // null for none
        quintptr data = 0;
        int width = 0;   // the menu's item width when the item was added
        int height = 0;  // the menu's item height when the item was added
    };

    // Style 1, item 25 x 32 until set (every menu of this system sets style 3
    // and 200 x 20).
    explicit CSkinMenu(QWidget* parent = nullptr);
    ~CSkinMenu();
    CSkinMenu(const CSkinMenu&) = delete;
    CSkinMenu& operator=(const CSkinMenu&) = delete;

    // Only style 3 paints the skin's colours; others paint as the platform.
    void SetStyle(int style);
    int Style() const;
    // Applies to items added later and to measuring; non-positive values are ignored.
    void SetItemSize(int width, int height);

    // Appends an item with command id `commandId`. A label over 100
    // characters becomes its first 97 and "..."; a tab splits it into text
    // and shortcut text. Separator ignores the text. Returns the action.
    QAction* AddItem(unsigned flags, int commandId, const QString& label,
                     const QPixmap& bitmap = {}, quintptr data = 0);
    // Removes every item (and its record).
    void RemoveAll();
    // The item of a command id, or null.
    QAction* Item(int commandId) const;
    // Greys (false) or enables an item; an unknown id does nothing.
    void EnableItem(int commandId, bool enabled);
    void CheckItem(int commandId, bool checked);
    const std::vector<ItemRecord>& Items() const { return m_items; }

    // Shows the menu at a global position and waits for a choice: the command
    // id of the chosen item, or 0 when the menu was dismissed.
    int Exec(const QPoint& globalPos);
    // The command id that an action carries (0 for none).
    static int CommandId(const QAction* action);
    // The menu itself, for popup() and its triggered signal. A parent given at
    // construction may delete it first; the CSkinMenu must then not be used.
    QMenu* Menu() const { return m_menu.data(); }

private:
    std::unique_ptr<SkinMenuStyle> m_style;
    QPointer<QMenu> m_menu;
    std::vector<ItemRecord> m_items;
};

}  // namespace quibra
