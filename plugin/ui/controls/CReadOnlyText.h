#pragma once

#include <QTextEdit>

namespace quibra {

// A read-only, multi-line plain text that paints no background of its own, so
// the dialog's background shows through; takes the dialog font. Scrolls
// vertically when the text is longer than the control. Selection, keyboard
// navigation and accessibility are QTextEdit's.
class CReadOnlyText : public QTextEdit {
    Q_OBJECT
public:
    explicit CReadOnlyText(QWidget* parent = nullptr);
    // Plain text (no markup is interpreted).
    void SetText(const QString& text);
    QString Text() const;
};

}  // namespace quibra
