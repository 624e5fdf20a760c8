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
// Protocol and file data (message paths, header and script keywords, numbers)
// never go through the C library's locale: a host may run under any locale,
// and under a Turkish one towlower('I') is a dotless i. These helpers fold and
// format by ASCII rules alone.

// A-Z become a-z; every other character is kept.
constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}
std::wstring AsciiLower(std::wstring_view text);
// The six ASCII white-space characters: space, TAB, LF, VT, FF, CR.
constexpr bool IsAsciiSpace(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}
// The integer rule of the XML readers: "" gives -1; otherwise atoi (leading
// ASCII blanks, optional sign, digits up to the first other character; none
// gives 0), clamped to the int range.
int ParseIntRule(std::wstring_view text);
// "%d" of value as a wide string.
std::wstring ToWide(long long value);
// `value` in hexadecimal with at least `width` digits (leading zeros).
std::wstring ToHexWide(unsigned long long value, int width, bool upperCase);

}  // namespace quibra
