#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <utility>

#include "config/AppConfig.h"
#include "config/Folders.h"
#include "support/TestSupport.h"
#include "xml/WideString.h"

using quibra::test::WriteFileBytes;

namespace {

std::string ConfigXml(const std::string& systemSetting) {
    return "<?xml version=\"1.0\" "
           "encoding=\"UTF-8\"?>\r\n<Wendrake>\r\n\t<WenConfig>\r\n\t\t<SystemSetting>" +
           systemSetting + "</SystemSetting>\r\n\t</WenConfig>\r\n</Wendrake>\r\n";
}

// A user whose settings root is a fresh temporary folder.
class ConfigUser : public quibra::test::ScopedUser {
public:
    ConfigUser() { std::filesystem::create_directories(Folder()); }
    std::filesystem::path Folder() const { return ConfigRoot() / "wendrake"; }
    void WriteConfig(const std::string& bytes) const {
        WriteFileBytes(Folder() / "wenconfig.xml", bytes);
    }
};

// A skin folder beside the test executable, removed afterwards.
class ScopedSkin {
public:
    explicit ScopedSkin(const std::string& name)
        : m_path(std::filesystem::path(quibra::ToUtf8(quibra::GetExeFolder())) / "skin" / name) {
        std::filesystem::create_directories(m_path);
        WriteFileBytes(m_path / "DialogSkinConfig.xml", "<Wendrake><windowposition/></Wendrake>");
    }
    ~ScopedSkin() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
        std::filesystem::remove(m_path.parent_path(), ec);  // only when no other skin is there
    }

private:
    std::filesystem::path m_path;
};

// Stands in for the UI's skin layout, which reads its sections on every open.
class CountingLayout : public CXmlSettingsFile {
public:
    explicit CountingLayout(int* opens)
        : CXmlSettingsFile(AppConfig::kSkinLayoutFileName), m_opens(opens) {}
    bool Open() override {
        ++*m_opens;
        return CXmlSettingsFile::Open();
    }

private:
    int* m_opens;
};

}  // namespace

TEST(AppConfig, WithoutAConfigurationFileEverySettingReadsAsAbsent) {
    ConfigUser user;
    AppConfig config;
    EXPECT_TRUE(config.UseSSL()) << "before any load";
    EXPECT_FALSE(config.Load());
    EXPECT_FALSE(config.ConfigFile().IsLoaded());
    EXPECT_FALSE(config.SkinLayout().IsLoaded());
    EXPECT_TRUE(config.SkinLayout().GetFolder().empty())
        << "layout untouched when the config fails";
    EXPECT_TRUE(config.UseSSL());
    EXPECT_EQ(config.GetSkinName(), L"");
    EXPECT_EQ(config.GetSetting(AppConfig::kSystemSettingPath, L"SkinName", L"value"), L"");
    EXPECT_EQ(config.GetSettingInt(AppConfig::kSystemSettingPath, L"UseSSL", L"value"), -1);
}

TEST(AppConfig, UseSslIsOffOnlyForZero) {
    const std::pair<std::string, bool> cases[] = {
        {"<UseSSL value=\"0\"/>", false},
        {"<UseSSL value=\"2\"/>", true},
        {"<UseSSL value=\"1\"/>", true},
        {"<UseSSL/>", true},
        {"<UseSSL value=\"\"/>", true},
        {"<UseSSL value=\"off\"/>", false},  // no digits: 0
        {"", true},
    };
    ConfigUser user;
    for (const auto& [element, useSsl] : cases) {
        user.WriteConfig(ConfigXml(element));
        AppConfig config;
        config.Load();
        ASSERT_TRUE(config.ConfigFile().IsLoaded()) << element;
        EXPECT_EQ(config.UseSSL(), useSsl) << element;
    }
}

TEST(AppConfig, SettingsAreFoundOnlyUnderSystemSetting) {
    ConfigUser user;
    user.WriteConfig(
        "<Wendrake><WenConfig><SkinName value=\"misplaced\"/><UseSSL value=\"0\"/>"
        "<SystemSetting><Other value=\"7\"/></SystemSetting></WenConfig></Wendrake>");
    AppConfig config;
    config.Load();
    ASSERT_TRUE(config.ConfigFile().IsLoaded());
    EXPECT_EQ(config.GetSkinName(), L"");
    EXPECT_TRUE(config.UseSSL());
    EXPECT_EQ(config.GetSettingInt(AppConfig::kSystemSettingPath, L"Other", L"value"), 7);
    EXPECT_EQ(config.GetSetting(AppConfig::kSystemSettingPath, L"Other", L"missing"), L"");
    EXPECT_EQ(config.GetSetting(L"//Nowhere", L"Other", L"value"), L"");
    EXPECT_EQ(config.GetSettingInt(L"//Wendrake//WenConfig", L"SkinName", L"value"), 0)
        << "a text value reads as 0 by the integer rule";
    EXPECT_EQ(config.GetSetting(L"//[", L"Other", L"value"), L"") << "a rejected expression";
    EXPECT_EQ(config.GetSettingInt(L"//[", L"Other", L"value"), -1);

    // Deeper nesting still matches the descendant steps.
    user.WriteConfig(
        "<Wendrake><Profile><WenConfig><Group><SystemSetting><SkinName value=\"deep\"/>"
        "</SystemSetting></Group></WenConfig></Profile></Wendrake>");
    AppConfig deep;
    deep.Load();
    EXPECT_EQ(deep.GetSkinName(), L"deep");
}

