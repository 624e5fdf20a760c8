#pragma once

#include <QFrame>
#include <QString>

class QFont;
class QLabel;

namespace quibra {

// The tip that shows the whole text of a tree item cut short in its label. A
// tool-tip window of its own (owned by the console), so it may reach past the
// console's edge; its lines are broken to fit the screen and it stays on it.
// Hidden until asked; the pointer passes through it.
class LongTextTip : public QFrame {
public:
    explicit LongTextTip(QWidget* owner);

    // Shows `text` below a bold `title` (none when empty) just below the
    // global point `at`, moved as little as needed to stay on that screen.
    void ShowTip(const QString& title, const QString& text, QPoint at);
    QString Text() const;

    // `text` broken into lines no wider than `width` in `font`, at word
    // boundaries where there are any, else between characters (Chinese has no
    // spaces); every character kept, and a CR LF becomes one line feed.
    static QString BreakText(const QString& text, const QFont& font, int width);

private:
    QLabel* m_title;
    QLabel* m_text;
};

}  // namespace quibra
