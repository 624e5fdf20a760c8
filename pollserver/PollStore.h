#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "StreamEvent.h"

namespace quibra::pollserver {

// One choice as the presenter wrote it.
struct ChoiceText {
    std::string name;  // "A", "B", ... ; unique within its poll
    std::string content;
};

// The editable part of a poll.
struct PollDraft {
    std::string title;
    char type = 'S';          // 'S' single answer, 'M' multiple answers
    bool identified = false;  // voters' names are kept and shown
    std::vector<ChoiceText> choices;
};

struct NewPoll {
    std::string author;
    std::string module;
    char status = 'N';
    bool published = false;
    PollDraft draft;
};

// A status job's change for one poll; an empty optional keeps the value.
struct StatusChange {
    std::int64_t pollId = 0;
    std::optional<char> status;
    std::optional<bool> published;
};

struct Ballot {
    std::int64_t pollId = 0;
    std::string userId;
    std::string userName;
    std::vector<std::string> choiceNames;
};

// How much of a poll a reply may show.
enum class PollDetail {
    Choices,         // choices only, no counts
    Counts,          // with post and voter counts
    CountsAndVoters  // with counts, and voters' names of identified polls
};

struct ChoiceView {
    std::string name;
    std::string content;
    std::int64_t postCount = 0;
    std::vector<std::string> voters;  // never filled for an anonymous poll
};

struct PollView {
    std::int64_t id = 0;
    char type = 'S';
    bool identified = false;
    std::string title;
    bool published = false;
    char status = 'N';
    std::int64_t userCount = 0;
    std::vector<ChoiceView> choices;
};

// Who a poll belongs to; never changes once the poll is made.
struct PollOwner {
    std::int64_t id = 0;
    std::string author;
    std::string module;
};

enum class StoreOutcome {
    Done,
    NotFound,   // a named poll does not exist
    Conflict,   // the poll's state forbids the job (posted already, not open)
    BadBallot,  // unknown choice, or more than one for a single-answer poll
    Busy,       // the database stayed locked
    Failed      // storage error
};

// Where polls and ballots live. Every call is one transaction: it happens
// whole or not at all. Implementations are safe to call from many threads.
class PollStore {
public:
    virtual ~PollStore() = default;

    virtual StoreOutcome CreatePoll(const NewPoll& poll, std::int64_t& newId) = 0;
    // Only a poll that is still New and has no ballots can be rewritten.
    virtual StoreOutcome UpdatePoll(std::int64_t pollId, const PollDraft& draft) = 0;
    // All polls must exist, else nothing changes (NotFound).
    virtual StoreOutcome ChangeStatus(const std::vector<StatusChange>& changes) = 0;
    // Polls that do not exist are gone already; the others go with their ballots.
    virtual StoreOutcome DeletePolls(const std::vector<std::int64_t>& pollIds) = 0;
    // Counts only while the poll is open; replaces the user's earlier ballot.
    virtual StoreOutcome CastBallot(const Ballot& ballot) = 0;
    // The same without waiting for the commit: `done` gets the outcome once the
    // ballot is committed or refused, on whatever thread the store finishes it.
    virtual void CastBallotLater(const Ballot& ballot, std::function<void(StoreOutcome)> done) {
        done(CastBallot(ballot));
    }

    // A trivial read, for the health check: true when the database answered it.
    virtual bool Ping() = 0;
    // Polls of one author in one module, oldest first.
    virtual StoreOutcome ListPolls(const std::string& author, const std::string& module,
                                   PollDetail detail, std::vector<PollView>& polls) = 0;
    // The named polls that exist, in the order asked; `onlyPublished` and
    // `onlyPosted` (status other than New) filter them.
    struct Filter {
        bool onlyPublished = false;
        bool onlyPosted = false;
    };
    virtual StoreOutcome FindPolls(const std::vector<std::int64_t>& pollIds, Filter filter,
                                   PollDetail detail, std::vector<PollView>& polls) = 0;
    // The author and module of the named polls that exist, in no given order.
    virtual StoreOutcome FindOwners(const std::vector<std::int64_t>& pollIds,
                                    std::vector<PollOwner>& owners) = 0;

    // The event stream. Every job that opens, closes or publishes polls, and
    // every ballot, records its events in the same transaction; once committed
    // they go to the listener, in commit order, on a thread of the store's.
    // A store without a log has no stream (Failed).
    using EventListener = std::function<void(StreamEvents)>;
    // Before the first job.
    virtual void SetEventListener(EventListener listener) { (void)listener; }
    // Where a subscriber of `module` starts: after event `after` when that is
    // still kept, else (no id, or resync) from the module's open polls.
    virtual StoreOutcome ReadEvents(const std::string& module, std::optional<std::int64_t> after,
                                    EventBacklog& backlog) {
        (void)module, (void)after, (void)backlog;
        return StoreOutcome::Failed;
    }
};

}  // namespace quibra::pollserver
