#include "ui/controls/SkinMenuStyle.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionMenuItem>

namespace quibra {

namespace {
// Colour values of style 3, as QColors (the values keep red in the low byte).
const QColor kItemFill(0xFF, 0xFF, 0xF0);       // 0xF0FFFF
const QColor kFrame(0x40, 0x40, 0x80);          // 0x804040
const QColor kHighlightFill(0xD8, 0xD8, 0xEB);  // 0xEBD8D8
constexpr int kSquare = 20;
}  // namespace

SkinMenuStyle::SkinMenuStyle() = default;

QSize SkinMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                      const QSize& size, const QWidget* widget) const {
    if (type != CT_MenuItem || drawingStyle != 3)
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (item != nullptr && item->menuItemType == QStyleOptionMenuItem::Separator)
        return QSize(itemWidth, 6);
    return QSize(itemWidth, itemHeight);
}

int SkinMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                               const QWidget* widget) const {
    if (drawingStyle == 3) {
        switch (metric) {
            case PM_MenuHMargin:
            case PM_MenuVMargin:
                return 0;
            case PM_MenuPanelWidth:
                return 1;
            default:
                break;
        }
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

void SkinMenuStyle::drawControl(ControlElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || item == nullptr || drawingStyle != 3) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const QRect r = item->rect;
    painter->save();
    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        painter->fillRect(r, kItemFill);
        painter->setPen(item->palette.color(QPalette::Mid));
        const int y = r.top() + r.height() / 2;
        painter->drawLine(r.left() + kSquare + 2, y, r.right() - 2, y);
        painter->restore();
        return;
    }
    const bool selected = (item->state & State_Selected) && (item->state & State_Enabled);
    if (selected) {
        painter->fillRect(r, kFrame);
        painter->fillRect(r.adjusted(1, 1, -1, -1), kHighlightFill);
    } else {
        painter->fillRect(r, kItemFill);
        painter->fillRect(QRect(r.left(), r.top(), kSquare, qMin(kSquare, r.height())),
                          item->palette.button());
    }
    const QRect square(r.left(), r.top() + (r.height() - kSquare) / 2, kSquare, kSquare);
    if (item->checked) {
        const QRect frame = square.adjusted(1, 1, -1, -1);
        painter->fillRect(frame, kFrame);
        painter->fillRect(frame.adjusted(1, 1, -1, -1), kHighlightFill);
        // The check mark, 5 pixels in from the square's corner.
        painter->setPen(QPen(kFrame, 2));
        painter->setRenderHint(QPainter::Antialiasing);
        const QPoint o = square.topLeft() + QPoint(5, 5);
        painter->drawPolyline(QPolygon({o + QPoint(0, 5), o + QPoint(3, 8), o + QPoint(9, 1)}));
        painter->setRenderHint(QPainter::Antialiasing, false);
    } else if (!item->icon.isNull()) {
        painter->drawPixmap(square.topLeft() + QPoint(2, 2),
                            item->icon.pixmap(QSize(kSquare - 4, kSquare - 4)));
    }
    const bool enabled = item->state & State_Enabled;
    painter->setPen(enabled ? item->palette.color(QPalette::Active, QPalette::WindowText)
                            : item->palette.color(QPalette::Disabled, QPalette::WindowText));
    painter->setFont(item->font);
    QString text = item->text;
    QString shortcut;
    if (const auto* menu = qobject_cast<const QMenu*>(widget))
        if (const QAction* action = menu->actionAt(r.center()))
            shortcut = action->property(kShortcutProperty).toString();
    const QRect textArea = r.adjusted(kSquare + 4, 0, -6, 0);
    const int flags = Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    painter->drawText(textArea, flags | Qt::AlignLeft, text);
    if (!shortcut.isEmpty()) painter->drawText(textArea, flags | Qt::AlignRight, shortcut);
    painter->restore();
}

}  // namespace quibra
