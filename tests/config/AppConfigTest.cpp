#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "config/AppConfig.h"
#include "config/Folders.h"
#include "support/TestSupport.h"

static const std::wstring kSystem = AppConfig::kSystemSettingPath;

// A configuration file laid out as the plug-in writes it, with `settings` under SystemSetting.
static std::string ConfigXml(const std::string& settings) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Wendrake>\r\n\t<WenConfig>\r\n\t\t"
           "<SystemSetting>" +
           settings + "</SystemSetting>\r\n\t</WenConfig>\r\n</Wendrake>\r\n";
}

static void WriteConfig(const quibra::test::ScopedUser& user, const std::string& bytes) {
    std::filesystem::create_directories(user.ConfigRoot() / "wendrake");
    quibra::test::WriteFileBytes(user.ConfigRoot() / "wendrake" / "wenconfig.xml", bytes);
}

TEST(CXmlSettingsFile, OpenNeedsAFolderAndEitherTrailingSeparatorStandsForOne) {
    CXmlSettingsFile file(L"x.xml");
    EXPECT_FALSE(file.Open()) << "no folder yet";
    file.SetFolder(L"C:\\a\\");
    EXPECT_EQ(file.GetFullPath(), L"C:\\a\\x.xml");  // "/" and none: the skin folders below
}

TEST(AppConfig, SettingsAreReadUnderSystemSettingAndDefaultWhenAbsent) {
    // The file, then UseSSL() (false only for a value of 0) and the value by the integer rule.
    const std::tuple<std::optional<std::string>, bool, int> cases[] = {
        {std::nullopt, true, -1},
        {ConfigXml("<UseSSL value=\"0\"/>"), false, 0},
        {ConfigXml("<UseSSL value=\"2\"/>"), true, 2},
        {ConfigXml("<UseSSL value=\"\"/>"), true, -1},
        {ConfigXml("<UseSSL value=\"off\"/>"), false, 0},  // no digits: 0
        {ConfigXml(""), true, -1},
        {"<Wendrake><WenConfig><UseSSL value=\"0\"/><SystemSetting/></WenConfig></Wendrake>", true,
         -1},
        // Deeper nesting still matches the descendant steps.
        {"<Wendrake><Profile><WenConfig><Group><SystemSetting><UseSSL value=\"0\"/>"
         "</SystemSetting></Group></WenConfig></Profile></Wendrake>",
         false, 0},
    };
    for (const auto& [file, useSsl, value] : cases) {
        SCOPED_TRACE(file.value_or("(no file)"));
        quibra::test::ScopedUser user;
        if (file) WriteConfig(user, *file);
        AppConfig config;
        EXPECT_FALSE(config.Load()) << "no file, or no layout in the unnamed skin's folder";
        EXPECT_EQ(config.SkinLayout().GetFullPath(),
                  file ? quibra::GetDataFolder() + L"/skin/DialogSkinConfig.xml" : L"");
        EXPECT_EQ(config.UseSSL(), useSsl);
        EXPECT_EQ(config.GetSettingInt(kSystem, L"UseSSL", L"value"), value);
    }
}

TEST(AppConfig, LoadedFilesLastUntilClosedAndTheConfigurationSavesBack) {
    quibra::test::ScopedUser user;
    WriteConfig(user, "<Wendrake><Half>");
    AppConfig config;
    config.SetSkinLayout(nullptr);  // ignored
    EXPECT_FALSE(config.Load()) << "malformed";
    EXPECT_FALSE(config.ConfigFile().Save()) << "nothing loaded to save";
    WriteConfig(user, ConfigXml("<SkinName value=\"default\"/><UseSSL value=\"0\"/>"));
    ASSERT_TRUE(config.Load()) << "tried again; the shipped skin lies beside the executable";
    EXPECT_EQ(config.GetSetting(L"//[", L"UseSSL", L"value"), L"") << "a rejected expression";
    EXPECT_EQ(config.GetSettingInt(L"//[", L"UseSSL", L"value"), -1);
    EXPECT_FALSE(config.UseSSL());

    // A second load opens the layout again but keeps the document as read; the HTTPS
    // answer is kept while the file stays open, even past an edit in memory.
    WriteConfig(user, ConfigXml("<SkinName value=\"second\"/>"));
    config.SkinLayout().Close();
    EXPECT_TRUE(config.Load());
    EXPECT_EQ(config.GetSkinName(), L"default");
    config.ConfigFile().GetRoot().SelectSingleNode(kSystem).SetText(L"");
    EXPECT_FALSE(config.UseSSL());

    config.CloseAll();
    EXPECT_FALSE(config.ConfigFile().IsLoaded() || config.SkinLayout().IsLoaded());
    EXPECT_TRUE(config.UseSSL()) << "closed files read as absent";
    EXPECT_FALSE(config.Load()) << "no skin named second";
    config.ConfigFile().GetRoot().SelectSingleNode(kSystem).AddChild(L"UseSSL").AddAttribute(
        L"value", L"0");
    ASSERT_TRUE(config.ConfigFile().Save());
    EXPECT_FALSE(config.SkinLayout().Save()) << "the layout is read-only";
    config.CloseAll();
    config.Load();
    EXPECT_FALSE(config.UseSSL()) << "read back from the saved file";
}
