#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quibra::pollserver {

// The decoded fields of one form-encoded request ("a=1&b=x+y&c=%E4%B8%AD").
// "+" stands for a space, %XX for one byte; every name and value must decode
// to UTF-8 text that XML can carry (no control characters but TAB, LF, CR).
class FormFields {
public:
    // False (with a short reason) for a malformed escape, bad UTF-8, a
    // character XML cannot carry, or a field given twice.
    bool Parse(std::string_view form, std::string& reason);

    bool Has(const std::string& name) const { return m_fields.count(name) != 0; }
    // The value, or nullopt when the field was not sent.
    std::optional<std::string> Get(const std::string& name) const;

    // Number of Unicode characters of valid UTF-8 text.
    static std::size_t CharacterCount(std::string_view text);
    // Strict decimal: digits only, no sign, no blanks, fits the range.
    static std::optional<std::int64_t> ParseNumber(std::string_view text, std::int64_t min,
                                                   std::int64_t max);

private:
    static bool Decode(std::string_view encoded, std::string& decoded);
    static bool IsXmlText(std::string_view text);

    std::unordered_map<std::string, std::string> m_fields;
};

}  // namespace quibra::pollserver
