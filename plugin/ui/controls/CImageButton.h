#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <array>

namespace quibra {

// A button drawn from pictures: normal, pressed, hot (pointer over it),
// disabled and focus. Press, drag-off and release tracking, the click, Space
// and the auto-exclusive radio group are Qt's (QAbstractButton); this class
// only picks and paints the picture of the state, and adds Enter/Return.
class CImageButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Type { Push, CheckBox, Radio };
    // 0 natural size from the top-left corner, 1 stretched, 2 tiled.
    enum class DrawMode { Natural = 0, Stretched = 1, Tiled = 2 };
    enum class State { Normal, Pressed, Hot, Disabled, Focus };

    explicit CImageButton(QWidget* parent = nullptr, Type type = Type::Push);

    // Push: never checked. CheckBox: checkable, toggles on click and Space.
    // Radio: checkable and auto-exclusive with the other radio-type buttons
    // of the same parent; a click on a checked radio keeps it checked.
    void SetType(Type type);
    Type GetType() const { return m_type; }

    // Cuts `strip` once into `states` pictures of width x height, left to
    // right. Four states give normal, pressed, hot, disabled (focus = normal);
    // one state serves every state. Any other count, a null strip or a strip
    // too small for the pictures clears every picture. Draw mode becomes
    // Stretched. The fixed size is left alone (see sizeHint).
    void SetStrip(const QPixmap& strip, int states, int width, int height);
    // The usual call: four states, each a quarter of the strip's width.
    // False (pictures unchanged) for a null strip or one narrower than 4.
    bool SetStrip(const QPixmap& strip);
    // One picture; a null pixmap means "missing" (the button-face colour is
    // painted for missing normal, pressed and disabled pictures; a missing
    // hot or focus picture falls back to the normal one).
    void SetPicture(State state, const QPixmap& picture);
    const QPixmap& Picture(State state) const;
    void SetDrawMode(DrawMode mode);

    // Tooltip and accessible name at once (the button has no text of its
    // own for a screen reader). Empty removes the tooltip but keeps a name
    // set before.
    void SetToolTipText(const QString& text);

    // The state whose picture a paint shows now.
    State CurrentState() const;

    // The size of one picture, or a small square without pictures.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void nextCheckState() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The left button went down here and is still held: no hot look until it
    // is released, so dragging off shows the normal picture.
    bool m_tracking = false;
    Type m_type = Type::Push;
    DrawMode m_drawMode = DrawMode::Stretched;
    std::array<QPixmap, 5> m_pictures;
};

}  // namespace quibra
