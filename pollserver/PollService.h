#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "BallotCheck.h"
#include "PollStore.h"
#include "ReplyCache.h"
#include "TokenVerifier.h"

namespace quibra::pollserver {

class FormFields;

// The jobs of the polling script and the result script, independent of HTTP:
// fields in, status and XML document out. Input is checked whole before the
// store is touched, so a rejected request changes nothing.
//
// With a TokenVerifier every request needs a good bearer token (else 401) and
// the token's user, module and role decide what the job may do (else 403):
// presenters make and change only their own polls in their own module,
// anyone votes only as the token's user, under the token's name, on a poll of
// the token's module, and replies by id leave out the polls of other modules.
// The engine hands over the raw Authorization header; nothing else of HTTP.
class PollService {
public:
    enum class Script { Polling, Results };

    struct Reply {
        int status = 200;
        std::string body;  // always an XML document
        // Non-empty: the value of the reply's WWW-Authenticate header (a 401).
        std::string wwwAuthenticate;
    };
    // The Authorization header's value as sent; nullopt when there was none.
    using Authorization = std::optional<std::string_view>;

    // `cacheReplies` false, for a store that others change too: every result
    // reply is read from the store, and every ballot is left to it. `verifier` set: tokens are required.
    explicit PollService(PollStore& store, bool cacheReplies = true,
                         TokenVerifier* verifier = nullptr)
        : m_store(store),
          m_cacheReplies(cacheReplies),
          m_ballotCheck(store),
          m_verifier(verifier) {}

    Reply Handle(Script script, const FormFields& fields, Authorization authorization = {});
    // True for the jobs that Start answers later (a ballot waits for its commit).
    static bool AnswersLater(Script script, const FormFields& fields);
    // Handle without waiting: the reply now, or nullopt when `done` will get it
    // once the ballot is committed, on a thread of the store's.
    std::optional<Reply> Start(Script script, const FormFields& fields,
                               std::function<void(Reply)> done, Authorization authorization = {});

    // The short error document every failure carries.
    static Reply Error(int status, std::string_view message);

    static constexpr std::size_t kMaxTextCharacters = 8192;
    static constexpr std::int64_t kMaxCount = 64;

    // The reply to a request without a good token.
    static Reply Unauthorized();

private:
    struct BadInput {
        std::string message;
    };
    struct Forbidden {  // a good token asking for what it may not do: 403
        std::string message;
    };
    struct StoreFailed {
        StoreOutcome outcome;
    };
    // The token's claims, or null when tokens are off.
    using Caller = const TokenClaims*;

    // 401 unless tokens are off or the header carries a good one.
    std::optional<Reply> Authenticate(Authorization authorization,
                                      std::optional<TokenClaims>& claims);
    template <typename Job>
    Reply Guarded(std::string_view job, Job&& run);
    Reply Dispatch(Script script, const FormFields& fields, Caller caller);

    Reply CreatePolling(const FormFields& fields, Caller caller);
    Reply UpdatePolling(const FormFields& fields, Caller caller);
    Reply UpdatePollingStatus(const FormFields& fields, Caller caller);
    Reply DeletePolling(const FormFields& fields, Caller caller);
    Reply PostPolling(const FormFields& fields, Caller caller);
    Ballot ReadBallot(const FormFields& fields, Caller caller);
    Reply BallotDone(StoreOutcome outcome, std::int64_t pollId);
    Reply GetPollingResult(const FormFields& fields, Caller caller);
    Reply GetPollingInfo(const FormFields& fields, Caller caller);
    Reply GetPollingResult2(const FormFields& fields, Caller caller);

    // The access policy: throw Forbidden.
    static void RequirePresenter(Caller caller);
    static void RequireSelf(Caller caller, const std::string& user, const std::string* module);
    void RequireOwnPolls(Caller caller, const std::vector<std::int64_t>& ids);
    // The ids of polls in the caller's module, in the order asked.
    std::vector<std::int64_t> InCallersModule(Caller caller, std::vector<std::int64_t> ids);
    // Owners of the named polls that exist, from memory when known.
    std::vector<PollOwner> Owners(const std::vector<std::int64_t>& ids);
    void ForgetOwners(const std::vector<std::int64_t>& ids);

    // Field readers: throw BadInput with a short reason.
    static std::string Text(const FormFields& fields, const std::string& name);
    static std::int64_t Id(const FormFields& fields, const std::string& name);
    static std::int64_t Count(const FormFields& fields, const std::string& name);
    static char Letter(const FormFields& fields, const std::string& name, std::string_view allowed);
    static bool Flag(const FormFields& fields, const std::string& name);
    static PollDraft Draft(const FormFields& fields);
    static std::vector<std::int64_t> IdList(const FormFields& fields);

    static Reply Done(std::string_view job, const std::int64_t* pollId = nullptr);
    static Reply FromOutcome(StoreOutcome outcome, std::string_view job);
    static Reply PollList(const std::vector<PollView>& polls, PollDetail detail);
    // A result reply from memory while its polls are unchanged, else built by
    // `find` (which fills the polls it shows) and kept.
    template <typename Find>
    Reply Cached(const std::string& key, const std::vector<std::int64_t>* dependsOn,
                 PollDetail detail, std::string_view job, Find&& find);

    PollStore& m_store;
    const bool m_cacheReplies;
    ReplyCache m_cache;
    // Ballots refused on the event thread; only with `m_cacheReplies`, where every
    // change of a poll goes through this service.
    BallotCheck m_ballotCheck;
    TokenVerifier* const m_verifier;
    // Owners never change and ids are never reused: kept once read.
    std::mutex m_ownersMutex;
    std::unordered_map<std::int64_t, PollOwner> m_owners;  // guarded by m_ownersMutex
    static constexpr std::size_t kMaxOwnersKept = 100000;
};

}  // namespace quibra::pollserver
