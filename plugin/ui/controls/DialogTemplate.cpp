#include "ui/controls/DialogTemplate.h"

#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include "ui/controls/CColorRadioButton.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CReadOnlyText.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/DialogFont.h"

namespace quibra {

QRect DialogTemplate::ToPixels(int x, int y, int width, int height) {
    return DialogFont::ToPixels(QRect(x, y, width, height));
}

QWidget* DialogTemplate::Create(CSkinDialog& dialog, const TemplateItem& item) {
    const QString text = item.text != nullptr ? QString::fromUtf8(item.text) : QString();
    QWidget* widget = nullptr;
    QAbstractButton* button = nullptr;
    switch (item.kind) {
        case ControlKind::ImageButton:
        case ControlKind::ImageCheckBox:
        case ControlKind::ImageRadio: {
            const auto type = item.kind == ControlKind::ImageButton ? CImageButton::Type::Push
                              : item.kind == ControlKind::ImageCheckBox
                                  ? CImageButton::Type::CheckBox
                                  : CImageButton::Type::Radio;
            auto* image = new CImageButton(&dialog, type);
            image->setText(text);
            widget = button = image;
            break;
        }
        case ControlKind::ColorRadio:
        case ControlKind::ColorCheckBox: {
            auto* colour = new CColorRadioButton(&dialog, item.kind == ControlKind::ColorRadio
                                                              ? CColorRadioButton::Kind::Radio
                                                              : CColorRadioButton::Kind::CheckBox);
            colour->setText(text);
            widget = button = colour;
            break;
        }
        case ControlKind::TransparentStatic: {
            auto* label = new CTransparentStatic(&dialog, item.style);
            label->setText(text);
            widget = label;
            break;
        }
        case ControlKind::Frame: {
            auto* frame = new QFrame(&dialog);
            frame->setFrameShape(QFrame::Box);
            widget = frame;
            break;
        }
        case ControlKind::Separator: {
            auto* line = new QFrame(&dialog);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            widget = line;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, &dialog);
            widget = edit;
            break;
        }
        case ControlKind::MultiLineEdit:
            widget = new QPlainTextEdit(text, &dialog);
            break;
        case ControlKind::ReadOnlyText: {
            auto* readOnly = new CReadOnlyText(&dialog);
            readOnly->SetText(text);
            widget = readOnly;
            break;
        }
        case ControlKind::Tree:
            widget = new QTreeWidget(&dialog);
            break;
        case ControlKind::Custom:
            if (item.create == nullptr) return nullptr;
            widget = item.create(&dialog);
            if (widget == nullptr) return nullptr;
            if (widget->parentWidget() != &dialog) widget->setParent(&dialog);
            break;
    }
    widget->setObjectName(QString::number(item.id));
    widget->setGeometry(ToPixels(item.x, item.y, item.width, item.height));
    if (const QFont* font = DialogFont::Get(); font != nullptr && item.kind != ControlKind::Custom)
        widget->setFont(*font);
    widget->setVisible(item.visible);
    if (button != nullptr) dialog.ConnectCommand(button, item.id);
    return widget;
}

void DialogTemplate::Apply(CSkinDialog& dialog, const DialogTemplateSpec& spec) {
    // A template's size is fixed: its controls stand where it put them.
    dialog.setFixedSize(ToPixels(0, 0, spec.width, spec.height).size());
    for (const TemplateItem& item : spec.items)
        if (dialog.Item(item.id) == nullptr) Create(dialog, item);
}

}  // namespace quibra
