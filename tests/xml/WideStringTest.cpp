#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "xml/WideString.h"

using quibra::FromUtf8;
using quibra::ToUtf8;

static const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

TEST(WideString, Utf8ConversionsAtEveryBoundary) {
    using Case = std::pair<std::wstring, std::string>;
    const Case both[] = {{L"", ""},
                         {L"id=7", "id=7"},
                         {L"\x7F\x80", "\x7F\xC2\x80"},
                         {L"a\u07FF\u0800", "a\xDF\xBF\xE0\xA0\x80"},
                         {L"\uD7FF\uE000\uFFFD", "\xED\x9F\xBF\xEE\x80\x80" + kBad},
                         {L"\uFFFF\U00010000", "\xEF\xBF\xBF\xF0\x90\x80\x80"},
                         {L"\U0010FFFF", "\xF4\x8F\xBF\xBF"}};
    for (const auto& [wide, utf8] : both) {
        EXPECT_EQ(ToUtf8(wide), utf8);
        EXPECT_EQ(FromUtf8(utf8), wide) << utf8;
    }

    // Surrogate pairs held as two units are joined; anything else unpaired is U+FFFD.
    const Case toUtf8[] = {{{0xD800, 0xDC00}, "\xF0\x90\x80\x80"},
                           {{L'x', 0xD801, 0xDC01}, "x\xF0\x90\x90\x81"},
                           {{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
                           {{0xD7FF, 0xDC00}, "\xED\x9F\xBF" + kBad},
                           {{0xD800, 0xE000}, kBad + "\xEE\x80\x80"},
                           {{0xDC00, 0xD800}, kBad + kBad},
                           {{L'x', 0xDBFF}, "x" + kBad},
                           {{static_cast<wchar_t>(0x110000)}, kBad}};
    for (const auto& [wide, utf8] : toUtf8) EXPECT_EQ(ToUtf8(wide), utf8) << utf8;
    const std::wstring pair = {L'x', 0xD800, 0xDC00};  // a view ending inside a pair ends there
    EXPECT_EQ(ToUtf8(std::wstring_view(pair).substr(0, 2)), "x" + kBad);

    // Broken, overlong and out-of-range sequences become one U+FFFD each, and
    // reading goes on at the byte that broke the sequence.
    const Case fromUtf8[] = {{L"a\uFFFD!", "a\x80!"},         {L"\uFFFD\uFFFD", "\xF8\xFF"},
                             {L"\uFFFDZ", "\xC3Z"},           {L"\uFFFD", "\xE4\xBD"},
                             {L"\uFFFD", "\xC1\xBF"},         {L"\uFFFD", "\xE0\x9F\xBF"},
                             {L"\uFFFD", "\xF0\x8F\xBF\xBF"}, {L"\uFFFD", "\xED\xA0\x80"},
                             {L"\uFFFD", "\xF4\x90\x80\x80"}};
    for (const auto& [wide, utf8] : fromUtf8) EXPECT_EQ(FromUtf8(utf8), wide) << utf8;
}

TEST(WideString, CaseAndHexadecimalByAsciiRulesAlone) {
    // Under a Turkish locale towlower('I') is a dotless i; these never ask the locale.
    EXPECT_EQ(quibra::AsciiLower(L"AZaz@[I\u0130\u00C9"), L"azaz@[i\u0130\u00C9");
    EXPECT_EQ(quibra::AsciiLower('A'), 'a');
    EXPECT_EQ(quibra::ToHexWide(0x40c, 4, false), L"040c");
}
