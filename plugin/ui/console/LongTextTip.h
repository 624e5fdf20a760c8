#pragma once

#include <QFrame>
#include <QString>

class QLabel;

namespace quibra {

// The tip that shows the whole text of a tree item too long for its label,
// broken into lines. A child of the console, hidden until asked; the pointer
// passes through it, so the tree under it keeps receiving the moves.
class LongTextTip : public QFrame {
public:
    explicit LongTextTip(QWidget* parent);

    // Shows `text` below a bold `title` (none when empty) with its top-left
    // corner at `at` (parent coordinates), kept inside the parent.
    void ShowTip(const QString& title, const QString& text, QPoint at);
    QString Text() const;

    // `text` cut into consecutive pieces of `charsPerLine` characters joined by
    // line feeds, every character kept; a CR LF becomes one line feed.
    static QString BreakText(const QString& text, int charsPerLine);
    // How many characters of average width fit a label: at least one.
    static int CharsPerLine(int labelWidth, int averageCharWidth);

private:
    QLabel* m_title;
    QLabel* m_text;
};

}  // namespace quibra
