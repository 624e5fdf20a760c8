#pragma once

#include <QFont>

namespace quibra {

// The one dialog font of the process: "Arial Unicode MS", a character cell 16
// pixels high, normal weight, sans-serif. Made on first use and kept for the
// life of the process; UI thread only.
class DialogFont {
public:
    // The font, or null while no QGuiApplication exists (callers then leave
    // their controls' fonts alone). Where the family is not installed, Qt's
    // substitute list puts a Latin sans-serif first and a Simplified Chinese
    // face after it, so no text renders as empty boxes.
    static const QFont* Get();
    // Dialog base units of the font: the average width of the 52 Latin
    // letters (rounded) and the cell height; (8, 16) while there is no font.
    static QSize BaseUnits();
    // A template rectangle in dialog units (x, y, width, height) in pixels:
    // x and width scale by width / 4, y and height by height / 8.
    static QRect ToPixels(const QRect& dialogUnits);
    // The height of a line that holds Latin and Chinese text in `font`, the
    // fallback face's taller ascent and descent included, in whole pixels.
    static int LineHeight(const QFont& font);
};

}  // namespace quibra
