#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "transport/UrlEncode.h"

namespace quibra {
namespace {

constexpr wchar_t kEmoji = static_cast<wchar_t>(0x1F600);  // one code point, two UTF-16 units
const std::wstring kEmojiPair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
const std::wstring kEmojiEncoded = L"%F0%9F%98%80";
const std::wstring kReplacement = L"%EF%BF%BD";

TEST(UrlEncode, EscapesAllButAlphanumericsAndSpacesAndJoinsSurrogatePairs) {
    const wchar_t high = static_cast<wchar_t>(0xD83D), low = static_cast<wchar_t>(0xDE00);
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"", L""},
        {L"a b", L"a+b"},
        {L"x-y_z.~", L"x%2Dy%5Fz%2E%7E"},
        {L"*+&=%/", L"%2A%2B%26%3D%25%2F"},
        {L"AZaz09", L"AZaz09"},
        {L"line\r\nbreak\ttab\v\f", L"line++break+tab++"},
        {std::wstring(1, L'\0') + L"\x7F", L"%00%7F"},
        {L"\u00E9", L"%C3%A9"},
        {L"\u4E2D\u6587", L"%E4%B8%AD%E6%96%87"},
        // Outside the basic plane: one code point or a UTF-16 pair, encoded whole.
        {std::wstring(1, kEmoji), kEmojiEncoded},
        {L"a" + kEmojiPair + L"b" + std::wstring(1, kEmoji),
         L"a" + kEmojiEncoded + L"b" + kEmojiEncoded},
        // The first pair of all: U+10000.
        {std::wstring{static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDC00)}, L"%F0%90%80%80"},
        // Lone halves, and halves in the wrong order, are not joined.
        {std::wstring(1, high) + L"a", kReplacement + L"a"},
        {std::wstring(1, low), kReplacement},
        {std::wstring{low, high}, kReplacement + kReplacement},
        {std::wstring(2, high), kReplacement + kReplacement},
        // Values that are no code point at all.
        {std::wstring(1, static_cast<wchar_t>(0x110000)), kReplacement},
        {std::wstring(1, static_cast<wchar_t>(-1)), kReplacement}};
    for (const auto& [text, encoded] : cases)
        EXPECT_EQ(UrlEncode(text), encoded) << ::testing::PrintToString(text);

    // Outside ASCII a fixed set of spaces, whatever the locale; no-break spaces are not among
    // them.
    for (const auto& [space, encoded] :
         std::vector<std::pair<wchar_t, std::wstring>>{{L'\u3000', L"+"},
                                                       {L'\u2003', L"+"},
                                                       {L'\u00A0', L"%C2%A0"},
                                                       {L'\u2007', L"%E2%80%87"}})
        EXPECT_EQ(UrlEncode(std::wstring(1, space)), encoded) << static_cast<int>(space);
}

TEST(UrlEncode, KeepsTheFirst8192UnitsAndNeverSplitsACharacter) {
    EXPECT_EQ(UrlEncode(std::wstring(9000, L'a')), std::wstring(8192, L'a'));
    EXPECT_EQ(UrlEncode(std::wstring(8192, L' ')), std::wstring(8192, L'+'));

    const std::wstring a8190(8190, L'a'), a8191(8191, L'a');
    // Two units fit exactly, or the character goes with the rest.
    EXPECT_EQ(UrlEncode(a8190 + std::wstring(1, kEmoji) + L"z"), a8190 + kEmojiEncoded);
    EXPECT_EQ(UrlEncode(a8191 + std::wstring(1, kEmoji)), a8191);
    EXPECT_EQ(UrlEncode(a8190 + kEmojiPair + L"z"), a8190 + kEmojiEncoded);
    EXPECT_EQ(UrlEncode(a8191 + kEmojiPair), a8191);
    // A lone surrogate is one unit.
    EXPECT_EQ(UrlEncode(a8191 + std::wstring(1, static_cast<wchar_t>(0xD83D)) + L"z"),
              a8191 + kReplacement);

    // 4096 emoji fill the limit; whatever follows is dropped.
    std::wstring emoji(4096, kEmoji);
    std::wstring expected;
    for (int i = 0; i < 4096; ++i) expected += kEmojiEncoded;
    EXPECT_EQ(UrlEncode(emoji + L"b"), expected);
    std::wstring pairs;
    for (int i = 0; i < 4096; ++i) pairs += kEmojiPair;
    EXPECT_EQ(UrlEncode(pairs + L"b"), expected);
    EXPECT_EQ(UrlEncode(L"a" + pairs),
              L"a" + expected.substr(0, expected.size() - kEmojiEncoded.size()));
}

TEST(UrlEncode, GivesTheSameResultFromConcurrentCallers) {
    std::wstring text = L"Caf\u00E9 \u4E2D\u6587 ";
    text += kEmojiPair;
    text += std::wstring(1, kEmoji);
    for (int i = 0; i < 9; ++i) text += text;  // past the limit
    const std::wstring expected = UrlEncode(text);
    ASSERT_FALSE(expected.empty());
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i)
                if (UrlEncode(text) != expected) ++mismatches[t];
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace quibra
