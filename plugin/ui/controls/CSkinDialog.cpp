#include "ui/controls/CSkinDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "ui/controls/CPictureView.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/DialogFont.h"

namespace quibra {

namespace {
constexpr const char* kCommandProperty = "quibraCommand";
}

CSkinDialog::CSkinDialog(QWidget* parent) : QDialog(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (const QFont* font = DialogFont::Get()) setFont(*font);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now == nullptr || now == this || now->window() != this) return;
        if (m_focusRing.isNull()) {
            m_focusRing = new QFocusFrame(this);
            // The ring is painted in the window-text colour: the highlight shows on any skin.
            QPalette ring = m_focusRing->palette();
            ring.setColor(QPalette::WindowText, ring.color(QPalette::Highlight));
            m_focusRing->setPalette(ring);
        }
        m_focusRing->setWidget(now);
        FocusMoved(now);
    });
}

void CSkinDialog::FocusMoved(QWidget*) {}

CSkinDialog::~CSkinDialog() = default;

QWidget* CSkinDialog::Item(int id) const {
    return findChild<QWidget*>(QString::number(id));
}

CPictureView* CSkinDialog::PictureControl(int id) const {
    auto it = m_pictures.find(id);
    return it == m_pictures.end() ? nullptr : it->second.data();
}

CTransparentStatic* CSkinDialog::TextControl(int id) const {
    auto it = m_texts.find(id);
    return it == m_texts.end() ? nullptr : it->second.data();
}

bool CSkinDialog::AddPictureControl(int id, CPictureView* view) {
    if (view == nullptr || PictureControl(id) != nullptr) return false;
    m_pictures[id] = view;
    return true;
}

bool CSkinDialog::AddTextControl(int id, CTransparentStatic* text) {
    if (text == nullptr || TextControl(id) != nullptr) return false;
    m_texts[id] = text;
    return true;
}

void CSkinDialog::ConnectCommand(QAbstractButton* button, int id) {
    if (button == nullptr) return;
    // The id lives on the button, so connecting again only changes it.
    const bool connected = button->property(kCommandProperty).isValid();
    button->setProperty(kCommandProperty, id);
    if (connected) return;
    connect(button, &QAbstractButton::clicked, this, [this, button] {
        const int command = button->property(kCommandProperty).toInt();
        emit commandTriggered(command);
        OnCommand(command);
    });
}

void CSkinDialog::OnCommand(int id) {
    if (id == kOk) accept();
    if (id == kCancel) reject();
}

void CSkinDialog::NameAfterLabel(int controlId, int labelId) {
    QWidget* control = Item(controlId);
    auto* label = qobject_cast<QLabel*>(Item(labelId));
    if (control == nullptr || label == nullptr) return;
    label->setBuddy(control);
    control->setAccessibleName(label->text());
}

void CSkinDialog::CenterWindow() {
    QRect area;
    if (QWidget* parent = parentWidget(); parent != nullptr && parent->isVisible())
        area = parent->window()->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isEmpty()) return;
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void CSkinDialog::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    m_background.Paint(painter, event->rect());
}

void CSkinDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    event->accept();
    m_pressed = true;
    m_dragging = false;
    m_dragStart = event->globalPosition().toPoint();
    m_windowStart = window()->pos();
}

void CSkinDialog::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed || !(event->buttons() & Qt::LeftButton)) {
        // A release that went elsewhere ends the drag too.
        m_pressed = m_dragging = false;
        QDialog::mouseMoveEvent(event);
        return;
    }
    event->accept();
    if (!m_dragging) {
        // The window system moves the window where it can, from the first
        // move with the button held; otherwise it follows the pointer here.
        QWindow* handle = window()->windowHandle();
        if (handle != nullptr && handle->startSystemMove()) {
            m_pressed = false;
            return;
        }
        m_dragging = true;
    }
    window()->move(m_windowStart + event->globalPosition().toPoint() - m_dragStart);
}

void CSkinDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_pressed || event->button() != Qt::LeftButton) {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    if (m_dragging) window()->move(m_windowStart + event->globalPosition().toPoint() - m_dragStart);
    m_pressed = m_dragging = false;
}

}  // namespace quibra
