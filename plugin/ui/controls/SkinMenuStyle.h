#pragma once

#include <QProxyStyle>

namespace quibra {

// Measures and paints the items of a CSkinMenu: item width and height of the
// menu, separators 6 high, the colours of drawing style 3.
class SkinMenuStyle : public QProxyStyle {
    Q_OBJECT
public:
    SkinMenuStyle();

    // The action property that holds an item's shortcut text (after the tab).
    static constexpr const char* kShortcutProperty = "quibraShortcutText";

    int drawingStyle = 1;
    int itemWidth = 25;
    int itemHeight = 32;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;
};

}  // namespace quibra
