#include "ui/controls/ToolTipDelayStyle.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace quibra {

void ToolTipDelayStyle::Apply(QWidget& widget) {
    static QPointer<ToolTipDelayStyle> shared;
    if (shared.isNull()) {
        shared = new ToolTipDelayStyle;
        shared->setParent(qApp);  // freed with the application, after its widgets
    }
    widget.setStyle(shared);
}

int ToolTipDelayStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                 QStyleHintReturn* returnData) const {
    if (hint == SH_ToolTip_WakeUpDelay) return kWakeUpDelayMs;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

}  // namespace quibra
