#include "PollServerSession.h"

#include <gtest/gtest.h>

namespace quibra::test {

namespace {

// Appends <prefix><i> = values[i] for every value.
void Numbered(PollServerSession::Fields& fields, const std::string& prefix,
              const PollServerSession::Strings& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        fields.emplace_back(prefix + std::to_string(i), values[i]);
}

}  // namespace

PollServerSession::PollServerSession(std::string baseUrl, const std::filesystem::path& caFile)
    : m_base(std::move(baseUrl)), m_client(caFile) {}

HttpClient::Reply PollServerSession::Get(const std::string& path, const Fields& fields) {
    return m_client.Get(m_base + path + "?" + HttpClient::Form(fields) +
                        "&_rnd=" + std::to_string(++m_tick));
}

std::string PollServerSession::Create(const std::string& author, const std::string& module,
                                      const std::string& title, const std::string& type,
                                      bool identified, const std::vector<Choice>& choices) {
    Fields fields = {{"job", "CreatePolling"},
                     {"userid", author},
                     {"modulename", module},
                     {"title", title},
                     {"type", type},
                     {"status", "N"},
                     {"issign", identified ? "1" : "0"},
                     {"ispublish", "0"},
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

long PollServerSession::Update(const std::string& pollId, const std::string& title,
                               const std::string& type, bool identified,
                               const std::vector<Choice>& choices) {
    Fields fields = {{"job", "UpdatePolling"},
                     {"pollid", pollId},
                     {"title", title},
                     {"type", type},
                     {"issign", identified ? "1" : "0"},
                     {"ispublish", "0"},
                     {"itemcount", std::to_string(choices.size())}};
    for (std::size_t i = 0; i < choices.size(); ++i) {
        fields.emplace_back("itemname_" + std::to_string(i), choices[i].name);
        fields.emplace_back("content_" + std::to_string(i), choices[i].content);
    }
    return Polling(fields).status;
}

long PollServerSession::SetStatus(const std::string& pollId, const std::string& status,
                                  const std::string& publish) {
    return Polling({{"job", "UpdatePollingStatus"},
                    {"pollcount", "1"},
                    {"pollid_0", pollId},
                    {"status_0", status},
                    {"ispublish_0", publish}})
        .status;
}

long PollServerSession::Delete(const Strings& pollIds) {
    Fields fields = {{"job", "DeletePolling"}, {"pollcount", std::to_string(pollIds.size())}};
    Numbered(fields, "pollid_", pollIds);
    return Polling(fields).status;
}

long PollServerSession::Vote(const std::string& pollId, const std::string& userId,
                             const std::string& userName, const Strings& choiceNames) {
    Fields fields = {{"job", "PostPolling"},
                     {"pollid", pollId},
                     {"userid", userId},
                     {"username", userName},
                     {"itemcount", std::to_string(choiceNames.size())}};
    Numbered(fields, "itemname_", choiceNames);
    return Polling(fields).status;
}

HttpClient::Reply PollServerSession::ForIds(const std::string& job, const Strings& pollIds) {
    Fields fields = {{"job", job}, {"pollcount", std::to_string(pollIds.size())}};
    Numbered(fields, "pollid_", pollIds);
    return Results(fields);
}

std::string PollServerSession::Everything(const Strings& pollIds) {
    std::string bodies;
    for (const auto& reply :
         {Results({{"job", "GetPollingResult"}, {"modulename", "m1"}, {"userid", "a7"}}),
          ForIds("GetPollingInfo", pollIds), ForIds("GetPollingResult2", pollIds)}) {
        EXPECT_EQ(reply.status, 200) << reply.body;
        bodies += reply.body;
    }
    return bodies;
}

PollListReply PollServerSession::Parsed(const HttpClient::Reply& reply) {
    PollListReply parsed;
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.contentLength, std::optional<std::size_t>(reply.body.size()));
    EXPECT_TRUE(parsed.Parse(reply.body)) << reply.body;
    return parsed;
}

PollListReply PollServerSession::List(const std::string& author, const std::string& module) {
    return Parsed(
        Results({{"job", "GetPollingResult"}, {"modulename", module}, {"userid", author}}));
}

}  // namespace quibra::test
