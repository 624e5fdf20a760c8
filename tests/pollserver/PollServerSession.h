#pragma once

#include <cstdint>
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
    struct Choice {
        std::string name;
        std::string content;
    };

    PollServerSession(std::string baseUrl, std::filesystem::path caFile = {});

    HttpClient::Reply Polling(const Fields& fields);
    HttpClient::Reply Results(const Fields& fields);

    // CreatePolling as the plug-in sends it; returns the new id, or "" on failure.
    std::string Create(const std::string& author, const std::string& module, const std::string& title,
                       const std::string& type, bool identified, const std::vector<Choice>& choices);
    long Update(const std::string& pollId, const std::string& title, const std::string& type, bool identified,
                const std::vector<Choice>& choices);
    long SetStatus(const std::string& pollId, const std::string& status, const std::string& publish);
    long Delete(const std::vector<std::string>& pollIds);
    long Vote(const std::string& pollId, const std::string& userId, const std::string& userName,
              const std::vector<std::string>& choiceNames);

    // Result script replies, parsed; an unparsable reply fails the calling test.
    PollListReply List(const std::string& author, const std::string& module);
    PollListReply Info(const std::vector<std::string>& pollIds);
    PollListReply Published(const std::vector<std::string>& pollIds);

    static std::string PollingPath();
    static std::string ResultsPath();

private:
    PollListReply Parsed(const HttpClient::Reply& reply);

    std::string m_base;
    HttpClient m_client;
    int m_tick = 0;
};

}  // namespace quibra::test
