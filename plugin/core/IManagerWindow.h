#pragma once

namespace quibra {

class PollList;

// A presenter's job that the PollServer did not carry out.
enum class PresenterJob { Create, Delete, Update, UpdateStats };

// The presenter's poll manager window, as the manager sees it.
class IManagerWindow {
public:
    virtual ~IManagerWindow() = default;
    // False when the window cannot be shown.
    virtual bool Show() = 0;
    // The poll list the window presents ("/polling/in/updating" rebuilds it).
    virtual PollList& List() = 0;
    // True while the window is shown to the presenter.
    virtual bool IsShown() const { return false; }
    // The PollServer could not be reached for `job`: the window unlocks and
    // says what was not done (the list is fetched again meanwhile).
    virtual void JobFailed(PresenterJob /*job*/) {}
    // The list could not be fetched: the window unlocks, showing what it had.
    virtual void ListFailed() {}
};

}  // namespace quibra
