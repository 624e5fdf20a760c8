#include "ui/controls/CImageButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "ui/controls/EnterKey.h"
#include "ui/controls/ToolTipDelayStyle.h"

namespace quibra {

CImageButton::CImageButton(QWidget* parent, Type type) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);  // repaint on enter and leave, for the hot picture
    setAttribute(Qt::WA_OpaquePaintEvent);
    ToolTipDelayStyle::Apply(*this);
    SetType(type);
}

void CImageButton::SetType(Type type) {
    m_type = type;
    setCheckable(type != Type::Push);
    setAutoExclusive(type == Type::Radio);
    if (type == Type::Push) setChecked(false);
}

void CImageButton::SetStrip(const QPixmap& strip, int states, int width, int height) {
    m_pictures = {};
    m_drawMode = DrawMode::Stretched;
    if (strip.isNull() || width <= 0 || height <= 0 || (states != 1 && states != 4) ||
        strip.width() < states * width || strip.height() < height) {
        update();
        return;
    }
    auto cut = [&](int i) { return strip.copy(i * width, 0, width, height); };
    if (states == 1) {
        m_pictures.fill(cut(0));
    } else {
        m_pictures[static_cast<int>(State::Normal)] = cut(0);
        m_pictures[static_cast<int>(State::Pressed)] = cut(1);
        m_pictures[static_cast<int>(State::Hot)] = cut(2);
        m_pictures[static_cast<int>(State::Disabled)] = cut(3);
        m_pictures[static_cast<int>(State::Focus)] = m_pictures[0];
    }
    updateGeometry();
    update();
}

bool CImageButton::SetStrip(const QPixmap& strip) {
    if (strip.isNull() || strip.width() < 4) return false;
    SetStrip(strip, 4, strip.width() / 4, strip.height());
    return true;
}

void CImageButton::SetPicture(State state, const QPixmap& picture) {
    m_pictures[static_cast<int>(state)] = picture;
    update();
}

const QPixmap& CImageButton::Picture(State state) const {
    return m_pictures[static_cast<int>(state)];
}

void CImageButton::SetDrawMode(DrawMode mode) {
    m_drawMode = mode;
    update();
}

void CImageButton::SetToolTipText(const QString& text) {
    setToolTip(text);
    if (!text.isEmpty()) setAccessibleName(text);
}

CImageButton::State CImageButton::CurrentState() const {
    if (!isEnabled()) return State::Disabled;
    if (isDown() || isChecked()) return State::Pressed;
    if (!m_tracking && underMouse() && !Picture(State::Hot).isNull()) return State::Hot;
    if (hasFocus() && !Picture(State::Focus).isNull()) return State::Focus;
    return State::Normal;
}

QSize CImageButton::sizeHint() const {
    const QPixmap& normal = Picture(State::Normal);
    return normal.isNull() ? QSize(23, 23) : normal.deviceIndependentSize().toSize();
}

void CImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const State state = CurrentState();
    const QPixmap& picture = Picture(state);
    if (picture.isNull()) {
        painter.fillRect(rect(), palette().button());
    } else {
        switch (m_drawMode) {
            case DrawMode::Natural:
                painter.fillRect(rect(), palette().button());
                painter.drawPixmap(0, 0, picture);
                break;
            case DrawMode::Stretched:
                painter.drawPixmap(rect(), picture);
                break;
            case DrawMode::Tiled:
                painter.drawTiledPixmap(rect(), picture);
                break;
        }
    }
    if (!text().isEmpty()) {
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.drawText(rect().adjusted(6, 0, -6, 0), Qt::AlignCenter | Qt::TextSingleLine,
                         text());
    }
}

void CImageButton::keyPressEvent(QKeyEvent* event) {
    if (EnterKey::Click(*this, *event)) return;
    QAbstractButton::keyPressEvent(event);
}

void CImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_tracking = true;
    QAbstractButton::mousePressEvent(event);
}

void CImageButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_tracking = false;
    QAbstractButton::mouseReleaseEvent(event);
    update();
}

void CImageButton::focusOutEvent(QFocusEvent* event) {
    m_tracking = false;
    QAbstractButton::focusOutEvent(event);
}

void CImageButton::nextCheckState() {
    // A radio button checks itself; it is never unchecked by its own click.
    if (m_type == Type::Radio)
        setChecked(true);
    else
        QAbstractButton::nextCheckState();
}

}  // namespace quibra
