#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quibra::pollserver {

struct StatusChange;

// One committed change of a module's polls, as the event stream tells it:
// "open", "close", "publish" (of `polls`, comma-separated ids in the job's
// order) or "ballot" (on the one poll in `polls`, by `voter`, seen only by the
// poll's `author`). `id` comes from the database: increasing in commit order.
struct StreamEvent {
    std::int64_t id = 0;
    std::string module;
    std::string kind;
    std::string polls;
    std::string author;  // ballot only: who may see it
    std::string voter;   // ballot only

    // Whether a subscriber of the module as `user` is told of it: a ballot is
    // its poll's author's business only.
    bool SeenBy(std::string_view user) const { return kind != "ballot" || author == user; }
    // The Server-Sent Events frame ("id: ...\nevent: ...\ndata: ...\n\n").
    std::string Frame() const;
    // A frame of any kind; `data` is written as it is, so it must hold no line break.
    static std::string Frame(std::int64_t id, std::string_view kind, std::string_view data);
    // `text` with '%', and every byte below 0x20 or DEL, as %XX: a user id can never
    // break a frame's line.
    static std::string LineSafe(std::string_view text);
    // The events of one status job (or of a poll made with a status): per
    // module, "open" (status O), "close" (status C) and "publish" (published
    // set), each naming its polls in the job's order. `modules[i]` is the
    // module of the poll of `changes[i]`.
    static std::vector<StreamEvent> ForStatus(const std::vector<StatusChange>& changes,
                                              const std::vector<std::string>& modules);
};

// Where a subscriber of one module starts (PollStore::ReadEvents).
struct EventBacklog {
    // The newest id of the log: the events that follow are the ones after it.
    std::int64_t newest = 0;
    // The id asked for is not in the log (pruned, unknown or malformed).
    bool resync = false;
    // A fresh start (no id asked, or resync): the module's polls open now.
    std::vector<std::int64_t> openPolls;
    // A resume: the module's events after the id asked for, in order.
    std::vector<StreamEvent> events;
};

// Events of one commit, in id order, shared by every subscriber that gets them.
using StreamEvents = std::shared_ptr<const std::vector<StreamEvent>>;

}  // namespace quibra::pollserver
