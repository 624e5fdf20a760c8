#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "i18n/CWenMsg.h"
#include "support/TestSupport.h"

using quibra::test::ScopedEnv;
using quibra::test::TempDir;
using quibra::test::WriteFileBytes;

namespace {

std::string LanguageFile(const std::string& messages) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Wendrake>\r\n\t<Language>" + messages +
           "</Language>\r\n</Wendrake>\r\n";
}

std::string Message(const std::string& id, const std::string& label) {
    return "\r\n\t\t<Message id=\"" + id + "\" Label=\"" + label + "\"/>\r\n";
}

// The user's language through the locale variables, in their order of precedence.
class ScopedLocale {
public:
    explicit ScopedLocale(const std::string& lang)
        : m_all("LC_ALL", std::nullopt),
          m_messages("LC_MESSAGES", std::nullopt),
          m_lang("LANG", lang) {}

private:
    ScopedEnv m_all;
    ScopedEnv m_messages;
    ScopedEnv m_lang;
};

}  // namespace

TEST(CWenMsg, InitPicksTheUserLanguageThenUsEnglish) {
    ScopedLocale chinese("zh_CN.UTF-8");
    TempDir dir;
    CWenMsg none;
    EXPECT_FALSE(none.Init(dir.WPath())) << "no language file at all";
    EXPECT_FALSE(none.IsLoaded());
    EXPECT_EQ(none.GetMsg(15025), L"Msg not init");

    WriteFileBytes(dir / "0409.xml", LanguageFile(Message("15025", "english")));
    CWenMsg english;
    EXPECT_TRUE(english.Init(dir.WPath()));
    EXPECT_EQ(english.GetMsg(15025), L"english") << "fallback when 0804.xml is missing";

    WriteFileBytes(dir / "0804.xml", LanguageFile(Message("15025", "chinese")));
    for (const std::wstring& folder : {dir.WPath(), dir.WPath() + L"/", dir.WPath() + L"\\"}) {
        CWenMsg table;
        EXPECT_TRUE(table.Init(folder));
        EXPECT_EQ(table.GetMsg(15025), L"chinese");
    }
    // Hexadecimal digits of the file name are lower case: 0x040c is 040c.xml.
    ScopedLocale french("fr_FR.UTF-8");
    WriteFileBytes(dir / "040c.xml", LanguageFile(Message("15025", "french")));
    CWenMsg table;
    table.Init(dir.WPath());
    EXPECT_EQ(table.GetMsg(15025), L"french");
}

TEST(CWenMsg, TableRulesForIdsLabelsAndNesting) {
    TempDir dir;
    WriteFileBytes(
        dir / "t.xml",
        LanguageFile(Message("1", "first") + Message("1", "second") + Message("2", "two") +
                     Message("", "no id") + "<Message Label=\"no id either\"/>" +
                     Message("015025", "leading zero") + Message(" 7", "blank") +
                     Message("3", "Line one\\r\\nLine two") + Message("4", "real&#13;&#10;break") +
                     Message("5", "a\\nb \\r\\n\\r\\n end") + Message("6", "") +
                     Message("12", "\\r\\n\\r\\n\\r\\nx") + "<Message id=\"8\"/>" +
                     "<Other id=\"9\" Label=\"other\"/>" +
                     "<Group><Message id=\"10\" Label=\"nested\"/></Group>" +
                     "<!-- <Message id=\"11\" Label=\"comment\"/> -->"));
    CWenMsg table;
    ASSERT_TRUE(table.Load(dir.WPath() + L"/t.xml"));
    ASSERT_TRUE(table.IsLoaded());
    EXPECT_EQ(table.GetMsg(1), L"first");
    EXPECT_EQ(table.GetMsg(2), L"two");
    EXPECT_EQ(table.GetMsg(15025), L"Msg(15025)")
        << "the key formed from 15025 has no leading zero";
    EXPECT_EQ(table.GetMsg(7), L"Msg(7)");
    EXPECT_EQ(table.GetMsg(3), L"Line one\r\nLine two");
    EXPECT_EQ(table.GetMsg(4), L"real\r\nbreak");
    EXPECT_EQ(table.GetMsg(5), L"a\\nb \r\n\r\n end");
    EXPECT_EQ(table.GetMsg(12), L"\r\n\r\n\r\nx");
    EXPECT_EQ(table.GetMsg(6), L"") << "an empty label is kept";
    EXPECT_EQ(table.GetMsg(8), L"") << "a missing label is kept";
    EXPECT_EQ(table.GetMsg(9), L"Msg(9)");
    EXPECT_EQ(table.GetMsg(10), L"Msg(10)") << "only direct children of Language";
    EXPECT_EQ(table.GetMsg(11), L"Msg(11)");
    EXPECT_EQ(table.GetMsg(-5), L"Msg(-5)");
}

TEST(CWenMsg, FailedLoadsKeepTheTableButMarkItNotLoaded) {
    TempDir dir;
    WriteFileBytes(dir / "good.xml", LanguageFile(Message("1", "one")));
    WriteFileBytes(dir / "other.xml", LanguageFile(Message("2", "two")));
    WriteFileBytes(dir / "onlyempty.xml", LanguageFile(Message("", "nothing")));
    WriteFileBytes(dir / "nolanguage.xml", "<Wendrake><Messages/></Wendrake>");
    WriteFileBytes(dir / "wrongroot.xml",
                   "<Other><Language>" + Message("1", "x") + "</Language></Other>");
    WriteFileBytes(dir / "broken.xml", "<Wendrake><Language>");
    const std::wstring d = dir.WPath() + L"/";

    CWenMsg table;
    EXPECT_EQ(table.GetMsg(1), L"Msg not init") << "before any load";
    for (const wchar_t* bad :
         {L"missing.xml", L"nolanguage.xml", L"wrongroot.xml", L"broken.xml"}) {
        ASSERT_TRUE(table.Load(d + L"good.xml"));
        EXPECT_FALSE(table.Load(d + bad)) << bad;
        EXPECT_FALSE(table.IsLoaded()) << bad;
        EXPECT_EQ(table.GetMsg(1), L"Msg not init") << bad;
    }
    // A file read in full replaces the table, even when nothing in it counts.
    ASSERT_TRUE(table.Load(d + L"good.xml"));
    EXPECT_TRUE(table.Load(d + L"onlyempty.xml"));
    EXPECT_FALSE(table.IsLoaded());
    ASSERT_TRUE(table.Load(d + L"other.xml"));
    EXPECT_EQ(table.GetMsg(1), L"Msg(1)") << "entries of the previous file are gone";
    EXPECT_EQ(table.GetMsg(2), L"two");
}

TEST(CWenMsg, LookupsDuringReloadsSeeWholeTables) {
    TempDir dir;
    WriteFileBytes(dir / "a.xml", LanguageFile(Message("1", "alpha")));
    WriteFileBytes(dir / "b.xml", LanguageFile(Message("1", "beta")));
    CWenMsg table;
    ASSERT_TRUE(table.Load(dir.WPath() + L"/a.xml"));
    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 2; ++i)
        readers.emplace_back([&] {
            while (!stop) {
                std::wstring text = table.GetMsg(1);
                // A reload empties and refills the table under the lock: never seen half-done.
                if (text != L"alpha" && text != L"beta") ++unexpected;
            }
        });
    for (int round = 0; round < 200; ++round)
        table.Load(dir.WPath() + (round % 2 == 0 ? L"/b.xml" : L"/a.xml"));
    stop = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(unexpected.load(), 0);
}
