#include "polldata/PublishState.h"

namespace quibra {

PublishState PublishStateFromText(std::wstring_view text) {
    return text == L"0" ? PublishState::NotPublished : PublishState::Published;
}

std::wstring PublishStateFlag(PublishState state) {
    return state == PublishState::Published ? L"1" : L"0";
}

}  // namespace quibra
