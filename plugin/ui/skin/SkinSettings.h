#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>

#include "quibra/CWenNode.h"

namespace quibra {

// The ten buttons whose tooltip ids the host's skin settings give, in order.
enum class SkinButton {
    Ok,
    Cancel,
    PollNew,
    PollEdit,
    PollStart,
    PollStop,
    PollPublish,
    PollDelete,
    PollPost,
    PollDisclaim,
};

// The "skincfg" element of the host's init message: the dialog background
// colour and a tooltip message id (and unused image) per button.
class SkinSettings {
public:
    struct Button {
        int tipMsgId = 0;
        std::wstring image;  // stored with a leading "\"; unused by the windows
    };
    // The ids of the ten items, in SkinButton order ("ok_btn" ... "poll_disclaim_btn").
    static const std::array<const wchar_t*, 10> kItemIds;

    // Reads "skincfg" below the init payload; when it is missing returns false
    // and changes nothing. Otherwise stores everything (absent integers read
    // as -1) and sets the process-wide dialog background colour.
    bool Read(const CWenNode& initPayload);

    const std::wstring& Background() const { return m_background; }
    int DialogBackgroundColour() const { return m_dialogBackgroundColour; }
    const Button& Get(SkinButton button) const { return m_buttons[static_cast<int>(button)]; }
    int TipId(SkinButton button) const { return Get(button).tipMsgId; }
    // The localised tooltip text of a button; empty while its id is not above 0.
    QString TipText(SkinButton button) const;

private:
    std::wstring m_background;
    int m_dialogBackgroundColour = 0x00FFFFFF;
    std::array<Button, 10> m_buttons{};
};

}  // namespace quibra
