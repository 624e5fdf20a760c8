#pragma once

#include <cstdint>
#include <string_view>

// The user's language as a Windows language id, which names the language file
// ("%04x.xml").
namespace quibra {

inline constexpr uint16_t kDefaultLangId = 0x0409;  // US English, the fallback file

// The language id of a POSIX locale name such as "zh_CN.UTF-8" or "de_AT@euro":
// language and territory first, then the language alone; C, POSIX and unknown
// names give kDefaultLangId.
uint16_t LangIdFromLocaleName(std::string_view locale);
// The id of the first non-empty of LC_ALL, LC_MESSAGES and LANG.
uint16_t GetUserDefaultLangID();

}  // namespace quibra