TEST(AppConfig, LoadFindsTheSkinLayoutOfTheNamedSkin) {
    ConfigUser user;
    user.WriteConfig(ConfigXml("<SkinName value=\"\"/>"));
    AppConfig unnamed;
    unnamed.Load();
    EXPECT_EQ(unnamed.SkinLayout().GetFolder(), quibra::GetExeFolder() + L"/skin/");
    EXPECT_EQ(unnamed.SkinLayout().GetFullPath(),
              quibra::GetExeFolder() + L"/skin/DialogSkinConfig.xml");

    const std::string skin = "test-skin-" + std::to_string(::getpid());
    user.WriteConfig(ConfigXml("<SkinName value=\"" + skin + "\"/><UseSSL value=\"0\"/>"));
    AppConfig config;
    EXPECT_FALSE(config.Load()) << "the skin folder does not exist yet";
    EXPECT_TRUE(config.ConfigFile().IsLoaded());
    const std::wstring skinFolder = quibra::GetExeFolder() + L"/skin/" + quibra::FromUtf8(skin);
    EXPECT_EQ(config.SkinLayout().GetFullPath(), skinFolder + L"/DialogSkinConfig.xml");

    ScopedSkin present(skin);
    EXPECT_TRUE(config.Load());
    EXPECT_TRUE(config.SkinLayout().IsLoaded());
    EXPECT_EQ(config.ConfigFile().GetFullPath(),
              quibra::FromUtf8((user.Folder() / "wenconfig.xml").string()));

    config.CloseAll();
    EXPECT_FALSE(config.ConfigFile().IsLoaded());
    EXPECT_FALSE(config.SkinLayout().IsLoaded());
    EXPECT_TRUE(config.UseSSL()) << "closed files read as absent";
}

TEST(AppConfig, SecondLoadKeepsTheFirstReadingUntilClosed) {
    ConfigUser user;
    user.WriteConfig(ConfigXml("<SkinName value=\"first\"/><UseSSL value=\"0\"/>"));
    AppConfig config;
    int opens = 0;
    config.SetSkinLayout(std::make_unique<CountingLayout>(&opens));
    config.Load();
    ASSERT_EQ(config.GetSkinName(), L"first");
    EXPECT_EQ(opens, 1);

    user.WriteConfig(ConfigXml("<SkinName value=\"second\"/><UseSSL value=\"1\"/>"));
    config.Load();
    EXPECT_EQ(config.GetSkinName(), L"first");
    EXPECT_EQ(opens, 2) << "the skin layout's own open runs on every load";
    EXPECT_EQ(config.SkinLayout().GetFolder(), quibra::GetExeFolder() + L"/skin/first");
    EXPECT_FALSE(config.UseSSL());
    // The HTTPS answer is kept while the file stays open, even past an edit in memory.
    config.ConfigFile().GetRoot().SelectSingleNode(AppConfig::kSystemSettingPath).SetText(L"");
    EXPECT_FALSE(config.UseSSL());

    config.CloseAll();
    config.Load();
    EXPECT_EQ(config.GetSkinName(), L"second");
    EXPECT_TRUE(config.UseSSL());
}

TEST(AppConfig, ConfigurationFileSavesBackWhileTheLayoutDoesNot) {
    ConfigUser user;
    user.WriteConfig(ConfigXml("<UseSSL value=\"0\"/>"));
    AppConfig config;
    EXPECT_FALSE(config.ConfigFile().Save()) << "nothing loaded yet";
    config.Load();
    ASSERT_TRUE(config.ConfigFile().IsLoaded());
    config.ConfigFile()
        .GetRoot()
        .SelectSingleNode(AppConfig::kSystemSettingPath)
        .AddChild(L"SkinName")
        .AddAttribute(L"value", L"saved");
    ASSERT_TRUE(config.ConfigFile().Save());
    EXPECT_FALSE(config.SkinLayout().Save());

    AppConfig reread;
    reread.Load();
    EXPECT_EQ(reread.GetSkinName(), L"saved");
    EXPECT_FALSE(reread.UseSSL());
}

TEST(AppConfig, InstanceIgnoresANullSkinLayout) {
    AppConfig::Instance().SetSkinLayout(nullptr);
    EXPECT_EQ(AppConfig::Instance().SkinLayout().GetFileName(), L"DialogSkinConfig.xml");
}
