#pragma once

#include <string>
#include <vector>

#include "HttpClient.h"
#include "PollListReply.h"

namespace quibra::test {

// Speaks to a running pollserver as the plug-in does: the same jobs and fields,
// the cache breaker at the end.
class PollServerSession {
public:
    using Strings = std::vector<std::string>;
    struct Choice {
        std::string name;
        std::string content;
    };

    explicit PollServerSession(std::string baseUrl, const std::filesystem::path& caFile = {});

    // A job given as its encoded form ("job=...&...") on either script.
    HttpClient::Reply Polling(const std::string& form) { return Get(PollingPath(), form); }
    HttpClient::Reply Results(const std::string& form) { return Get(ResultsPath(), form); }
    // The polling script's job as a form body, the other verb the plug-in knows.
    HttpClient::Reply Post(const std::string& form);

    // CreatePolling as the plug-in sends it; returns the new id ("" and a failure when refused).
    std::string Create(const std::string& author, const std::string& module,
                       const std::string& title, const std::string& type, bool identified,
                       const std::vector<Choice>& choices);
    long Update(const std::string& pollId, const std::string& title, const std::string& type,
                bool identified, const std::vector<Choice>& choices);
    long SetStatus(const std::string& pollId, const std::string& status,
                   const std::string& publish);
    long Delete(const Strings& pollIds) {
        return Polling("job=DeletePolling" + Ids(pollIds)).status;
    }
    long Vote(const std::string& pollId, const std::string& userId, const std::string& userName,
              const Strings& choiceNames);

    // Result script replies, parsed; a failed or unparsable reply fails the calling test.
    PollListReply List(const std::string& author, const std::string& module);
    PollListReply Info(const Strings& pollIds) {
        return Parsed(Results("job=GetPollingInfo" + Ids(pollIds)));
    }
    PollListReply Published(const Strings& pollIds) {
        return Parsed(Results("job=GetPollingResult2" + Ids(pollIds)));
    }
    // The raw bodies of all three result jobs: the list of a7/m1 and the two by ids.
    std::string Everything(const Strings& pollIds);

    // "&pollcount=N&pollid_0=...", the id list of several jobs.
    static std::string Ids(const Strings& pollIds);
    static std::string PollingPath() { return "/wendrake-idm/v4/polling/polling.asp"; }
    static std::string ResultsPath() { return "/wendrake-idm/v4/polling/get_polling.asp"; }

private:
    HttpClient::Reply Get(const std::string& path, const std::string& form);
    static PollListReply Parsed(const HttpClient::Reply& reply);

    std::string m_base;
    HttpClient m_client;
    int m_tick = 0;
};

}  // namespace quibra::test
