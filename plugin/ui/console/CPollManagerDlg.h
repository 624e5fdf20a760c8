#pragma once

#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/IManagerWindow.h"
#include "polldata/IPollListView.h"
#include "polldata/PollList.h"
#include "polldata/PollRecord.h"
#include "ui/console/PollFileCommands.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/controls/CSkinMenu.h"
#include "ui/skin/SkinSettings.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace quibra {

class CImageButton;
class LongTextTip;
class PollDetailsPanel;
class PollManager;

// The presenter's console (dialog 4000): the tree of the conference's polls,
// the details panel of the selected poll, six command buttons and three menus.
// It never talks to the server: every command builds its messages through the
// manager and locks the console until the refreshed list arrives. Created
// hidden by the manager; closing only hides it. User-interface thread only.
class CPollManagerDlg : public CSkinDialog, public IManagerWindow, public IPollListView {
public:
    // Dialog items.
    static constexpr int kTreeId = 4000;
    static constexpr int kCreateButtonId = 4017;
    static constexpr int kModifyButtonId = 4019;
    static constexpr int kPostButtonId = 4018;
    static constexpr int kOverButtonId = 4016;
    static constexpr int kPublishButtonId = 4003;
    static constexpr int kDeleteButtonId = 4004;
    static constexpr int kWorkspaceId = 4015;
    // Menu commands.
    static constexpr int kExportShownCommand = 10000;
    static constexpr int kExportAllCommand = 10001;
    static constexpr int kImportCommand = 10002;
    static constexpr int kNewPollCommand = 10003;
    static constexpr int kPublishCommand = 10004;

    // `hostWindow` (may be null) hears of the console's closing; `settings`
    // give the buttons' tooltips.
    CPollManagerDlg(PollManager& manager, QWidget* hostWindow, const SkinSettings& settings);
    ~CPollManagerDlg() override;

    // IManagerWindow
    bool Show() override;
    PollList& List() override { return m_list; }
    bool IsShown() const override { return isVisible(); }
    // Unlocks, tells the presenter what was not done and, for a poll typed into
    // the editor, opens the editor again on it (both once control is back in
    // the event loop). A failed import creates no more of its polls.
    void JobFailed(PresenterJob job) override;
    void ListFailed() override { Unlock(); }

    // IPollListView
    std::optional<std::wstring> ClearPresentation() override;
    void FillPresentation(std::vector<PollRecord>& records,
                          const std::wstring& rememberedPollId) override;

    // What the file commands work with.
    PollManager& Manager() const { return m_manager; }
    const std::vector<PollRecord>& Records() const { return m_list.Records(); }
    // The record of the shown details panel; null when none is shown.
    const PollRecord* ShownRecord() const;
    // Locks (false) or unlocks (true) the console: the flag and the six
    // buttons; locking also disables the tree, which only a refill enables.
    void EnableAll(bool enabled);
    bool ButtonsEnabled() const { return m_buttonsEnabled; }

    // A button or menu command, as if the user chose it.
    void OnCommand(int id) override;

    QTreeWidget* Tree() const { return m_tree; }
    PollDetailsPanel* DefaultPanel() const { return m_defaultPanel; }
    PollDetailsPanel* CurrentPanel() const { return m_currentPanel; }
    LongTextTip* Tip() const { return m_tip; }
    CImageButton* Button(int itemId) const;

protected:
    // The user closed the console: the host hears of it, then it hides.
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InitDialog();
    void SetUpButtons();
    void OnSelectionChanged();
    void UpdateButtons(const PollRecord& record);
    // The records of the selected items in tree order. False, with nothing
    // collected, when nothing is selected or an item's status does not pass:
    // a bit in common with `mask`, or the Closed bit in closed-only mode.
    bool CollectSelected(std::uint32_t mask, bool closedOnly, std::vector<PollRecord*>& out) const;
    void ShowTreeMenu(QPoint globalPos);
    void ShowButtonMenu(int buttonId);
    void ShowLongText(QPoint viewportPos);
    // The details panel of record `index`, built the first time it is asked for.
    PollDetailsPanel* PanelFor(int index);
    // The editor on `start` (a new poll when it has no id), then its creation or
    // change; what was typed is kept until that job fails.
    void RunEditor(const PollRecord& start);
    // The console usable again with the list it shows.
    void Unlock();
    void TellJobFailed(PresenterJob job);
    void ModifyPoll();
    void ChangeStatus(PollStatus from, PollStatus to);
    void PublishPolls();
    void DeletePolls();
    void RefuseSelection();

    PollManager& m_manager;
    QPointer<QWidget> m_hostWindow;
    SkinSettings m_settings;
    PollList m_list;
    std::vector<PollRecord>* m_records = nullptr;
    QTreeWidget* m_tree = nullptr;
    QWidget* m_workspace = nullptr;
    PollDetailsPanel* m_defaultPanel = nullptr;
    PollDetailsPanel* m_currentPanel = nullptr;
    std::vector<PollDetailsPanel*> m_panels;  // one per record, null until first shown
    std::ptrdiff_t m_shownRow = -1;           // the shown panel's row at the last clearing
    LongTextTip* m_tip = nullptr;
    CSkinMenu m_treeMenu;
    CSkinMenu m_buttonMenu;
    bool m_buttonsEnabled = false;
    PollFileCommands m_fileCommands;
    // The poll last sent from the editor (a new one, or a change), until that job fails.
    std::optional<PollRecord> m_unsentPoll;
    bool m_failureQueued = false;  // a failure's message is waiting or shown
};

}  // namespace quibra
