#pragma once

#include <memory>

#include "core/IPollWindowFactory.h"
#include "ui/skin/SkinSettings.h"

namespace quibra {

// The user interface's window factory: keeps the skin settings of the latest
// init message and makes the console and the voting dialogs. Registered with
// WindowFactoryRegistry when libQuibra.so is loaded, so every manager that
// CQuibraExport creates uses it. UI thread only.
class PollWindowFactory final : public IPollWindowFactory {
public:
    PollWindowFactory();

    // The registered instance (made on first use).
    static std::shared_ptr<PollWindowFactory> Instance();

    // Reads "skincfg" into Settings() and the process-wide dialog background
    // colour; a payload without it leaves both as they were.
    void ApplySkinSettings(const CWenNode& initPayload) override;
    // The presenter's console, created hidden.
    std::unique_ptr<IManagerWindow> CreateManagerWindow(PollManager& manager,
                                                        QWidget* hostWindow) override;
    // A voting dialog in voting or result mode, centred and shown.
    std::unique_ptr<IVoteWindow> CreateVoteWindow(PollManager& manager, const PollRecord& record,
                                                  VoteMode mode) override;

    // The settings the windows read their tooltips from (zero ids before any
    // init message carried "skincfg").
    const SkinSettings& Settings() const { return m_settings; }

private:
    SkinSettings m_settings;
};

}  // namespace quibra
