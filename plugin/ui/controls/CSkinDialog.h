#pragma once

#include <QDialog>
#include <QFocusFrame>
#include <QPointer>
#include <map>

#include "ui/controls/CSkinBackground.h"

class QAbstractButton;

namespace quibra {

class CPictureView;
class CTransparentStatic;

// Base of the three skinned dialogs: paints CSkinBackground, moves the window
// when it is dragged by any point that is not a child control, finds its
// controls by item id (their object name), routes button clicks to OnCommand,
// keeps the picture and text controls the skin layout created, and rings the
// control that has the keyboard focus (image buttons and bare radio buttons
// show none of their own).
class CSkinDialog : public QDialog {
    Q_OBJECT
public:
    // The dialog's OK and cancel commands (the layout's close button sends kCancel).
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;

    explicit CSkinDialog(QWidget* parent = nullptr);
    ~CSkinDialog() override;

    CSkinBackground& Background() { return m_background; }
    const CSkinBackground& Background() const { return m_background; }

    // The child (at any depth) whose object name is the decimal id, or null.
    // With two such children the first one found wins.
    QWidget* Item(int id) const;
    template <class T>
    T* ItemAs(int id) const {
        return qobject_cast<T*>(Item(id));
    }

    // Picture and text controls that the layout created, keyed by control id.
    // The dialog (as their parent) owns them; a deleted one reads as null.
    CPictureView* PictureControl(int id) const;
    CTransparentStatic* TextControl(int id) const;
    const std::map<int, QPointer<CPictureView>>& PictureControls() const { return m_pictures; }
    const std::map<int, QPointer<CTransparentStatic>>& TextControls() const { return m_texts; }
    // Used by the layout; a second control for the same id is ignored (false).
    bool AddPictureControl(int id, CPictureView* view);
    bool AddTextControl(int id, CTransparentStatic* text);

    // A click of `button` calls OnCommand(id) (and emits commandTriggered).
    // Connecting the same button again only changes its id (one command per click).
    void ConnectCommand(QAbstractButton* button, int id);
    // A command from a button: kOk accepts, kCancel rejects (QDialog's reject:
    // override it for the dialog's own closing), anything else does nothing.
    virtual void OnCommand(int id);

    // Names control `controlId` for screen readers after the text of label
    // `labelId` (the label's buddy becomes the control), for controls such as
    // radio buttons whose text stands beside them. Missing items do nothing.
    void NameAfterLabel(int controlId, int labelId);

    // Centres on the parent window, else on the primary screen's work area.
    void CenterWindow();

    // The ring drawn round the focused control of this dialog; null before
    // the first control took the focus.
    QFocusFrame* FocusRing() const { return m_focusRing; }

signals:
    // Emitted for every command, before OnCommand runs.
    void commandTriggered(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The keyboard focus moved to `now`, a control of this dialog.
    virtual void FocusMoved(QWidget* now);

private:
    CSkinBackground m_background;
    std::map<int, QPointer<CPictureView>> m_pictures;
    std::map<int, QPointer<CTransparentStatic>> m_texts;
    // A child of the focused control's parent, so it goes with that parent.
    QPointer<QFocusFrame> m_focusRing;
    // The left button went down on the body and is still held; the window
    // moves only while it is (a press and release delivered together never
    // starts a move), by the window system, or by hand from these where the
    // window system refused.
    bool m_pressed = false;
    bool m_dragging = false;
    QPoint m_dragStart;
    QPoint m_windowStart;
};

}  // namespace quibra
