#include "ui/console/LongTextTip.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTextLayout>
#include <QVBoxLayout>

namespace quibra {

namespace {
constexpr int kMarginX = 4;
constexpr int kMarginY = 2;
constexpr int kBelowPointer = 20;  // clear of the pointer's arrow
}  // namespace

LongTextTip::LongTextTip(QWidget* owner)
    : QFrame(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput),
      m_title(new QLabel(this)),
      m_text(new QLabel(this)) {
    setObjectName(QStringLiteral("longTextTip"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
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
    layout->setContentsMargins(kMarginX, kMarginY, kMarginX, kMarginY);
    layout->setSpacing(2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_title);
    layout->addWidget(m_text);
    hide();
}

void LongTextTip::ShowTip(const QString& title, const QString& text, QPoint at) {
    const QScreen* screen = QGuiApplication::screenAt(at);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(at, QSize(640, 480));
    const int chrome = 2 * (kMarginX + frameWidth());
    m_title->setText(title);
    m_title->setVisible(!title.isEmpty());
    m_text->setText(BreakText(text, m_text->font(), area.width() - chrome));
    adjustSize();
    at.ry() += kBelowPointer;
    if (at.y() + height() > area.bottom() + 1) at.ry() -= height() + 2 * kBelowPointer;
    at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() + 1 - width())));
    at.setY(qBound(area.top(), at.y(), qMax(area.top(), area.bottom() + 1 - height())));
    move(at);
    show();
    raise();
}

QString LongTextTip::Text() const {
    return m_text->text();
}

QString LongTextTip::BreakText(const QString& text, const QFont& font, int width) {
    QString broken;
    const QStringList paragraphs =
        QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < paragraphs.size(); ++i) {
        const QString& paragraph = paragraphs[i];
        if (i > 0) broken += QLatin1Char('\n');
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(qMax(1, width));
            if (line.lineNumber() > 0) broken += QLatin1Char('\n');
            broken += paragraph.mid(line.textStart(), line.textLength());
        }
        layout.endLayout();
    }
    return broken;
}

}  // namespace quibra
