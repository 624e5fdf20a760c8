#include "ui/controls/DialogFont.h"

#include <QTextLayout>
#include <QtMath>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <cmath>

namespace quibra {

namespace {

constexpr const char* kFamily = "Arial Unicode MS";
constexpr double kCellHeight = 16.0;

// The face Qt uses when the family is missing: a sans-serif for Latin first,
// then the CJK faces the set-up installs, so every script finds glyphs.
void InstallSubstitutes() {
    if (!QFont::substitutes(kFamily).isEmpty()) return;
    QFont::insertSubstitutions(kFamily, {"Liberation Sans", "DejaVu Sans", "Noto Sans CJK SC",
                                         "Noto Sans CJK TC", "WenQuanYi Micro Hei"});
}

QFont MakeFont() {
    InstallSubstitutes();
    QFont font(kFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    // A positive cell height names ascent + descent, not the em; find the em
    // that gives a 16-pixel cell in whatever face was matched.
    font.setPixelSize(100);
    const double cell100 = QFontMetricsF(font).height();
    const int em = cell100 > 0 ? static_cast<int>(std::lround(kCellHeight * 100.0 / cell100)) : 12;
    font.setPixelSize(em > 0 ? em : 12);
    return font;
}

}  // namespace

const QFont* DialogFont::Get() {
    // Never destroyed: it must outlive every control, and the application too.
    static const QFont* font = nullptr;
    if (font == nullptr) {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return nullptr;
        font = new QFont(MakeFont());
    }
    return font;
}

QSize DialogFont::BaseUnits() {
    static QSize units;
    if (units.isValid()) return units;
    const QFont* font = Get();
    if (font == nullptr) return {8, 16};
    const QFontMetricsF metrics(*font);
    const double letters =
        metrics.horizontalAdvance("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    units = QSize(static_cast<int>(std::lround(letters / 52.0)),
                  static_cast<int>(std::lround(metrics.height())));
    return units;
}

QRect DialogFont::ToPixels(const QRect& du) {
    const QSize base = BaseUnits();
    // Each edge is converted on its own (as the platform does), so adjacent
    // controls stay adjacent after rounding.
    auto x = [&](int v) { return (v * base.width() + 2) / 4; };
    auto y = [&](int v) { return (v * base.height() + 4) / 8; };
    const int left = x(du.x());
    const int top = y(du.y());
    return QRect(left, top, x(du.x() + du.width()) - left, y(du.y() + du.height()) - top);
}

int DialogFont::LineHeight(const QFont& font) {
    QTextLayout layout(QStringLiteral("\u00C1gy\u4E2D\u6587"), font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    return qCeil(line.height());
}

}  // namespace quibra
