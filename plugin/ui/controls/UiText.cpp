#include "ui/controls/UiText.h"

#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"

namespace quibra {

QString UiText::Msg(int id) {
    return QString::fromStdWString(CWenMsg::GetInstance().GetMsg(id));
}

QString UiText::People(int count) {
    return QString::number(count) + QLatin1Char(' ') +
           Msg(count == 1 ? msg::kCountWordOne : msg::kCountWord);
}

}  // namespace quibra
