#include "PollServerSession.h"

#include <gtest/gtest.h>

namespace quibra::test {

PollServerSession::PollServerSession(std::string baseUrl, std::filesystem::path caFile)
    : m_base(std::move(baseUrl)), m_client(std::move(caFile)) {}

std::string PollServerSession::PollingPath() { return "/wendrake-idm/v4/polling/polling.asp"; }
std::string PollServerSession::ResultsPath() { return "/wendrake-idm/v4/polling/get_polling.asp"; }

HttpClient::Reply PollServerSession::Polling(const Fields& fields) {
    return m_client.Get(m_base + PollingPath() + "?" + HttpClient::Form(fields) + "&_rnd=" + std::to_string(++m_tick));
}

HttpClient::Reply PollServerSession::Results(const Fields& fields) {
    return m_client.Get(m_base + ResultsPath() + "?" + HttpClient::Form(fields) + "&_rnd=" + std::to_string(++m_tick));
}

std::string PollServerSession::Create(const std::string& author, const std::string& module, const std::string& title,
                                      const std::string& type, bool identified, const std::vector<Choice>& choices) {
    Fields fields = {{"job", "CreatePolling"}, {"userid", author},       {"modulename", module},
                     {"title", title},         {"type", type},           {"status", "N"},
                     {"issign", identified ? "1" : "0"}, {"ispublish", "0"},
                     {"itemcount", std::to_string(choices.size())}};
    for (std::size_t i = 0; i < choices.size(); ++i) {
        fields.emplace_back("content_" + std::to_string(i), choices[i].content);
        fields.emplace_back("itemname_" + std::to_string(i), choices[i].name);
    }
    const auto reply = Polling(fields);
    PollListReply parsed;
    if (reply.status != 200 || !parsed.Parse(reply.body)) return "";
    const auto found = parsed.Result().find("PollingId");
    return found == parsed.Result().end() ? "" : found->second;
}

long PollServerSession::Update(const std::string& pollId, const std::string& title, const std::string& type,
                               bool identified, const std::vector<Choice>& choices) {
    Fields fields = {{"job", "UpdatePolling"}, {"pollid", pollId},   {"title", title},
                     {"type", type},           {"issign", identified ? "1" : "0"},
                     {"ispublish", "0"},       {"itemcount", std::to_string(choices.size())}};
    for (std::size_t i = 0; i < choices.size(); ++i) {
        fields.emplace_back("itemname_" + std::to_string(i), choices[i].name);
        fields.emplace_back("content_" + std::to_string(i), choices[i].content);
    }
    return Polling(fields).status;
}

long PollServerSession::SetStatus(const std::string& pollId, const std::string& status, const std::string& publish) {
    return Polling({{"job", "UpdatePollingStatus"},
                    {"pollcount", "1"},
                    {"pollid_0", pollId},
                    {"status_0", status},
                    {"ispublish_0", publish}})
        .status;
}

long PollServerSession::Delete(const std::vector<std::string>& pollIds) {
    Fields fields = {{"job", "DeletePolling"}, {"pollcount", std::to_string(pollIds.size())}};
    for (std::size_t i = 0; i < pollIds.size(); ++i) fields.emplace_back("pollid_" + std::to_string(i), pollIds[i]);
    return Polling(fields).status;
}

long PollServerSession::Vote(const std::string& pollId, const std::string& userId, const std::string& userName,
                             const std::vector<std::string>& choiceNames) {
    Fields fields = {{"job", "PostPolling"},
                     {"pollid", pollId},
                     {"userid", userId},
                     {"username", userName},
                     {"itemcount", std::to_string(choiceNames.size())}};
    for (std::size_t i = 0; i < choiceNames.size(); ++i)
        fields.emplace_back("itemname_" + std::to_string(i), choiceNames[i]);
    return Polling(fields).status;
}

PollListReply PollServerSession::Parsed(const HttpClient::Reply& reply) {
    PollListReply parsed;
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.contentLength, std::optional<std::size_t>(reply.body.size()));
    EXPECT_TRUE(parsed.Parse(reply.body)) << reply.body;
    return parsed;
}

PollListReply PollServerSession::List(const std::string& author, const std::string& module) {
    return Parsed(Results({{"job", "GetPollingResult"}, {"modulename", module}, {"userid", author}}));
}

PollListReply PollServerSession::Info(const std::vector<std::string>& pollIds) {
    Fields fields = {{"job", "GetPollingInfo"}, {"pollcount", std::to_string(pollIds.size())}};
    for (std::size_t i = 0; i < pollIds.size(); ++i) fields.emplace_back("pollid_" + std::to_string(i), pollIds[i]);
    return Parsed(Results(fields));
}

PollListReply PollServerSession::Published(const std::vector<std::string>& pollIds) {
    Fields fields = {{"job", "GetPollingResult2"}, {"pollcount", std::to_string(pollIds.size())}};
    for (std::size_t i = 0; i < pollIds.size(); ++i) fields.emplace_back("pollid_" + std::to_string(i), pollIds[i]);
    return Parsed(Results(fields));
}

}  // namespace quibra::test
