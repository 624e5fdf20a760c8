#pragma once

#include <string>
#include <utility>
#include <vector>

#include "HttpClient.h"
#include "PollListReply.h"

namespace quibra::test {

// Speaks to a running pollserver as the plug-in does: the same jobs, the same
// fields in the same order, the cache breaker at the end.
class PollServerSession {
public:
    using Fields = std::vector<std::pair<std::string, std::string>>;
    using Strings = std::vector<std::string>;
    struct Choice {
        std::string name;
        std::string content;
    };

    explicit PollServerSession(std::string baseUrl, const std::filesystem::path& caFile = {});

    HttpClient::Reply Polling(const Fields& fields) { return Get(PollingPath(), fields); }
    HttpClient::Reply Results(const Fields& fields) { return Get(ResultsPath(), fields); }

    // CreatePolling as the plug-in sends it; returns the new id, or "" on failure.
    std::string Create(const std::string& author, const std::string& module,
                       const std::string& title, const std::string& type, bool identified,
                       const std::vector<Choice>& choices);
    long Update(const std::string& pollId, const std::string& title, const std::string& type,
                bool identified, const std::vector<Choice>& choices);
    long SetStatus(const std::string& pollId, const std::string& status,
                   const std::string& publish);
    long Delete(const Strings& pollIds);
    long Vote(const std::string& pollId, const std::string& userId, const std::string& userName,
              const Strings& choiceNames);

    // Result script replies, parsed; a failed or unparsable reply fails the calling test.
    PollListReply List(const std::string& author, const std::string& module);
    PollListReply Info(const Strings& pollIds) { return Parsed(ForIds("GetPollingInfo", pollIds)); }
    PollListReply Published(const Strings& pollIds) {
        return Parsed(ForIds("GetPollingResult2", pollIds));
    }
    HttpClient::Reply ForIds(const std::string& job, const Strings& pollIds);
    // The raw bodies of all three result jobs: the list of a7/m1 and the two by ids.
    std::string Everything(const Strings& pollIds);

    static std::string PollingPath() { return "/wendrake-idm/v4/polling/polling.asp"; }
    static std::string ResultsPath() { return "/wendrake-idm/v4/polling/get_polling.asp"; }

private:
    HttpClient::Reply Get(const std::string& path, const Fields& fields);
    PollListReply Parsed(const HttpClient::Reply& reply);

    std::string m_base;
    HttpClient m_client;
    int m_tick = 0;
};

}  // namespace quibra::test
