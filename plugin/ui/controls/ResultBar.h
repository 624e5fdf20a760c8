#pragma once

#include <QProgressBar>

namespace quibra {

// One choice's share of the respondents: a bar in the skin's colours
// ("result_bar" on "result_bar_track", the figure in "title_text") with the
// percentage beside it. To a screen reader it is a progress bar named after
// the choice, its value the percentage, described as "3 of 5 respondents".
class ResultBar : public QProgressBar {
public:
    ResultBar(QWidget* parent, const QString& choice, int count, int respondents);

    // `count` of `respondents` in whole percent, rounded; 0 without respondents.
    static int Percent(int count, int respondents);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quibra
