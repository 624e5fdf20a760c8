#pragma once

#include <QRect>
#include <span>

class QWidget;

namespace quibra {

class CSkinDialog;

// The kinds of control a dialog template places. The button kinds are wired
// to CSkinDialog::OnCommand with their item id.
enum class ControlKind {
    ImageButton,        // CImageButton, push type
    ImageCheckBox,      // CImageButton, check-box type
    ImageRadio,         // CImageButton, radio type (auto-exclusive per parent)
    ColorRadio,         // CColorRadioButton, radio
    ColorCheckBox,      // CColorRadioButton, check box
    TransparentStatic,  // CTransparentStatic; `style` holds its CTransparentStatic::Style
    Frame,              // a plain QFrame box (placeholders)
    Separator,          // a horizontal etched QFrame line
    Edit,               // QLineEdit
    MultiLineEdit,      // QPlainTextEdit
    ReadOnlyText,       // CReadOnlyText
    Tree,               // QTreeWidget
    Custom,             // made by `create`, which must not return null
};

// One control of a template: item id, kind, rectangle in dialog units, text
// (UTF-8, may be null), style bits for the kind, initial visibility.
struct TemplateItem {
    int id;
    ControlKind kind;
    int x, y, width, height;
    const char* text = nullptr;
    unsigned style = 0;
    bool visible = true;
    QWidget* (*create)(QWidget* parent) = nullptr;
};

// A dialog template: the client size in dialog units and the controls in tab
// order. Windows declare theirs as a constexpr table.
struct DialogTemplateSpec {
    int width;
    int height;
    std::span<const TemplateItem> items;
};

// Places a template's controls on a skinned dialog. Dialog units are the
// dialog font's average character width / 4 and height / 8 (DialogFont).
class DialogTemplate {
public:
    // Sizes the dialog's client area, then creates every item in order as a
    // child named after its id, at its pixel rectangle, shown or hidden as
    // declared. Items that already exist (same id) are not created twice.
    static void Apply(CSkinDialog& dialog, const DialogTemplateSpec& spec);
    // One control; returns it (null only when a Custom item has no `create`).
    static QWidget* Create(CSkinDialog& dialog, const TemplateItem& item);
    // The pixel rectangle of a dialog-unit rectangle.
    static QRect ToPixels(int x, int y, int width, int height);
};

}  // namespace quibra
