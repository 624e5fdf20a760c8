#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <set>

#include "config/Folders.h"
#include "i18n/CWenMsg.h"
#include "i18n/LanguageId.h"
#include "i18n/MessageIds.h"
#include "support/TestSupport.h"
#include "xml/WideString.h"

using quibra::test::ScopedEnv;

static std::string Message(const std::string& id, const std::string& label) {
    return "\r\n\t\t<Message id=\"" + id + "\" Label=\"" + label + "\"/>\r\n";
}

// A folder to load language files from: Message elements laid out as in the shipped files,
// or raw bytes.
struct LanguageFolder : quibra::test::TempDir {
    bool Load(CWenMsg& table, std::string bytes, bool raw = false, std::string name = "f.xml") {
        const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Wendrake>\r\n\t";
        if (!raw) bytes = head + "<Language>" + bytes + "</Language>\r\n</Wendrake>\r\n";
        quibra::test::WriteFileBytes(*this / name, bytes);
        return table.Load(WPath() + L"/" + quibra::FromUtf8(name));
    }
};

TEST(CWenMsg, InitPicksTheUserLanguageAndTheTableKeepsItsRulesAcrossReloads) {
    LanguageFolder dir;
    CWenMsg table;
    EXPECT_EQ(table.GetMsg(1), L"Msg not init");
    EXPECT_FALSE(table.Init(dir.WPath())) << "no language file at all";
    for (const std::string name : {"0409", "0804", "040c", "0407"})
        dir.Load(table, Message("1", name), false, name + ".xml");
    const auto expectInit = [&](const std::wstring& folderEnd, const std::wstring& chosen) {
        EXPECT_TRUE(table.Init(dir.WPath() + folderEnd));
        EXPECT_EQ(table.GetMsg(1), chosen);
    };
    ScopedEnv all("LC_ALL", "de_DE"), messages("LC_MESSAGES", "fr_FR.UTF-8"), lang("LANG", "zh_CN");
    expectInit(L"", L"0407");
    ScopedEnv emptyAll("LC_ALL", "");
    expectInit(L"/", L"040c");  // hexadecimal digits in lower case
    ScopedEnv noMessages("LC_MESSAGES", std::nullopt);
    expectInit(L"\\", L"0804");
    ScopedEnv japanese("LANG", "ja_JP.UTF-8");
    expectInit(L"", L"0409");  // no 0411.xml

    // Direct Message children of Language, keyed by the id's text; the first label wins.
    ASSERT_TRUE(dir.Load(table, Message("1", "first") + Message("1", "second") +
                                    Message("", "none") + Message("015", "zero") +
                                    Message("2", "\\r\\n\\r\\na\\nb") + Message("6", "") +
                                    "<Other id=\"9\" Label=\"other\"/><Group>" +
                                    Message("10", "nested") + "</Group>"));
    const std::pair<int, std::wstring> cases[] = {{1, L"first"},  {2, L"\r\n\r\na\\nb"},
                                                  {6, L""},       {15, L"Msg(15)"},
                                                  {9, L"Msg(9)"}, {10, L"Msg(10)"}};
    for (const auto& [id, text] : cases) EXPECT_EQ(table.GetMsg(id), text) << id;

    for (const std::string bad : {"<Wendrake/>", "<Wendrake><Language>",
                                  "<Other><Language><Message id=\"1\"/></Language></Other>"}) {
        ASSERT_TRUE(dir.Load(table, Message("1", "one")));
        EXPECT_FALSE(dir.Load(table, bad, true)) << bad;
        EXPECT_FALSE(table.IsLoaded()) << bad;
        EXPECT_EQ(table.GetMsg(1), L"Msg not init") << bad;
    }
    ASSERT_TRUE(dir.Load(table, Message("2", "two")));
    EXPECT_EQ(table.GetMsg(1), L"Msg(1)") << "entries of the previous file are gone";

    // Lookups during reloads see whole tables: a reload empties and refills under the lock.
    std::atomic<bool> stop{false};
    auto reader = std::async(std::launch::async, [&] {
        int unexpected = 0;
        for (std::wstring text = L"two"; !stop; text = table.GetMsg(2))
            unexpected += text != L"two" && text != L"zwei";
        return unexpected;
    });
    for (int round = 0; round < 200; ++round)
        dir.Load(table, Message("2", round % 2 == 0 ? "zwei" : "two"));
    stop = true;
    EXPECT_EQ(reader.get(), 0);
}

TEST(LanguageFiles, ShippedFilesHoldEveryIdTheCodeAsksForOnce) {
    using namespace quibra::msg;
    std::set<int> ids(kAllMessageIds.begin(), kAllMessageIds.end());
    ids.insert(kShippedSkinMessageIds.begin(), kShippedSkinMessageIds.end());
    ids.insert(kServerDownMessageIds.begin(), kServerDownMessageIds.end());
    EXPECT_EQ(ids.size(), kAllMessageIds.size() + kShippedSkinMessageIds.size() +
                              kServerDownMessageIds.size())
        << "named twice";
    for (const wchar_t* name : {L"/0409.xml", L"/0804.xml"}) {
        CWenMsg table;
        ASSERT_TRUE(table.Load(quibra::GetLangFolder() + name));
        for (int id : ids) {
            const std::wstring text = table.GetMsg(id);
            EXPECT_NE(text, L"Msg(" + quibra::ToWide(id) + L")") << id;
            EXPECT_FALSE(text.empty() || text.find(L'\\') != std::wstring::npos) << id << text;
        }
    }
}

TEST(LanguageId, LocaleNamesMapToWindowsLanguageIds) {
    // clang-format off
    const std::pair<const char*, uint16_t> cases[] = {
        {"en_US.UTF-8", 0x0409}, {"en_GB.UTF-8", 0x0809}, {"zh_CN.UTF-8", 0x0804}, {"zh_TW.Big5", 0x0404},
        {"zh_HK", 0x0c04}, {"de_DE", 0x0407}, {"de_AT@euro", 0x0c07}, {"de_CH", 0x0807}, {"de_LI", 0x1407},
        {"fr_FR", 0x040c}, {"fr_CA", 0x0c0c}, {"es_ES", 0x0c0a}, {"es_MX", 0x080a}, {"it_IT", 0x0410},
        {"ja_JP.eucJP", 0x0411}, {"ko_KR", 0x0412}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"el_GR", 0x0408},
        {"ru_RU.KOI8-R", 0x0419}, {"et_EE", 0x0425}, {"hi_IN", 0x0439},
        // Language only, or a territory not listed: the language's primary id; spelling variants.
        {"de", 0x0407}, {"zh", 0x0804}, {"fr_SN", 0x040c}, {"en_ZW.UTF-8", 0x0409}, {"ZH_cn", 0x0804},
        {"en-GB", 0x0809}, {"en_nz", 0x1409},
        // No language of ours.
        {"C", 0x0409}, {"POSIX", 0x0409}, {"C.UTF-8", 0x0409}, {"xx_YY", 0x0409}, {"", 0x0409}, {".UTF-8", 0x0409},
    };
    // clang-format on
    for (const auto& [locale, langId] : cases)
        EXPECT_EQ(quibra::LangIdFromLocaleName(locale), langId) << locale;
}
