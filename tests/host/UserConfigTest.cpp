#include <gtest/gtest.h>

#include "UserConfig.h"
#include "support/TestSupport.h"

using namespace quibra::test;

namespace {

const char kUsersFile[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Wendrake>\n  <WenConfig>\n    <SystemSetting>\n"
    "      <SkinName value=\"blue\"/>\n      <UseSSL value=\"1\"/>\n"
    "      <Proxy host=\"p\" port=\"3128\">kept &amp; untouched</Proxy>\n    </SystemSetting>\n"
    "    <Recent file=\"/home/u/polls.pol\"/>\n  </WenConfig>\n</Wendrake>\n";

TEST(UserConfig, ChangesOnlyUseSslAndKeepsEveryOtherSettingOrMakesTheFile) {
    TempDir dir;
    auto path = dir / "wenconfig.xml";
    WriteFileBytes(path, kUsersFile);
    UserConfig config(path.string());
    std::string message;
    ASSERT_TRUE(config.Prepare(false, message)) << message;
    ASSERT_TRUE(config.Save(message)) << message;
    EXPECT_FALSE(config.UseSsl());
    EXPECT_EQ(config.SkinName(), "blue");
    std::string expected = kUsersFile;
    expected.replace(expected.find("UseSSL value=\"1\""), 16, "UseSSL value=\"0\"");
    EXPECT_EQ(ReadFileBytes(path), expected);

    // Nothing asked, nothing written: the file keeps its bytes.
    UserConfig again(path.string());
    ASSERT_TRUE(again.Prepare(std::nullopt, message));
    ASSERT_TRUE(again.Save(message));
    EXPECT_FALSE(again.UseSsl());
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_FALSE(std::filesystem::exists(dir / "wenconfig.xml.new"));

    // A missing file is made; one that cannot be read is left alone.
    path = dir / "wendrake" / "wenconfig.xml";
    UserConfig fresh(path.string());
    ASSERT_TRUE(fresh.Prepare(std::nullopt, message));
    ASSERT_TRUE(fresh.Save(message)) << message;
    EXPECT_TRUE(fresh.UseSsl());
    const std::string made = ReadFileBytes(path);
    EXPECT_NE(made.find("<SkinName value=\"default\"/>"), std::string::npos) << made;
    EXPECT_EQ(made.find("UseSSL"), std::string::npos) << "HTTPS stays the plug-in's default";

    // How the plug-in reads UseSSL: only a value that reads as 0 is off.
    const std::pair<const char*, bool> values[] = {{"0", false}, {"00", false}, {"off", false},
                                                   {"", true},   {"2", true},   {"1x", true}};
    for (const auto& [value, on] : values) {
        WriteFileBytes(path, std::string("<Wendrake><WenConfig><SystemSetting><SkinName "
                                         "value=\"s\"/><UseSSL value=\"") +
                                 value + "\"/></SystemSetting></WenConfig></Wendrake>");
        UserConfig config(path.string());
        ASSERT_TRUE(config.Prepare(std::nullopt, message));
        EXPECT_EQ(config.UseSsl(), on) << value;
    }

    for (const char* broken : {"<Wendrake><WenConfig>", "<Other/>", ""}) {
        WriteFileBytes(path, broken);
        UserConfig config(path.string());
        EXPECT_FALSE(config.Prepare(true, message)) << broken;
        EXPECT_NE(message.find("left alone"), std::string::npos);
        EXPECT_EQ(ReadFileBytes(path), broken);
    }
}

TEST(UserConfig, WritesTheServersCaAndPinOnlyWhenGiven) {
    TempDir dir;
    const auto path = dir / "wenconfig.xml";
    WriteFileBytes(path, kUsersFile);
    std::string message;
    UserConfig config(path.string());
    config.SetServerIdentity("/etc/q/ca.pem", "sha256//AbC=");
    ASSERT_TRUE(config.Prepare(std::nullopt, message) && config.Save(message)) << message;
    std::string expected = kUsersFile;
    expected.insert(expected.find("</SystemSetting>"),
                    "<ServerCAFile value=\"/etc/q/ca.pem\"/><ServerPin value=\"sha256//AbC=\"/>");
    EXPECT_EQ(ReadFileBytes(path), expected);
    UserConfig unchanged(path.string());
    unchanged.SetServerIdentity("", "");
    ASSERT_TRUE(unchanged.Prepare(std::nullopt, message) && unchanged.Save(message));
    EXPECT_EQ(ReadFileBytes(path), expected) << "empty ones leave the file's as they are";
}

}  // namespace
