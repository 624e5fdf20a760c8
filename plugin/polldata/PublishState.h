#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quibra {

// Whether a poll's results are published to the attendees. None is only the
// value of a record that no reply or command has set yet; it is sent as "0".
enum class PublishState : std::uint32_t {
    None = 0,
    Published = 0x10000000,
    NotPublished = 0x20000000,
};

// The server's "IsPublish": exactly "0" is NotPublished; anything else, an
// empty or missing value included, is Published.
PublishState PublishStateFromText(std::wstring_view text);
// The form field: "1" for Published, "0" for every other value.
std::wstring PublishStateFlag(PublishState state);

}  // namespace quibra
