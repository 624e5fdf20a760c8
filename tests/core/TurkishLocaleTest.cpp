// Under a Turkish locale towlower('I') is a dotless i and iswspace takes in
// U+3000: protocol and file data must read the same as under any other locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cwctype>
#include <optional>
#include <string>

#include "CoreFakes.h"
#include "core/PollManager.h"
#include "core/PollWorker.h"
#include "i18n/LanguageId.h"
#include "quibra/CWenDoc.h"
#include "support/TestSupport.h"
#include "transport/ProxyRules.h"
#include "transport/UrlEncode.h"

using namespace quibra;
using namespace quibra::test;

namespace {

// tr_TR.UTF-8, built once with localedef into a folder of the suite's own, is
// the process locale (LC_ALL, as a Qt host sets it from its environment)
// during each test.
class TurkishLocaleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = new TempDir;
        const std::string command = "localedef -i tr_TR -f UTF-8 '" +
                                    (*s_folder / "tr_TR.UTF-8").string() + "' >/dev/null 2>&1";
        s_built = std::system(command.c_str()) == 0;
    }
    static void TearDownTestSuite() {
        delete s_folder;
        s_folder = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(s_built) << "localedef could not build tr_TR.UTF-8";
        m_locpath.emplace("LOCPATH", s_folder->Path().string());
        m_old = std::setlocale(LC_ALL, nullptr);
        ASSERT_NE(std::setlocale(LC_ALL, "tr_TR.UTF-8"), nullptr);
        m_active = true;
        ASSERT_EQ(std::towlower(L'I'), static_cast<wint_t>(0x131)) << "not a Turkish locale";
    }
    void TearDown() override {
        if (m_active) std::setlocale(LC_ALL, m_old.c_str());
    }

private:
    static inline TempDir* s_folder = nullptr;
    static inline bool s_built = false;
    std::optional<ScopedEnv> m_locpath;
    std::string m_old;
    bool m_active = false;
};

TEST_F(TurkishLocaleTest, MessagePathsFoldAsciiCapitalsOnly) {
    RecordingWorker worker;
    PollManager manager(std::make_shared<RecordingWindowFactory>());
    manager.SetWorker(&worker);
    manager.Notify(L"/POLLING/IN/GETALLPOLLING", nullptr);
    manager.Notify(L"/polling/\u0130n/getallpolling", nullptr);  // capital dotted I is no ASCII I
    ASSERT_EQ(worker.calls.size(), 1u);
    EXPECT_EQ(worker.calls[0].path, L"/polling/out/getallpolling");

    RecordingManager host;
    PollWorker pollWorker;
    auto jobs = std::make_unique<RecordingJobs>();
    RecordingJobs* started = jobs.get();
    pollWorker.SetJobs(std::move(jobs));
    pollWorker.SetManager(&host);
    pollWorker.Dispatch(L"/POLLING/OUT/GETALLPOLLING", nullptr);
    pollWorker.Dispatch(L"/polling/out/getallpollıng", nullptr);  // dotless i
    ASSERT_EQ(started->calls.size(), 1u);
    EXPECT_EQ(started->calls[0].path, L"results1");
}

TEST_F(TurkishLocaleTest, NumbersSpacesAndProxyAnswersReadAsEverywhere) {
    std::wstring list;
    bool direct = false;
    EXPECT_TRUE(proxy_rules::FromPacAnswer("DIRECT", list, direct));
    EXPECT_TRUE(direct);
    EXPECT_TRUE(proxy_rules::FromPacAnswer("PROXY a:1; SOCKS b:2; DIRECT", list, direct));
    EXPECT_FALSE(direct);
    EXPECT_EQ(list, L"a:1;socks4://b:2");

    CWenDoc doc;
    CWenNode root =
        doc.LoadXml("<r a=\" 12px\" b=\"\u3000 5\" c=\"-7\" d=\"\u0661\"><n>\t42</n></r>");
    EXPECT_EQ(root.GetAttributeInt(L"a"), 12);
    EXPECT_EQ(root.GetAttributeInt(L"b"), 0) << "atoi skips ASCII blanks only";
    EXPECT_EQ(root.GetAttributeInt(L"c"), -7);
    EXPECT_EQ(root.GetAttributeInt(L"d"), 0) << "only ASCII digits count";
    EXPECT_EQ(root.GetChild(L"n").GetTextInt(), 42);
    root.AddAttributeInt(L"big", -1234567);
    EXPECT_EQ(root.GetAttribute(L"big"), L"-1234567");

    EXPECT_EQ(UrlEncode(L"I i \u0130\u00A0\u3000"), L"I+i+%C4%B0%C2%A0+");
    EXPECT_EQ(LangIdFromLocaleName("IT_it.UTF-8"), 0x0410);
    EXPECT_EQ(LangIdFromLocaleName("sv_fi"), 0x081d);
}

}  // namespace
