#include "ui/skin/SkinSettings.h"

#include "i18n/CWenMsg.h"
#include "quibra/CWenXmlError.h"
#include "ui/controls/DialogBackgroundColor.h"

namespace quibra {

const std::array<const wchar_t*, 10> SkinSettings::kItemIds = {
    L"ok_btn",         L"cancel_btn",       L"poll_new_btn",     L"poll_edit_btn",
    L"poll_start_btn", L"poll_stop_btn",    L"poll_publish_btn", L"poll_delete_btn",
    L"poll_post_btn",  L"poll_disclaim_btn"};

bool SkinSettings::Read(const CWenNode& initPayload) {
    const CWenNode config = initPayload.GetChild(L"skincfg");
    if (config.IsNull()) return false;
    m_background = L"\\" + config.GetAttribute(L"background");
    m_dialogBackgroundColour = config.GetAttributeInt(L"dlg_background_color");
    DialogBackgroundColor::Set(static_cast<uint32_t>(m_dialogBackgroundColour));
    for (size_t i = 0; i < kItemIds.size(); ++i) {
        CWenNode item;
        try {
            item = config.SelectSingleNode(std::wstring(L"item[@id='") + kItemIds[i] + L"']");
        } catch (const CWenXmlError&) {
        }
        m_buttons[i].tipMsgId = item.GetAttributeInt(L"tip_msg_id");
        m_buttons[i].image = L"\\" + item.GetAttribute(L"image");
    }
    return true;
}

QString SkinSettings::TipText(SkinButton button) const {
    const int id = TipId(button);
    return id > 0 ? QString::fromStdWString(CWenMsg::GetInstance().GetMsg(id)) : QString();
}

}  // namespace quibra
