#pragma once

#include <QProxyStyle>

namespace quibra {

// The application's style with one change: tool tips wake up after 150 ms, as
// the skin's buttons want, instead of Qt's 700. Given to the plug-in's own
// controls only, so the host's widgets keep the delay the host chose.
class ToolTipDelayStyle : public QProxyStyle {
public:
    static constexpr int kWakeUpDelayMs = 150;

    // Gives `widget` the one shared instance (made on first use, owned by the application).
    static void Apply(QWidget& widget);

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

}  // namespace quibra
