// Form encoding end to end: the PollServer decodes any request query it is
// sent, and what the client encodes must reach it unchanged (white space as a
// plain space, at most the first 8192 UTF-16 units).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FormFields.h"
#include "transport/UrlEncode.h"
#include "xml/WideString.h"

namespace {

// What the server must decode from UrlEncode(text): the UTF-8 of the units
// within the limit, every white space a plain space.
std::string Expected(const std::wstring& text) {
    std::wstring kept;
    size_t units = 0;
    for (const wchar_t c : text) {
        const size_t width = static_cast<char32_t>(c) > 0xFFFF ? 2 : 1;
        if (units + width > quibra::kUrlEncodeUnitLimit) break;
        units += width;
        kept += quibra::IsFormSpace(static_cast<char32_t>(c)) ? L' ' : c;
    }
    return quibra::ToUtf8(kept);
}

// The server refuses text that XML cannot carry.
bool IsXmlText(const std::string& utf8) {
    for (const wchar_t c : quibra::FromUtf8(utf8))
        if ((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0xFFFE || c == 0xFFFF)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string reason;

    // Whatever arrives at the server.
    quibra::pollserver::FormFields raw;
    if (raw.Parse(bytes, reason))
        for (const char* name : {"job", "pollid", "itemcount"})
            if (const auto value = raw.Get(name)) {
                quibra::pollserver::FormFields::ParseNumber(*value, 0, INT64_MAX);
                quibra::pollserver::FormFields::CharacterCount(*value);
            }

    // What the client sends.
    const std::wstring text = quibra::FromUtf8(bytes);
    const std::string expected = Expected(text);
    const std::wstring form = L"v=" + quibra::UrlEncode(text) + L"&_rnd=1";
    quibra::pollserver::FormFields decoded;
    const bool parsed = decoded.Parse(quibra::ToUtf8(form), reason);
    if (parsed != IsXmlText(expected)) std::abort();
    if (parsed && decoded.Get("v").value_or("-") != expected) std::abort();
    return 0;
}
