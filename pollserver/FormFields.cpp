#include "FormFields.h"

namespace quibra::pollserver {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The cache breaker the plug-in appends to every request; it means nothing here
// and may legitimately repeat when a proxy appends its own.
constexpr std::string_view kCacheBreaker = "_rnd";

}  // namespace

bool FormFields::Parse(std::string_view form, std::string& reason) {
    m_fields.clear();
    while (!form.empty()) {
        const auto amp = form.find('&');
        const std::string_view pair = form.substr(0, amp);
        form = amp == std::string_view::npos ? std::string_view() : form.substr(amp + 1);
        if (pair.empty()) continue;
        const auto eq = pair.find('=');
        std::string name;
        std::string value;
        if (!Decode(pair.substr(0, eq), name) ||
            (eq != std::string_view::npos && !Decode(pair.substr(eq + 1), value))) {
            reason = "malformed form encoding";
            return false;
        }
        if (name == kCacheBreaker) continue;
        if (!IsXmlText(name) || !IsXmlText(value)) {
            reason = "field " + (IsXmlText(name) ? name : std::string("name")) +
                     " is not valid UTF-8 text";
            return false;
        }
        if (!m_fields.emplace(name, std::move(value)).second) {
            reason = "field " + name + " sent twice";
            return false;
        }
    }
    return true;
}

std::optional<std::string> FormFields::Get(const std::string& name) const {
    const auto found = m_fields.find(name);
    if (found == m_fields.end()) return std::nullopt;
    return found->second;
}

bool FormFields::Decode(std::string_view encoded, std::string& decoded) {
    decoded.clear();
    decoded.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '+') {
            decoded.push_back(' ');
        } else if (c == '%') {
            if (i + 2 >= encoded.size()) return false;
            const int high = HexValue(encoded[i + 1]);
            const int low = HexValue(encoded[i + 2]);
            if (high < 0 || low < 0) return false;
            decoded.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            decoded.push_back(c);
        }
    }
    return true;
}

bool FormFields::IsXmlText(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
            ++i;
            continue;
        }
        std::size_t length;
        char32_t code;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + length > n) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms, surrogates, beyond U+10FFFF, and the two non-characters
        // XML 1.0 excludes.
        if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF)
            return false;
        i += length;
    }
    return true;
}

std::size_t FormFields::CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

std::optional<std::int64_t> FormFields::ParseNumber(std::string_view text, std::int64_t min,
                                                    std::int64_t max) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < min || value > max) return std::nullopt;
    return value;
}

}  // namespace quibra::pollserver
