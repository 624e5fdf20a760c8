#include "transport/UrlEncode.h"

#include <mutex>
#include <vector>

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
        const bool alnum =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        // The six characters that iswspace reports in the ASCII range.
        const bool space = c == ' ' || (c >= '\t' && c <= '\r');
        table.value[c] = alnum ? AsciiClass::Copy : space ? AsciiClass::Space : AsciiClass::Encode;
    }
    return table;
}();

constexpr wchar_t kHex[] = L"0123456789ABCDEF";

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

bool IsFormSpace(char32_t c) {
    if (c < 128) return c == ' ' || (c >= '\t' && c <= '\r');
    return c == 0x1680 || (c >= 0x2000 && c <= 0x2006) || (c >= 0x2008 && c <= 0x200A) ||
           c == 0x2028 || c == 0x2029 || c == 0x205F || c == 0x3000;
}

std::wstring UrlEncode(std::wstring_view text) {
    std::wstring out;
    if (text.empty()) return out;

    std::lock_guard lock(g_encodingLock);
    // Scratch space for the whole process, guarded by the encoding lock, so a
    // call allocates nothing but its result. Never destroyed: a request thread
    // may still encode while the process exits.
    static std::string& utf8 = *new std::string;
    static std::vector<wchar_t>& encoded = *new std::vector<wchar_t>;
    utf8.clear();

    // Pass 1: the characters within the limit as UTF-8, every white space
    // written as ' ' (which pass 2 turns into '+').
    size_t units = 0;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if (c < 128) {
            if (units == kUrlEncodeUnitLimit) break;
            ++units;
            utf8.push_back(kAsciiClasses.value[c] == AsciiClass::Space ? ' '
                                                                       : static_cast<char>(c));
            continue;
        }
        size_t width = 1;     // UTF-16 units this character takes
        size_t consumed = 0;  // further wchar_t elements it takes
        if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
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
        if (IsFormSpace(c))
            utf8.push_back(' ');
        else
            AppendUtf8(utf8, c);  // lone surrogates and out-of-range values give U+FFFD
    }

    // Pass 2: bytes to form characters.
    encoded.resize(utf8.size() * 3);
    wchar_t* w = encoded.data();
    for (const char byte : utf8) {
        const auto b = static_cast<unsigned char>(byte);
        if (b < 128 && kAsciiClasses.value[b] == AsciiClass::Copy) {
            *w++ = static_cast<wchar_t>(b);
        } else if (b == ' ') {
            *w++ = L'+';
        } else {
            w[0] = L'%';
            w[1] = kHex[b >> 4];
            w[2] = kHex[b & 0xF];
            w += 3;
        }
    }
    out.assign(encoded.data(), static_cast<size_t>(w - encoded.data()));
    return out;
}

}  // namespace quibra
