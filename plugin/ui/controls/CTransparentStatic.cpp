#include "ui/controls/CTransparentStatic.h"

#include <QPainter>

#include "ui/controls/DialogFont.h"

namespace quibra {

CTransparentStatic::CTransparentStatic(QWidget* parent, unsigned style) : QLabel(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    if (const QFont* font = DialogFont::Get()) setFont(*font);
    SetStyle(style);
}

void CTransparentStatic::SetStyle(unsigned style) {
    m_style = style;
    update();
}

void CTransparentStatic::SetTextColour(const QColor& colour) {
    m_textColour = colour;
    update();
}

void CTransparentStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(m_textColour);
    const unsigned type = m_style & 0x1F;
    int flags = 0;
    switch (type) {
        case Center:
            flags |= Qt::AlignHCenter;
            break;
        case Right:
            flags |= Qt::AlignRight;
            break;
        default:
            flags |= Qt::AlignLeft;
            break;
    }
    const unsigned ellipsis = m_style & WordEllipsis;
    const bool singleLine = (m_style & CenterImage) != 0 || type == SimpleSingle ||
                            type == LeftNoWordWrap || ellipsis != 0;
    flags |= (m_style & CenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
    const QRect area = rect();
    QString shown = text();
    if (singleLine) {
        flags |= Qt::TextSingleLine;
        if (ellipsis != 0) {
            const Qt::TextElideMode mode =
                ellipsis == PathEllipsis ? Qt::ElideMiddle : Qt::ElideRight;
            shown = painter.fontMetrics().elidedText(shown, mode, area.width());
        }
    } else {
        flags |= Qt::TextWordWrap;
    }
    if (!(m_style & NoPrefix)) flags |= Qt::TextShowMnemonic;
    painter.drawText(area, flags, shown);
}

}  // namespace quibra
