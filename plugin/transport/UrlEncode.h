#pragma once

#include <string>
#include <string_view>

namespace quibra {

// Form encoding of one field name or value.
//
// ASCII letters and digits are copied, white space (IsFormSpace) becomes "+", and
// every other character is written as the "%XX" bytes of its UTF-8 form with
// upper-case hex digits ("-", "_", ".", "~", "*" and "+" included).
// Only the first 8192 UTF-16 code units are encoded: a character outside the
// Basic Multilingual Plane counts as two units (one wchar_t holding the code
// point, or a high + low surrogate pair) and is never cut in half; a character
// that would cross the limit is dropped with the rest. A surrogate that is not
// part of a valid pair becomes U+FFFD (%EF%BF%BD).
// Calls are serialised by one process-wide lock. Thread-safe.
std::wstring UrlEncode(std::wstring_view text);

// The white space that UrlEncode writes as "+": the characters that the wide
// white-space class of every UTF-8 locale holds (the six ASCII ones, U+1680,
// U+2000 to U+2006, U+2008 to U+200A, U+2028, U+2029, U+205F, U+3000; the
// no-break spaces are not among them). A fixed set, so that a form reads the
// same whatever the locale of the host.
bool IsFormSpace(char32_t c);

// The number of UTF-16 code units that UrlEncode encodes at most.
inline constexpr size_t kUrlEncodeUnitLimit = 8192;

}  // namespace quibra
