#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PollStore.h"
#include "ReplyCache.h"

namespace quibra::pollserver {

class FormFields;

// The jobs of the polling script and the result script, independent of HTTP:
// fields in, status and XML document out. Input is checked whole before the
// store is touched, so a rejected request changes nothing.
class PollService {
public:
    enum class Script { Polling, Results };

    struct Reply {
        int status = 200;
        std::string body;  // always an XML document
    };

    // `cacheReplies` false: every result reply is read from the store, for a
    // store that others change too.
    explicit PollService(PollStore& store, bool cacheReplies = true)
        : m_store(store), m_cacheReplies(cacheReplies) {}

    Reply Handle(Script script, const FormFields& fields);
    // True for the jobs that Start answers later (a ballot waits for its commit).
    static bool AnswersLater(Script script, const FormFields& fields);
    // Handle without waiting: the reply now, or nullopt when `done` will get it
    // once the ballot is committed, on a thread of the store's.
    std::optional<Reply> Start(Script script, const FormFields& fields,
                               std::function<void(Reply)> done);

    // The short error document every failure carries.
    static Reply Error(int status, std::string_view message);

    static constexpr std::size_t kMaxTextCharacters = 8192;
    static constexpr std::int64_t kMaxCount = 64;

private:
    Reply Dispatch(Script script, const FormFields& fields);

    struct BadInput {
        std::string message;
    };

    Reply CreatePolling(const FormFields& fields);
    Reply UpdatePolling(const FormFields& fields);
    Reply UpdatePollingStatus(const FormFields& fields);
    Reply DeletePolling(const FormFields& fields);
    Reply PostPolling(const FormFields& fields);
    static Ballot ReadBallot(const FormFields& fields);
    Reply BallotDone(StoreOutcome outcome, std::int64_t pollId);
    Reply GetPollingResult(const FormFields& fields);
    Reply GetPollingInfo(const FormFields& fields);
    Reply GetPollingResult2(const FormFields& fields);

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
};

}  // namespace quibra::pollserver
