#include "ui/controls/CColorRadioButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "ui/controls/DialogBackgroundColor.h"
#include "ui/controls/EnterKey.h"
#include "ui/controls/RadioArrows.h"

namespace quibra {

CColorRadioButton::CColorRadioButton(QWidget* parent, Kind kind)
    : QAbstractButton(parent), m_colour(DialogBackgroundColor::Get()) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    SetKind(kind);
}

void CColorRadioButton::SetKind(Kind kind) {
    m_kind = kind;
    setCheckable(true);
    setAutoExclusive(kind == Kind::Radio);
    update();
}

void CColorRadioButton::SetBackgroundColour(uint32_t value) {
    m_colour = value & 0x00FFFFFF;
    update();
}

namespace {
QStyleOptionButton MakeOption(const QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    option.state |= button.isChecked() ? QStyle::State_On : QStyle::State_Off;
    if (button.isDown()) option.state |= QStyle::State_Sunken;
    return option;
}
}  // namespace

QSize CColorRadioButton::sizeHint() const {
    QStyleOptionButton option = MakeOption(*this);
    const bool radio = m_kind == Kind::Radio;
    const int w = style()->pixelMetric(
        radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth, &option, this);
    const int h = style()->pixelMetric(
        radio ? QStyle::PM_ExclusiveIndicatorHeight : QStyle::PM_IndicatorHeight, &option, this);
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, option.text);
    return style()->sizeFromContents(
        radio ? QStyle::CT_RadioButton : QStyle::CT_CheckBox, &option,
        QSize(w + (text.isEmpty() ? 0 : 4 + text.width()), qMax(h, text.height())), this);
}

void CColorRadioButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), DialogBackgroundColor::ToQColor(m_colour));
    QStyleOptionButton option = MakeOption(*this);
    style()->drawControl(m_kind == Kind::Radio ? QStyle::CE_RadioButton : QStyle::CE_CheckBox,
                         &option, &painter, this);
}

void CColorRadioButton::keyPressEvent(QKeyEvent* event) {
    if (EnterKey::Click(*this, *event)) return;
    QAbstractButton::keyPressEvent(event);
    RadioArrows::SelectFocused(*this, *event);
}

bool CColorRadioButton::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

}  // namespace quibra
