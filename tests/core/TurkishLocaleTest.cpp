// Under a Turkish locale towlower('I') is a dotless i and iswspace takes in
// U+3000: protocol and file data must read the same as under any other locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cwctype>
#include <memory>
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

// tr_TR.UTF-8, built with localedef into a folder of the test's own, is the
// process locale (LC_ALL, as a Qt host sets it from its environment) meanwhile.
TEST(TurkishLocaleTest, PathsNumbersSpacesAndProxyAnswersReadAsEverywhere) {
    TempDir folder;
    ASSERT_EQ(std::system(("localedef -i tr_TR -f UTF-8 '" + (folder / "tr_TR.UTF-8").string() +
                           "' >/dev/null 2>&1")
                              .c_str()),
              0);
    ScopedEnv locpath("LOCPATH", folder.Path().string());
    const std::string old = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "tr_TR.UTF-8"), nullptr);
    const std::unique_ptr<const char, void (*)(const char*)> restore(
        old.c_str(), [](const char* name) { std::setlocale(LC_ALL, name); });
    ASSERT_EQ(std::towlower(L'I'), static_cast<wint_t>(0x131)) << "not a Turkish locale";

    RecordingWorker worker;
    PollManager manager(std::make_shared<RecordingWindowFactory>());
    manager.SetWorker(&worker);
    manager.Notify(L"/POLLING/IN/GETALLPOLLING", nullptr);
    manager.Notify(L"/polling/\u0130n/getallpolling", nullptr);  // capital dotted I is no ASCII I
    EXPECT_EQ(Trace(worker.calls), std::vector<std::string>{"/polling/out/getallpolling"});
    PollWorker pollWorker;
    auto* jobs = new RecordingJobs;
    pollWorker.SetJobs(std::unique_ptr<RecordingJobs>(jobs));
    pollWorker.Dispatch(L"/POLLING/OUT/GETALLPOLLING", nullptr);
    pollWorker.Dispatch(L"/polling/out/getallpoll\u0131ng", nullptr);  // dotless i
    EXPECT_EQ(Trace(jobs->calls), std::vector<std::string>{"results1"});

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
    std::string ints;  // atoi skips ASCII blanks only; only ASCII digits count
    for (const wchar_t* name : {L"a", L"b", L"c", L"d"})
        ints += std::to_string(root.GetAttributeInt(name)) + " ";
    EXPECT_EQ(ints + std::to_string(root.GetChild(L"n").GetTextInt()), "12 0 -7 0 42");
    root.AddAttributeInt(L"big", -1234567);
    EXPECT_EQ(root.GetAttribute(L"big"), L"-1234567");

    EXPECT_EQ(UrlEncode(L"I i \u0130\u00A0\u3000"), L"I+i+%C4%B0%C2%A0+");
    EXPECT_EQ(LangIdFromLocaleName("IT_it.UTF-8"), 0x0410);
    EXPECT_EQ(LangIdFromLocaleName("sv_fi"), 0x081d);
}
