#include "PollService.h"

#include <exception>
#include <functional>
#include <map>
#include <unordered_set>

#include "FormFields.h"
#include "Metrics.h"
#include "XmlReplyWriter.h"

namespace quibra::pollserver {

namespace {

std::string Numbered(const char* name, std::int64_t i) {
    return name + std::to_string(i);
}

// The cache key of a reply for the given polls, in the order asked.
std::string IdKey(char job, const std::vector<std::int64_t>& ids) {
    std::string key(1, job);
    for (const auto id : ids) key += std::to_string(id) + ",";
    return key;
}

}  // namespace

PollService::Reply PollService::Unauthorized() {
    auto reply = Error(401, "a valid bearer token is required");
    reply.wwwAuthenticate = "Bearer error=\"invalid_token\"";
    return reply;
}

std::optional<PollService::Reply> PollService::Authenticate(Authorization authorization,
                                                            std::optional<TokenClaims>& claims) {
    if (m_verifier == nullptr) return std::nullopt;
    claims = m_verifier->VerifyHeader(authorization, TokenVerifier::Now());
    if (!claims) return Unauthorized();
    return std::nullopt;
}

template <typename Job>
PollService::Reply PollService::Guarded(std::string_view job, Job&& run) {
    try {
        return run();
    } catch (const BadInput& bad) {
        return Error(400, bad.message);
    } catch (const Forbidden& refused) {
        return Error(403, refused.message);
    } catch (const StoreFailed& failed) {
        return FromOutcome(failed.outcome, job);
    } catch (const std::exception&) {
        return Error(500, "internal error");
    }
}

PollService::Reply PollService::Handle(Script script, const FormFields& fields,
                                       Authorization authorization) {
    const auto job = fields.Get("job");
    const std::string jobName = job ? *job : std::string();
    std::optional<TokenClaims> claims;
    Reply reply;
    if (auto refused = Authenticate(authorization, claims))
        reply = std::move(*refused);
    else
        reply =
            Guarded(jobName, [&] { return Dispatch(script, fields, claims ? &*claims : nullptr); });
    Metrics::Global().RequestAnswered(jobName, reply.status);
    return reply;
}

PollService::Reply PollService::Dispatch(Script script, const FormFields& fields, Caller caller) {
    const auto job = fields.Get("job");
    if (!job || job->empty()) return Error(400, "missing job");
    if (script == Script::Polling) {
        if (*job == "CreatePolling") return CreatePolling(fields, caller);
        if (*job == "UpdatePolling") return UpdatePolling(fields, caller);
        if (*job == "UpdatePollingStatus") return UpdatePollingStatus(fields, caller);
        if (*job == "DeletePolling") return DeletePolling(fields, caller);
        if (*job == "PostPolling") return PostPolling(fields, caller);
    } else {
        if (*job == "GetPollingResult") return GetPollingResult(fields, caller);
        if (*job == "GetPollingInfo") return GetPollingInfo(fields, caller);
        if (*job == "GetPollingResult2") return GetPollingResult2(fields, caller);
    }
    return Error(400, "unknown job");
}

void PollService::RequirePresenter(Caller caller) {
    if (caller != nullptr && caller->role != TokenClaims::Role::Presenter)
        throw Forbidden{"the token's role is not presenter"};
}

void PollService::RequireSelf(Caller caller, const std::string& user, const std::string* module) {
    if (caller == nullptr) return;
    if (user != caller->user) throw Forbidden{"userid is not the token's user"};
    if (module != nullptr && *module != caller->module)
        throw Forbidden{"modulename is not the token's module"};
}

std::vector<PollOwner> PollService::Owners(const std::vector<std::int64_t>& ids) {
    std::vector<PollOwner> owners;
    std::vector<std::int64_t> unknown;
    {
        std::lock_guard lock(m_ownersMutex);
        for (const auto id : ids) {
            if (const auto found = m_owners.find(id); found != m_owners.end())
                owners.push_back(found->second);
            else
                unknown.push_back(id);
        }
    }
    if (unknown.empty()) return owners;
    std::vector<PollOwner> read;
    const auto outcome = m_store.FindOwners(unknown, read);
    if (outcome != StoreOutcome::Done) throw StoreFailed{outcome};
    std::lock_guard lock(m_ownersMutex);
    if (m_owners.size() + read.size() > kMaxOwnersKept) m_owners.clear();
    for (const auto& owner : read) {
        m_owners.emplace(owner.id, owner);
        owners.push_back(owner);
    }
    return owners;
}

void PollService::ForgetOwners(const std::vector<std::int64_t>& ids) {
    std::lock_guard lock(m_ownersMutex);
    for (const auto id : ids) m_owners.erase(id);
}

void PollService::RequireOwnPolls(Caller caller, const std::vector<std::int64_t>& ids) {
    if (caller == nullptr) return;
    RequirePresenter(caller);
    // A poll that does not exist is nobody's: the store answers for it as without tokens.
    for (const auto& owner : Owners(ids))
        if (owner.author != caller->user || owner.module != caller->module)
            throw Forbidden{"poll " + std::to_string(owner.id) + " is not the token user's"};
}

std::vector<std::int64_t> PollService::InCallersModule(Caller caller,
                                                       std::vector<std::int64_t> ids) {
    if (caller == nullptr) return ids;
    std::unordered_set<std::int64_t> mine;
    for (const auto& owner : Owners(ids))
        if (owner.module == caller->module) mine.insert(owner.id);
    std::erase_if(ids, [&](std::int64_t id) { return mine.count(id) == 0; });
    return ids;
}

PollService::Reply PollService::Error(int status, std::string_view message) {
    XmlReplyWriter writer("Wendrake");
    writer.StartElement("Error");
    writer.Attribute("Code", std::int64_t{status});
    writer.Attribute("Message", message);
    return {status, writer.Finish(), {}};
}

PollService::Reply PollService::Done(std::string_view job, const std::int64_t* pollId) {
    if (pollId == nullptr) {
        // The same few bytes for every ballot: made once per job, not per request.
        static const auto cached = [] {
            std::map<std::string, std::string, std::less<>> replies;
            for (const char* name :
                 {"UpdatePolling", "UpdatePollingStatus", "DeletePolling", "PostPolling"}) {
                XmlReplyWriter writer("Wendrake");
                writer.StartElement("Result");
                writer.Attribute("Code", std::int64_t{200});
                writer.Attribute("Job", name);
                replies.emplace(name, writer.Finish());
            }
            return replies;
        }();
        if (const auto found = cached.find(job); found != cached.end())
            return {200, found->second, {}};
    }
    XmlReplyWriter writer("Wendrake");
    writer.StartElement("Result");
    writer.Attribute("Code", std::int64_t{200});
    writer.Attribute("Job", job);
    if (pollId != nullptr) writer.Attribute("PollingId", *pollId);
    return {200, writer.Finish(), {}};
}

PollService::Reply PollService::FromOutcome(StoreOutcome outcome, std::string_view job) {
    switch (outcome) {
        case StoreOutcome::Done:
            return Done(job);
        case StoreOutcome::NotFound:
            return Error(404, "no such poll");
        case StoreOutcome::Conflict:
            return Error(409, "the poll's state does not allow this job");
        case StoreOutcome::BadBallot:
            return Error(400, "the ballot does not fit the poll's choices");
        case StoreOutcome::Busy:
            return Error(503, "storage busy, try again");
        case StoreOutcome::Failed:
            break;
    }
    return Error(500, "storage failure");
}

std::string PollService::Text(const FormFields& fields, const std::string& name) {
    auto value = fields.Get(name);
    if (!value) throw BadInput{"missing " + name};
    if (FormFields::CharacterCount(*value) > kMaxTextCharacters)
        throw BadInput{name + " is too long"};
    return std::move(*value);
}

std::int64_t PollService::Id(const FormFields& fields, const std::string& name) {
    const auto value = fields.Get(name);
    if (!value) throw BadInput{"missing " + name};
    const auto id = FormFields::ParseNumber(*value, 1, INT64_MAX);
    if (!id) throw BadInput{name + " is not a poll id"};
    return *id;
}

std::int64_t PollService::Count(const FormFields& fields, const std::string& name) {
    const auto value = fields.Get(name);
    if (!value) throw BadInput{"missing " + name};
    const auto count = FormFields::ParseNumber(*value, 0, kMaxCount);
    if (!count) throw BadInput{name + " must be a number from 0 to 64"};
    return *count;
}

char PollService::Letter(const FormFields& fields, const std::string& name,
                         std::string_view allowed) {
    const auto value = fields.Get(name);
    if (!value) throw BadInput{"missing " + name};
    if (value->size() != 1 || allowed.find(value->front()) == std::string_view::npos)
        throw BadInput{name + " must be one of " + std::string(allowed)};
    return value->front();
}

bool PollService::Flag(const FormFields& fields, const std::string& name) {
    return Letter(fields, name, "01") == '1';
}

PollDraft PollService::Draft(const FormFields& fields) {
    PollDraft draft;
    draft.title = Text(fields, "title");
    draft.type = Letter(fields, "type", "SM");
    draft.identified = Flag(fields, "issign");
    const auto count = Count(fields, "itemcount");
    std::unordered_set<std::string> names;
    for (std::int64_t i = 0; i < count; ++i) {
        ChoiceText choice{Text(fields, Numbered("itemname_", i)),
                          Text(fields, Numbered("content_", i))};
        // Ballots name choices: an empty or repeated name could never be voted for unambiguously.
        if (choice.name.empty()) throw BadInput{Numbered("itemname_", i) + " is empty"};
        if (!names.insert(choice.name).second)
            throw BadInput{Numbered("itemname_", i) + " repeats a choice"};
        draft.choices.push_back(std::move(choice));
    }
    return draft;
}

std::vector<std::int64_t> PollService::IdList(const FormFields& fields) {
    const auto count = Count(fields, "pollcount");
    std::vector<std::int64_t> ids;
    for (std::int64_t i = 0; i < count; ++i) ids.push_back(Id(fields, Numbered("pollid_", i)));
    return ids;
}

PollService::Reply PollService::CreatePolling(const FormFields& fields, Caller caller) {
    NewPoll poll;
    poll.author = Text(fields, "userid");
    poll.module = Text(fields, "modulename");
    RequirePresenter(caller);
    RequireSelf(caller, poll.author, &poll.module);
    poll.status = Letter(fields, "status", "NOCD");
    poll.published = Flag(fields, "ispublish");
    poll.draft = Draft(fields);
    std::int64_t id = 0;
    const auto outcome = m_store.CreatePoll(poll, id);
    if (outcome != StoreOutcome::Done) return FromOutcome(outcome, "CreatePolling");
    m_cache.PollsChanged();
    return Done("CreatePolling", &id);
}

PollService::Reply PollService::UpdatePolling(const FormFields& fields, Caller caller) {
    const auto id = Id(fields, "pollid");
    // Always "0" from the plug-in; the publish state is the status job's business.
    if (fields.Has("ispublish")) Flag(fields, "ispublish");
    const auto draft = Draft(fields);
    RequireOwnPolls(caller, {id});
    const auto outcome = m_store.UpdatePoll(id, draft);
    if (outcome == StoreOutcome::Done) m_cache.PollsChanged();
    return FromOutcome(outcome, "UpdatePolling");
}

PollService::Reply PollService::UpdatePollingStatus(const FormFields& fields, Caller caller) {
    const auto count = Count(fields, "pollcount");
    std::vector<StatusChange> changes;
    for (std::int64_t i = 0; i < count; ++i) {
        StatusChange change;
        change.pollId = Id(fields, Numbered("pollid_", i));
        // The plug-in sends an empty status for a poll whose state it does not
        // change (publishing); empty or missing keeps what is stored.
        const auto statusName = Numbered("status_", i);
        if (const auto status = fields.Get(statusName); status && !status->empty())
            change.status = Letter(fields, statusName, "NOCD");
        const auto publishName = Numbered("ispublish_", i);
        if (const auto publish = fields.Get(publishName); publish && !publish->empty())
            change.published = Flag(fields, publishName);
        changes.push_back(change);
    }
    std::vector<std::int64_t> ids;
    for (const auto& change : changes) ids.push_back(change.pollId);
    RequireOwnPolls(caller, ids);
    const auto outcome = m_store.ChangeStatus(changes);
    if (outcome == StoreOutcome::Done) {
        m_cache.PollsChanged();
        m_ballotCheck.Changed(ids);
    }
    return FromOutcome(outcome, "UpdatePollingStatus");
}

PollService::Reply PollService::DeletePolling(const FormFields& fields, Caller caller) {
    const auto ids = IdList(fields);
    RequireOwnPolls(caller, ids);
    const auto outcome = m_store.DeletePolls(ids);
    if (outcome == StoreOutcome::Done) {
        m_cache.PollsChanged();
        m_ballotCheck.Changed(ids);
        ForgetOwners(ids);
    }
    return FromOutcome(outcome, "DeletePolling");
}

bool PollService::AnswersLater(Script script, const FormFields& fields) {
    if (script != Script::Polling) return false;
    const auto job = fields.Get("job");
    return job && *job == "PostPolling";
}

std::optional<PollService::Reply> PollService::Start(Script script, const FormFields& fields,
                                                     std::function<void(Reply)> done,
                                                     Authorization authorization) {
    if (!AnswersLater(script, fields)) return Handle(script, fields, authorization);
    std::optional<TokenClaims> claims;
    if (auto refused = Authenticate(authorization, claims)) {
        Metrics::Global().RequestAnswered("PostPolling", refused->status);
        return std::move(*refused);
    }
    auto reply = Guarded("PostPolling", [&] {
        const Ballot ballot = ReadBallot(fields, claims ? &*claims : nullptr);
        m_store.CastBallotLater(
            ballot, [this, id = ballot.pollId, done = std::move(done)](StoreOutcome outcome) {
                Reply reply;
                try {
                    reply = BallotDone(outcome, id);
                } catch (const std::exception&) {
                    reply = {500, "internal error", {}};
                }
                Metrics::Global().RequestAnswered("PostPolling", reply.status);
                done(std::move(reply));
            });
        return Reply{0, {}, {}};
    });
    if (reply.status == 0) return std::nullopt;  // cast: `done` answers
    Metrics::Global().RequestAnswered("PostPolling", reply.status);
    return reply;
}

PollService::Reply PollService::BallotDone(StoreOutcome outcome, std::int64_t pollId) {
    // Counted before the acknowledgement goes out: whoever saw it never gets an older reply.
    if (outcome == StoreOutcome::Done) {
        m_cache.BallotCast(pollId);
        Metrics::Global().BallotCommitted();
    }
    return FromOutcome(outcome, "PostPolling");
}

PollService::Reply PollService::PostPolling(const FormFields& fields, Caller caller) {
    const Ballot ballot = ReadBallot(fields, caller);
    return BallotDone(m_store.CastBallot(ballot), ballot.pollId);
}

Ballot PollService::ReadBallot(const FormFields& fields, Caller caller) {
    Ballot ballot;
    ballot.pollId = Id(fields, "pollid");
    ballot.userId = Text(fields, "userid");
    if (ballot.userId.empty()) throw BadInput{"userid is empty"};
    ballot.userName = Text(fields, "username");
    const auto count = Count(fields, "itemcount");
    for (std::int64_t i = 0; i < count; ++i)
        ballot.choiceNames.push_back(Text(fields, Numbered("itemname_", i)));
    if (caller != nullptr) {
        RequireSelf(caller, ballot.userId, nullptr);
        // A poll that does not exist is left to the store's 404, as without tokens.
        for (const auto& owner : Owners({ballot.pollId}))
            if (owner.module != caller->module)
                throw Forbidden{"the poll is not in the token's module"};
        ballot.userName = caller->name;
    }
    // A ballot that must be refused is answered here, without the writer.
    if (m_cacheReplies)
        if (const auto refused = m_ballotCheck.Refusal(ballot)) throw StoreFailed{*refused};
    return ballot;
}

PollService::Reply PollService::PollList(const std::vector<PollView>& polls, PollDetail detail) {
    const bool counts = detail != PollDetail::Choices;
    XmlReplyWriter writer("Wendrake");
    writer.StartElement("Records");
    for (const auto& poll : polls) {
        writer.StartElement("Record");
        writer.Attribute("PollingId", poll.id);
        writer.Attribute("Type", std::string_view(&poll.type, 1));
        writer.Attribute("IsSign", poll.identified ? "1" : "0");
        writer.Attribute("Title", poll.title);
        writer.Attribute("IsPublish", poll.published ? "1" : "0");
        writer.Attribute("Status", std::string_view(&poll.status, 1));
        if (counts) writer.Attribute("UserCount", poll.userCount);
        writer.StartElement("Items");
        for (const auto& choice : poll.choices) {
            writer.StartElement("Item");
            writer.Attribute("ItemName", choice.name);
            writer.Attribute("Content", choice.content);
            if (counts) writer.Attribute("PostCount", choice.postCount);
            // Second guard besides the store: an anonymous poll's voters are never written.
            if (detail == PollDetail::CountsAndVoters && poll.identified) {
                for (const auto& voter : choice.voters) {
                    writer.StartElement("User");
                    writer.Attribute("UserName", voter);
                    writer.EndElement();
                }
            }
            writer.EndElement();
        }
        writer.EndElement();
        writer.EndElement();
    }
    return {200, writer.Finish(), {}};
}

template <typename Find>
PollService::Reply PollService::Cached(const std::string& key,
                                       const std::vector<std::int64_t>* dependsOn,
                                       PollDetail detail, std::string_view job, Find&& find) {
    std::vector<PollView> polls;
    if (!m_cacheReplies) {
        const auto outcome = find(polls);
        return outcome == StoreOutcome::Done ? PollList(polls, detail) : FromOutcome(outcome, job);
    }
    auto lookup = m_cache.Find(key, dependsOn);
    if (lookup.body) {
        Metrics::Global().ReplyFromCache();
        return {200, *lookup.body, {}};
    }
    const auto outcome = find(polls);
    if (outcome != StoreOutcome::Done) return FromOutcome(outcome, job);
    auto reply = PollList(polls, detail);
    std::vector<std::int64_t> shown;
    if (dependsOn != nullptr) {
        shown = *dependsOn;
    } else {
        for (const auto& poll : polls) shown.push_back(poll.id);
    }
    m_cache.Keep(key, shown, std::move(lookup), std::make_shared<const std::string>(reply.body));
    return reply;
}

PollService::Reply PollService::GetPollingResult(const FormFields& fields, Caller caller) {
    const auto author = Text(fields, "userid");
    const auto module = Text(fields, "modulename");
    RequirePresenter(caller);
    RequireSelf(caller, author, &module);
    // The list's polls are known once read: the cache takes them from its last reply.
    return Cached("L" + author + '\0' + module, nullptr, PollDetail::CountsAndVoters,
                  "GetPollingResult", [&](std::vector<PollView>& polls) {
                      return m_store.ListPolls(author, module, PollDetail::CountsAndVoters, polls);
                  });
}

PollService::Reply PollService::GetPollingInfo(const FormFields& fields, Caller caller) {
    const auto ids = InCallersModule(caller, IdList(fields));
    // Choices only, no counts: ballots leave this reply as it is.
    static const std::vector<std::int64_t> noBallots;
    return Cached(IdKey('I', ids), &noBallots, PollDetail::Choices, "GetPollingInfo",
                  [&](std::vector<PollView>& polls) {
                      // Attendees ask for posted polls; a draft stays the presenter's until posted.
                      return m_store.FindPolls(ids, {false, true}, PollDetail::Choices, polls);
                  });
}

PollService::Reply PollService::GetPollingResult2(const FormFields& fields, Caller caller) {
    const auto ids = InCallersModule(caller, IdList(fields));
    return Cached(
        IdKey('R', ids), &ids, PollDetail::CountsAndVoters, "GetPollingResult2",
        [&](std::vector<PollView>& polls) {
            return m_store.FindPolls(ids, {true, false}, PollDetail::CountsAndVoters, polls);
        });
}

}  // namespace quibra::pollserver
