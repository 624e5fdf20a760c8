#include <gtest/gtest.h>

#include "i18n/LanguageId.h"
#include "support/TestSupport.h"

using quibra::test::ScopedEnv;

TEST(LanguageId, LocaleNamesMapToWindowsLanguageIds) {
    struct Case {
        const char* locale;
        uint16_t langId;
    };
    // clang-format off
    const Case cases[] = {
        {"en_US.UTF-8", 0x0409}, {"en_GB.UTF-8", 0x0809}, {"zh_CN.UTF-8", 0x0804}, {"zh_TW.Big5", 0x0404},
        {"zh_HK", 0x0c04}, {"de_DE", 0x0407}, {"de_AT@euro", 0x0c07}, {"fr_FR", 0x040c}, {"fr_CA", 0x0c0c},
        {"es_ES", 0x0c0a}, {"es_MX", 0x080a}, {"it_IT", 0x0410}, {"ja_JP.eucJP", 0x0411}, {"ko_KR", 0x0412},
        {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"ru_RU.KOI8-R", 0x0419},
        // Language only, or a territory not listed: the language's primary id.
        {"de", 0x0407}, {"zh", 0x0804}, {"fr_SN", 0x040c}, {"en_ZW.UTF-8", 0x0409},
        // Spelling variants.
        {"ZH_cn", 0x0804}, {"en-GB", 0x0809},
        // No language of ours.
        {"C", 0x0409}, {"POSIX", 0x0409}, {"C.UTF-8", 0x0409}, {"xx_YY", 0x0409}, {"", 0x0409}, {".UTF-8", 0x0409},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(quibra::LangIdFromLocaleName(c.locale), c.langId) << c.locale;
}

TEST(LanguageId, FirstNonEmptyLocaleVariableDecides) {
    ScopedEnv all("LC_ALL", "de_DE.UTF-8");
    ScopedEnv messages("LC_MESSAGES", "fr_FR.UTF-8");
    ScopedEnv lang("LANG", "ja_JP.UTF-8");
    EXPECT_EQ(quibra::GetUserDefaultLangID(), 0x0407);
    {
        ScopedEnv emptyAll("LC_ALL", "");
        EXPECT_EQ(quibra::GetUserDefaultLangID(), 0x040c);
        ScopedEnv noMessages("LC_MESSAGES", std::nullopt);
        EXPECT_EQ(quibra::GetUserDefaultLangID(), 0x0411);
        ScopedEnv noLang("LANG", std::nullopt);
        EXPECT_EQ(quibra::GetUserDefaultLangID(), 0x0409);
    }
}
