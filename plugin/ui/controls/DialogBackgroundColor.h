#pragma once

#include <QColor>
#include <cstdint>

namespace quibra {

// The process-wide dialog background colour, as a colour value with red in
// the low byte, then green, then blue (the layout and the init message use
// this order). White until the skin settings replace it.
class DialogBackgroundColor {
public:
    static uint32_t Get();
    // Only the low 24 bits count; the top byte is dropped.
    static void Set(uint32_t value);
    // Back to white (for tests and a fresh manager).
    static void Reset();
    // A colour value as a QColor; the top byte is ignored.
    static QColor ToQColor(uint32_t value);
};

}  // namespace quibra
