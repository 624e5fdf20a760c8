#include "transport/UrlEncode.h"

#include <cwctype>
#include <mutex>

#include "xml/WideString.h"

namespace quibra {

namespace {

// Held for the whole of each call, as every form value of the process is
// encoded through here.
std::mutex g_encodingLock;

enum class AsciiClass : unsigned char { Encode, Copy, Space };

constexpr auto kAsciiClasses = [] {
    struct Table {
        AsciiClass value[128] = {};
    } table;
    for (int c = 0; c < 128; ++c) {
        const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        // The six characters that iswspace reports in the ASCII range.
        const bool space = c == ' ' || (c >= '\t' && c <= '\r');
        table.value[c] = alnum ? AsciiClass::Copy : space ? AsciiClass::Space : AsciiClass::Encode;
    }
    return table;
}();

constexpr wchar_t kHex[] = L"0123456789ABCDEF";

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Outside ASCII, white space is found only at these code points in any
// locale; iswspace has the last word among them. Keeps the locale lookup off
// the path of ordinary letters.
bool MayBeSpace(char32_t c) {
    return c == 0x85 || c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200B) ||
           c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

}  // namespace

std::wstring UrlEncode(std::wstring_view text) {
    std::wstring out;
    if (text.empty()) return out;

    std::lock_guard lock(g_encodingLock);
    // Mostly-ASCII values need little more than their own length; the rest
    // grows geometrically.
    out.reserve(text.size() < kUrlEncodeUnitLimit ? text.size() * 3 : kUrlEncodeUnitLimit * 3);
    std::string utf8;  // reused for each character; fits the small-string buffer
    size_t units = 0;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if (c < 128) {
            if (units + 1 > kUrlEncodeUnitLimit) break;
            ++units;
            switch (kAsciiClasses.value[c]) {
                case AsciiClass::Copy:
                    out.push_back(static_cast<wchar_t>(c));
                    break;
                case AsciiClass::Space:
                    out.push_back(L'+');
                    break;
                case AsciiClass::Encode:
                    out.push_back(L'%');
                    out.push_back(kHex[c >> 4]);
                    out.push_back(kHex[c & 0xF]);
                    break;
            }
            continue;
        }

        size_t width = 1;  // UTF-16 units this character takes
        size_t consumed = 0;  // further wchar_t elements it takes
        if (IsHighSurrogate(c) && i + 1 < n &&
            IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            width = 2;
            consumed = 1;
        } else if (c > 0xFFFF && c <= 0x10FFFF) {
            width = 2;
        }
        // A character that would cross the limit is not cut in half: it goes
        // with the rest of the text.
        if (units + width > kUrlEncodeUnitLimit) break;
        units += width;
        i += consumed;

        if (MayBeSpace(c) && std::iswspace(static_cast<wint_t>(c))) {
            out.push_back(L'+');
            continue;
        }
        utf8.clear();
        AppendUtf8(utf8, c);  // lone surrogates and out-of-range values give U+FFFD
        for (const char byte : utf8) {
            const auto b = static_cast<unsigned char>(byte);
            const wchar_t escaped[3] = {L'%', kHex[b >> 4], kHex[b & 0xF]};
            out.append(escaped, 3);
        }
    }
    return out;
}

}  // namespace quibra
