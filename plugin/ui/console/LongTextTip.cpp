#include "ui/console/LongTextTip.h"

#include <QLabel>
#include <QVBoxLayout>

namespace quibra {

LongTextTip::LongTextTip(QWidget* parent)
    : QFrame(parent), m_title(new QLabel(this)), m_text(new QLabel(this)) {
    setObjectName(QStringLiteral("longTextTip"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xE1));
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_text->setTextFormat(Qt::PlainText);
    m_title->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    layout->addWidget(m_title);
    layout->addWidget(m_text);
    hide();
}

void LongTextTip::ShowTip(const QString& title, const QString& text, QPoint at) {
    m_title->setText(title);
    m_title->setVisible(!title.isEmpty());
    m_text->setText(text);
    adjustSize();
    if (QWidget* owner = parentWidget()) {
        at.setX(qMax(0, qMin(at.x(), owner->width() - width())));
        at.setY(qMax(0, qMin(at.y(), owner->height() - height())));
    }
    move(at);
    raise();
    show();
}

QString LongTextTip::Text() const {
    return m_text->text();
}

QString LongTextTip::BreakText(const QString& text, int charsPerLine) {
    const qsizetype step = qMax(1, charsPerLine);
    QString broken;
    broken.reserve(text.size() + text.size() / step);
    for (qsizetype at = 0; at < text.size();) {
        qsizetype length = qMin(step, text.size() - at);
        // A character outside the basic plane stays whole on its line.
        if (text.at(at + length - 1).isHighSurrogate() && at + length < text.size()) ++length;
        if (at > 0) broken += QLatin1Char('\n');
        broken += text.mid(at, length);
        at += length;
    }
    broken.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return broken;
}

int LongTextTip::CharsPerLine(int labelWidth, int averageCharWidth) {
    if (averageCharWidth <= 0) return 1;
    return qMax(1, labelWidth / averageCharWidth);
}

}  // namespace quibra
