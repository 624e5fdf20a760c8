#pragma once

namespace quibra {

struct PollRecord;

// A voting dialog, in voting or in result mode, as the manager sees it.
class IVoteWindow {
public:
    virtual ~IVoteWindow() = default;
    virtual const PollRecord& Record() const = 0;
    // True for a live window that is shown.
    virtual bool IsVisible() const = 0;
    virtual void Hide() = 0;
    // The ballot submitted from this window reached the server (`sent`), or
    // finally did not: the window goes, or gives the choices back.
    virtual void BallotDone(bool /*sent*/) {}
};

}  // namespace quibra
