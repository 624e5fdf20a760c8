#pragma once

namespace quibra {

class PollList;

// The presenter's poll manager window, as the manager sees it.
class IManagerWindow {
public:
    virtual ~IManagerWindow() = default;
    // False when the window cannot be shown.
    virtual bool Show() = 0;
    // The poll list the window presents ("/polling/in/updating" rebuilds it).
    virtual PollList& List() = 0;
};

}  // namespace quibra
