#include <gtest/gtest.h>

#include <QProcess>
#include <regex>

#include "CoreFakes.h"
#include "config/AppConfig.h"
#include "core/PluginObjects.h"
#include "core/PollManager.h"
#include "core/PollWorker.h"
#include "core/WindowFactoryRegistry.h"
#include "quibra/CQuibraExport.h"
#include "support/TestSupport.h"

using namespace quibra;
using namespace quibra::test;

namespace {

// The skin layout file, counting the closes that release it.
class CountingLayout : public CXmlSettingsFile {
public:
    CountingLayout() : CXmlSettingsFile(AppConfig::kSkinLayoutFileName) {}
    void Close() override {
        ++closes;
        CXmlSettingsFile::Close();
    }
    int closes = 0;
};

}  // namespace

TEST(Export, CreateWiresManagerAndWorkerAndFreeDestroysThemInOrder) {
    auto factory = std::make_shared<RecordingWindowFactory>();
    WindowFactoryRegistry::Set(factory);
    RecordingHost host;
    CQuibraExport entry;
    for (POLLMODE mode : {POLLMODE_PRESENTER, POLLMODE_ATTENDEE, static_cast<POLLMODE>(42)}) {
        factory->log.clear();
        IFeedBackNotify* notify = entry.CreateQuibraManager(mode, &host);
        PollManager* manager = PluginObjects::CurrentManager();
        PollWorker* worker = PluginObjects::CurrentWorker();
        ASSERT_TRUE(manager != nullptr && worker != nullptr);
        EXPECT_EQ(static_cast<IFeedBackNotify*>(manager), notify);
        EXPECT_EQ(worker->Manager(), notify);
        EXPECT_EQ(manager->Worker(), static_cast<IPollWorker*>(worker));
        EXPECT_EQ(manager->HostNotify(), &host);

        EXPECT_EQ(notify->Notify(L"/polling/in/init", nullptr), 0);
        worker->SetJobs(std::make_unique<RecordingJobs>(&factory->log));
        auto* layout = new CountingLayout;
        AppConfig::Instance().SetSkinLayout(std::unique_ptr<CXmlSettingsFile>(layout));
        entry.FreeAllPollingObject();
        EXPECT_EQ(layout->closes, 1) << "the settings files are released with the manager";
        EXPECT_EQ(PluginObjects::CurrentManager(), nullptr);
        EXPECT_EQ(factory->log,
                  (std::vector<std::string>{"manager window created", "manager window destroyed",
                                            "jobs destroyed"}))
            << "the manager (with its windows) goes before the worker";
    }
    CQuibraExport other;
    EXPECT_EQ(&(entry = other), &entry);
    WindowFactoryRegistry::Set(nullptr);
}

TEST(Export, TheLibraryExportsOnlyThePublicClasses) {
    const std::string lib = (BinaryDir() / "bin" / "libQuibra.so").string();
    ASSERT_TRUE(std::filesystem::exists(lib)) << lib;
    QProcess nm;  // lines of "address type name"
    nm.start("nm", {"-D", "--defined-only", "-C", QString::fromStdString(lib)});
    ASSERT_TRUE(nm.waitForFinished());
    std::set<std::string> exported;
    for (const QString& line : QString(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        exported.insert(line.section(' ', 2).toStdString());
    for (const char* wanted :
         {"CQuibraExport::CreateQuibraManager(POLLMODE, IPollNotify*)",
          "CQuibraExport::FreeAllPollingObject()", "CQuibraExport::operator=(CQuibraExport const&)",
          "CWenDoc::Close()", "CWenNodeList::Next()", "CWenNode::GetTextInt() const",
          "typeinfo for CWenXmlError"})
        EXPECT_TRUE(exported.count(wanted)) << wanted;
    // Library internals (compiler-emitted std:: helpers aside) stay hidden.
    const std::regex allowed(
        R"(^((typeinfo|typeinfo name|vtable) for )?(CQuibraExport|CWenDoc|CWenNode|CWenNodeList|CWenXmlError)(::|$).*|^(typeinfo (name )?for )?std::.*)");
    for (const std::string& symbol : exported)
        EXPECT_TRUE(std::regex_match(symbol, allowed)) << "unexpected export: " << symbol;
}
