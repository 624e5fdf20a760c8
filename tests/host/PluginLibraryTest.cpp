#include <gtest/gtest.h>

#include "PluginLibrary.h"
#include "support/TestSupport.h"

using namespace quibra::test;

namespace {

// The members the host looks up by name and calls without being linked to
// the library: a wrong name or calling convention shows here first.
TEST(PluginLibrary, LoadsFromItsFolderAndCallsTheExportedMembers) {
    PluginLibrary missing;
    EXPECT_FALSE(missing.Load("/nonexistent"));
    EXPECT_NE(missing.Error().find("cannot load /nonexistent/libQuibra.so"), std::string::npos)
        << missing.Error();

    TempDir config;
    ScopedEnv home("XDG_CONFIG_HOME", config.Path().string());
    PluginLibrary plugin;
    ASSERT_TRUE(plugin.Load((BinaryDir() / "bin").string())) << plugin.Error();
    EXPECT_EQ(plugin.Send(L"/polling/in/showmanager"), -1) << "nothing before Create";
    ASSERT_NE(plugin.Create(nullptr), nullptr);
    EXPECT_EQ(plugin.SendXml(L"/polling/in/init", "not xml <"), -1);
    EXPECT_EQ(plugin.SendXml(L"/polling/in/init",
                             "<init><tmpfolder>" + config.Path().string() + "</tmpfolder></init>"),
              0)
        << "the console is made";
    EXPECT_EQ(plugin.SendText(L"/polling/in/putuserid", L"u1"), 0);
    plugin.Free();
    EXPECT_EQ(plugin.Manager(), nullptr);
    EXPECT_EQ(plugin.Send(L"/polling/in/showmanager"), -1) << "nothing after Free";
}

}  // namespace
