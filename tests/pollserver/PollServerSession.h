#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

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

    explicit PollServerSession(std::string baseUrl, const std::filesystem::path& caFile = {})
        : m_base(std::move(baseUrl)), m_client(caFile) {}

    // A job given as its encoded form ("job=...&...") on either script.
    HttpClient::Reply Polling(const std::string& form) { return Get(PollingPath(), form); }
    HttpClient::Reply Results(const std::string& form) { return Get(ResultsPath(), form); }
    // The polling script's job as a form body, the other verb the plug-in knows.
    HttpClient::Reply Post(const std::string& form) {
        return m_client.Send("POST", m_base + PollingPath(), form,
                             "application/x-www-form-urlencoded;");
    }

    // One more header line on every later request, as HttpClient::SetHeader.
    void SetHeader(std::string line) { m_client.SetHeader(std::move(line)); }
    // CreatePolling as the plug-in sends it; returns the new id ("" and a failure when refused).
    std::string Create(const std::string& author, const std::string& module,
                       const std::string& title, const std::string& type, bool identified,
                       const std::vector<Choice>& choices) {
        const auto created = Parsed(Polling(
            "job=CreatePolling&" + HttpClient::Form({{"userid", author}, {"modulename", module}}) +
            "&status=N" + Draft(title, type, identified, choices)));
        const auto id = created.Result().find("PollingId");
        return id == created.Result().end() ? "" : id->second;
    }
    long Update(const std::string& pollId, const std::string& title, const std::string& type,
                bool identified, const std::vector<Choice>& choices) {
        return Polling("job=UpdatePolling&pollid=" + pollId +
                       Draft(title, type, identified, choices))
            .status;
    }
    long SetStatus(const std::string& pollId, const std::string& status,
                   const std::string& publish) {
        return Polling("job=UpdatePollingStatus&pollcount=1&pollid_0=" + pollId +
                       "&status_0=" + status + "&ispublish_0=" + publish)
            .status;
    }
    long Delete(const Strings& pollIds) {
        return Polling("job=DeletePolling" + Ids(pollIds)).status;
    }
    long Vote(const std::string& pollId, const std::string& userId, const std::string& userName,
              const Strings& choiceNames) {
        std::string form = "job=PostPolling&pollid=" + pollId + "&" +
                           HttpClient::Form({{"userid", userId}, {"username", userName}}) +
                           "&itemcount=" + std::to_string(choiceNames.size());
        for (std::size_t i = 0; i < choiceNames.size(); ++i)
            form += "&itemname_" + std::to_string(i) + "=" + HttpClient::Encode(choiceNames[i]);
        return Polling(form).status;
    }

    // Result script replies, parsed; a failed or unparsable reply fails the calling test.
    PollListReply List(const std::string& author, const std::string& module) {
        return Parsed(Results("job=GetPollingResult&" +
                              HttpClient::Form({{"modulename", module}, {"userid", author}})));
    }
    PollListReply Info(const Strings& pollIds) {
        return Parsed(Results("job=GetPollingInfo" + Ids(pollIds)));
    }
    PollListReply Published(const Strings& pollIds) {
        return Parsed(Results("job=GetPollingResult2" + Ids(pollIds)));
    }
    // The raw bodies of all three result jobs: the list of a7/m1 and the two by ids.
    std::string Everything(const Strings& pollIds) {
        std::string bodies;
        for (const auto& reply : {Results("job=GetPollingResult&modulename=m1&userid=a7"),
                                  Results("job=GetPollingInfo" + Ids(pollIds)),
                                  Results("job=GetPollingResult2" + Ids(pollIds))}) {
            EXPECT_EQ(reply.status, 200) << reply.body;
            bodies += reply.body;
        }
        return bodies;
    }

    // "&pollcount=N&pollid_0=...", the id list of several jobs.
    static std::string Ids(const Strings& pollIds) {
        std::string form = "&pollcount=" + std::to_string(pollIds.size());
        for (std::size_t i = 0; i < pollIds.size(); ++i)
            form += "&pollid_" + std::to_string(i) + "=" + pollIds[i];
        return form;
    }
    static std::string PollingPath() { return "/wendrake-idm/v4/polling/polling.asp"; }
    static std::string ResultsPath() { return "/wendrake-idm/v4/polling/get_polling.asp"; }

private:
    static std::string Draft(const std::string& title, const std::string& type, bool identified,
                             const std::vector<Choice>& choices) {
        std::string form = "&title=" + HttpClient::Encode(title) + "&type=" + type +
                           "&issign=" + (identified ? "1" : "0") +
                           "&ispublish=0&itemcount=" + std::to_string(choices.size());
        for (std::size_t i = 0; i < choices.size(); ++i)
            form += "&content_" + std::to_string(i) + "=" + HttpClient::Encode(choices[i].content) +
                    "&itemname_" + std::to_string(i) + "=" + HttpClient::Encode(choices[i].name);
        return form;
    }
    HttpClient::Reply Get(const std::string& path, const std::string& form) {
        return m_client.Get(m_base + path + "?" + form + "&_rnd=" + std::to_string(++m_tick));
    }
    static PollListReply Parsed(const HttpClient::Reply& reply) {
        PollListReply parsed;
        EXPECT_EQ(reply.status, 200) << reply.body;
        EXPECT_EQ(reply.contentLength, std::optional<std::size_t>(reply.body.size()));
        EXPECT_EQ(reply.contentType, "text/xml; charset=UTF-8");
        EXPECT_TRUE(parsed.Parse(reply.body)) << reply.body;
        return parsed;
    }

    std::string m_base;
    HttpClient m_client;
    int m_tick = 0;
};

}  // namespace quibra::test
