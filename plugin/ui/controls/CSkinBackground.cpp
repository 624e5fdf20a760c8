#include "ui/controls/CSkinBackground.h"

#include <QPainter>

#include "ui/controls/CImageButton.h"

namespace quibra {

void CSkinBackground::Paint(QPainter& painter, const QRect& area) const {
    if (m_picture.isNull()) {
        painter.fillRect(area, QColor(0xEF, 0xF7, 0xFF));  // colour value 0xFFF7EF
        return;
    }
    // The tiles line up with the dialog's origin whatever part is repainted.
    const QSize tile = m_picture.deviceIndependentSize().toSize();
    const QPoint offset(area.left() % tile.width(), area.top() % tile.height());
    painter.drawTiledPixmap(area, m_picture, offset);
}

void CSkinBackground::AddButton(CImageButton* button) {
    for (const auto& known : m_buttons)
        if (known == button) return;
    if (button != nullptr) m_buttons.emplace_back(button);
}

std::vector<CImageButton*> CSkinBackground::Buttons() const {
    std::vector<CImageButton*> live;
    for (const auto& button : m_buttons)
        if (button) live.push_back(button.data());
    return live;
}

}  // namespace quibra
