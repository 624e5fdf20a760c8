#pragma once

#include <QLabel>

namespace quibra {

// A static text painted straight onto whatever lies beneath (no background),
// black, in its own copy of the dialog font. Text and accessibility are
// QLabel's; painting, alignment, ellipsis and wrapping follow its style.
class CTransparentStatic : public QLabel {
    Q_OBJECT
public:
    // The static styles that change how the text is laid out.
    enum Style : unsigned {
        Left = 0x0,
        Center = 0x1,
        Right = 0x2,
        CenterImage = 0x200,  // one line, centred vertically
        NoPrefix = 0x80,
        SimpleSingle = 0xB,    // one line, no wrapping (as Left otherwise)
        LeftNoWordWrap = 0xC,  // one line, no wrapping
        EndEllipsis = 0x4000,
        PathEllipsis = 0x8000,
        WordEllipsis = 0xC000,
    };

    explicit CTransparentStatic(QWidget* parent = nullptr, unsigned style = Left);

    // A combination of Style values; anything else is ignored.
    void SetStyle(unsigned style);
    unsigned GetStyle() const { return m_style; }
    // The text colour (black at start).
    void SetTextColour(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    unsigned m_style = Left;
    QColor m_textColour = Qt::black;
};

}  // namespace quibra
