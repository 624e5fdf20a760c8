#include "ui/PollWindowFactory.h"

#include "core/WindowFactoryRegistry.h"
#include "ui/console/CPollManagerDlg.h"
#include "ui/skin/CSkinLayout.h"
#include "ui/voting/CPollVoteDlg.h"

namespace quibra {

PollWindowFactory::PollWindowFactory() = default;

std::shared_ptr<PollWindowFactory> PollWindowFactory::Instance() {
    static const std::shared_ptr<PollWindowFactory> instance =
        std::make_shared<PollWindowFactory>();
    return instance;
}

void PollWindowFactory::ApplySkinSettings(const CWenNode& initPayload) {
    m_settings.Read(initPayload);
}

std::unique_ptr<IManagerWindow> PollWindowFactory::CreateManagerWindow(PollManager& manager,
                                                                       QWidget* hostWindow) {
    return std::make_unique<CPollManagerDlg>(manager, hostWindow, m_settings);
}

std::unique_ptr<IVoteWindow> PollWindowFactory::CreateVoteWindow(PollManager& manager,
                                                                 const PollRecord& record,
                                                                 VoteMode mode) {
    auto dialog = std::make_unique<CPollVoteDlg>(manager, m_settings);
    dialog->SetMode(mode);
    dialog->MutableRecord() = record;
    dialog->Create();
    dialog->ShowCentred();
    return dialog;
}

namespace {

// Loading the library registers the factory and puts the skin layout into
// AppConfig, before any manager exists.
struct Registration {
    Registration() {
        WindowFactoryRegistry::Set(PollWindowFactory::Instance());
        CSkinLayout::Current();
    }
};
const Registration g_registration;

}  // namespace

}  // namespace quibra
