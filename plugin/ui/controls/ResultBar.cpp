#include "ui/controls/ResultBar.h"

#include <QPainter>

#include "i18n/MessageIds.h"
#include "ui/controls/UiText.h"
#include "ui/skin/CSkinLayout.h"

namespace quibra {

ResultBar::ResultBar(QWidget* parent, const QString& choice, int count, int respondents)
    : QProgressBar(parent) {
    setObjectName(QStringLiteral("resultBar"));
    setRange(0, 100);
    setValue(Percent(count, respondents));
    setFormat(QStringLiteral("%p%"));
    setAccessibleName(choice);
    setAccessibleDescription(
        UiText::Msg(msg::kBarDescription)
            .arg(QString::number(qMax(0, count)), QString::number(qMax(0, respondents))));
}

int ResultBar::Percent(int count, int respondents) {
    if (respondents <= 0 || count <= 0) return 0;
    const qint64 percent = (qint64{count} * 100 + respondents / 2) / respondents;
    return static_cast<int>(qMin<qint64>(100, percent));
}

void ResultBar::paintEvent(QPaintEvent*) {
    const CSkinLayout& skin = CSkinLayout::Current();
    QPainter painter(this);
    const QString figure = text();
    const int figureWidth = fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 6;
    const int barHeight = qMin(height(), 12);
    const QRect track(0, (height() - barHeight) / 2, qMax(0, width() - figureWidth), barHeight);
    painter.fillRect(track, skin.Colour(L"result_bar_track", QColor(0xDD, 0xE4, 0xEE)));
    painter.fillRect(QRect(track.topLeft(), QSize(track.width() * value() / 100, barHeight)),
                     skin.Colour(L"result_bar", QColor(0x31, 0x5F, 0xCA)));
    painter.setPen(skin.Colour(L"title_text", Qt::black));
    painter.drawText(QRect(track.right() + 1, 0, figureWidth, height()),
                     Qt::AlignRight | Qt::AlignVCenter, figure);
}

}  // namespace quibra
