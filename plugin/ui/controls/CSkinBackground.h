#pragma once

#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <vector>

class QPainter;

namespace quibra {

class CImageButton;

// What a skinned dialog paints behind its controls: its background picture
// tiled from the dialog's origin, or the colour 0xFFF7EF without one. Also
// keeps the image buttons that the skin layout made for the dialog.
class CSkinBackground {
public:
    // A null picture means "none" (the plain colour is painted).
    void SetPicture(const QPixmap& picture) { m_picture = picture; }
    const QPixmap& Picture() const { return m_picture; }
    // Fills `area` (dialog coordinates) of the painter's device.
    void Paint(QPainter& painter, const QRect& area) const;

    // The image buttons created or taken over by the layout; the dialog (their
    // parent) owns them, so a deleted button simply drops out of the list.
    void AddButton(CImageButton* button);
    std::vector<CImageButton*> Buttons() const;

private:
    QPixmap m_picture;
    std::vector<QPointer<CImageButton>> m_buttons;
};

}  // namespace quibra
