#include <gtest/gtest.h>
#include <QAction>
#include <QMenu>
#include <QTest>

#include "ui/controls/CSkinMenu.h"

using quibra::CSkinMenu;

// Rebuilding a menu (RemoveAll) is the console's menu test.
TEST(SkinMenu, ItemsAreCutSplitMeasuredAndPaintedInTheSkinColours) {
    CSkinMenu menu;
    menu.SetStyle(3);
    menu.SetItemSize(200, 20);
    const QString longLabel(120, QChar('x'));
    QAction* cut = menu.AddItem(CSkinMenu::Normal, 10000, longLabel);
    menu.AddItem(CSkinMenu::Separator, 0, {});
    QAction* checked = menu.AddItem(CSkinMenu::Checked, 10001, "Export\tCtrl+E");
    QAction* greyed = menu.AddItem(CSkinMenu::Grayed, 10002, QString(100, QChar('y')));
    menu.AddItem(CSkinMenu::Normal, 10003, "\tF1");  // a shortcut alone

    EXPECT_EQ(cut->text(), QString(97, QChar('x')) + "...");
    EXPECT_EQ(greyed->text().size(), 100);  // 100 characters are kept whole
    EXPECT_EQ(menu.Items()[2].text + "|" + menu.Items()[2].shortcutText, "Export|Ctrl+E");
    EXPECT_EQ(menu.Items()[4].text + "|" + menu.Items()[4].shortcutText, "|F1");
    EXPECT_EQ(checked->text(), "Export");
    EXPECT_EQ(menu.Item(10001), checked);
    EXPECT_FALSE(greyed->isEnabled());

    menu.Menu()->popup(QPoint(50, 50));
    QTRY_VERIFY(menu.Menu()->isVisible());
    QMenu& popup = *menu.Menu();
    EXPECT_EQ(popup.actionGeometry(cut), QRect(QPoint(1, 1), QSize(200, 20)));  // no margins
    EXPECT_EQ(popup.actionGeometry(popup.actions()[1]).height(), 6);

    // Hover the first item: it is framed and filled with the highlight colours.
    const QRect first = popup.actionGeometry(cut);
    QTest::mouseMove(&popup, first.center());
    QTRY_COMPARE(popup.activeAction(), cut);
    QImage shot = popup.grab().toImage();
    EXPECT_EQ(shot.pixelColor(first.left(), first.center().y()), QColor(0x40, 0x40, 0x80));
    EXPECT_EQ(shot.pixelColor(first.right() - 2, first.top() + 2), QColor(0xD8, 0xD8, 0xEB));

    // The checked item: plain fill, a framed square with the check colours.
    const QRect item = popup.actionGeometry(checked);
    EXPECT_EQ(shot.pixelColor(item.right() - 2, item.top() + 2), QColor(0xFF, 0xFF, 0xF0));
    EXPECT_EQ(shot.pixelColor(item.left() + 1, item.top() + 1), QColor(0x40, 0x40, 0x80));
    EXPECT_EQ(shot.pixelColor(item.left() + 3, item.top() + 3), QColor(0xD8, 0xD8, 0xEB));
}
