#pragma once

#include <string>
#include <string_view>

// Conversions between the system's wide strings and UTF-8, in one place.
// std::wstring holds code points; a surrogate pair stored as two units is
// joined, a lone surrogate or an out-of-range value becomes U+FFFD.
namespace quibra {

std::string ToUtf8(std::wstring_view text);
// Appends the UTF-8 of one code point (U+FFFD for invalid ones).
void AppendUtf8(std::string& out, char32_t codePoint);
// Invalid byte sequences become U+FFFD.
std::wstring FromUtf8(std::string_view bytes);
// Lower case, as message paths are compared.
std::wstring ToLower(std::wstring_view text);
// The integer rule of the XML readers: "" gives -1; otherwise atoi (leading
// blanks, optional sign, digits up to the first other character; none gives 0),
// clamped to the int range.
int ParseIntRule(std::wstring_view text);
// "%d" of value as a wide string.
std::wstring ToWide(int value);

}  // namespace quibra
