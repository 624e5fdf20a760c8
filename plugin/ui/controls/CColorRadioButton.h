#pragma once

#include <QAbstractButton>
#include <cstdint>

namespace quibra {

// A radio button or check box (drawn by the style) on a solid background of a
// settable colour, so it sits on the dialog's background. Check toggling,
// Space and the auto-exclusive radio group are Qt's.
class CColorRadioButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind { Radio, CheckBox };

    // Starts from the process-wide dialog background colour.
    explicit CColorRadioButton(QWidget* parent = nullptr, Kind kind = Kind::Radio);

    // Radio: auto-exclusive with the other radio buttons of the same parent.
    void SetKind(Kind kind);
    Kind GetKind() const { return m_kind; }
    // A colour value, red in the low byte; the top byte is ignored.
    void SetBackgroundColour(uint32_t value);
    uint32_t BackgroundColour() const { return m_colour; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    Kind m_kind = Kind::Radio;
    uint32_t m_colour;
};

}  // namespace quibra
