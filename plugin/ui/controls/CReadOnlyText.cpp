#include "ui/controls/CReadOnlyText.h"

#include "ui/controls/DialogFont.h"

namespace quibra {

CReadOnlyText::CReadOnlyText(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Window, Qt::transparent);
    setPalette(palette);
    document()->setDocumentMargin(1);
    if (const QFont* font = DialogFont::Get()) setFont(*font);
}

void CReadOnlyText::SetText(const QString& text) {
    setPlainText(text);
}

QString CReadOnlyText::Text() const {
    return toPlainText();
}

}  // namespace quibra
