#include "PollServerSession.h"

#include <gtest/gtest.h>

namespace quibra::test {

namespace {

std::string Draft(const std::string& title, const std::string& type, bool identified,
                  const std::vector<PollServerSession::Choice>& choices) {
    std::string form = "&title=" + HttpClient::Encode(title) + "&type=" + type +
                       "&issign=" + (identified ? "1" : "0") +
                       "&ispublish=0&itemcount=" + std::to_string(choices.size());
    for (std::size_t i = 0; i < choices.size(); ++i)
        form += "&content_" + std::to_string(i) + "=" + HttpClient::Encode(choices[i].content) +
                "&itemname_" + std::to_string(i) + "=" + HttpClient::Encode(choices[i].name);
    return form;
}

}  // namespace

PollServerSession::PollServerSession(std::string baseUrl, const std::filesystem::path& caFile)
    : m_base(std::move(baseUrl)), m_client(caFile) {}

HttpClient::Reply PollServerSession::Get(const std::string& path, const std::string& form) {
    return m_client.Get(m_base + path + "?" + form + "&_rnd=" + std::to_string(++m_tick));
}

HttpClient::Reply PollServerSession::Post(const std::string& form) {
    return m_client.Send("POST", m_base + PollingPath(), form,
                         "application/x-www-form-urlencoded;");
}

std::string PollServerSession::Create(const std::string& author, const std::string& module,
                                      const std::string& title, const std::string& type,
                                      bool identified, const std::vector<Choice>& choices) {
    const auto created = Parsed(Polling(
        "job=CreatePolling&" + HttpClient::Form({{"userid", author}, {"modulename", module}}) +
        "&status=N" + Draft(title, type, identified, choices)));
    const auto id = created.Result().find("PollingId");
    return id == created.Result().end() ? "" : id->second;
}

long PollServerSession::Update(const std::string& pollId, const std::string& title,
                               const std::string& type, bool identified,
                               const std::vector<Choice>& choices) {
    return Polling("job=UpdatePolling&pollid=" + pollId + Draft(title, type, identified, choices))
        .status;
}

long PollServerSession::SetStatus(const std::string& pollId, const std::string& status,
                                  const std::string& publish) {
    return Polling("job=UpdatePollingStatus&pollcount=1&pollid_0=" + pollId +
                   "&status_0=" + status + "&ispublish_0=" + publish)
        .status;
}

long PollServerSession::Vote(const std::string& pollId, const std::string& userId,
                             const std::string& userName, const Strings& choiceNames) {
    std::string form = "job=PostPolling&pollid=" + pollId + "&" +
                       HttpClient::Form({{"userid", userId}, {"username", userName}}) +
                       "&itemcount=" + std::to_string(choiceNames.size());
    for (std::size_t i = 0; i < choiceNames.size(); ++i)
        form += "&itemname_" + std::to_string(i) + "=" + HttpClient::Encode(choiceNames[i]);
    return Polling(form).status;
}

std::string PollServerSession::Ids(const Strings& pollIds) {
    std::string form = "&pollcount=" + std::to_string(pollIds.size());
    for (std::size_t i = 0; i < pollIds.size(); ++i)
        form += "&pollid_" + std::to_string(i) + "=" + pollIds[i];
    return form;
}

std::string PollServerSession::Everything(const Strings& pollIds) {
    std::string bodies;
    for (const auto& reply : {Results("job=GetPollingResult&modulename=m1&userid=a7"),
                              Results("job=GetPollingInfo" + Ids(pollIds)),
                              Results("job=GetPollingResult2" + Ids(pollIds))}) {
        EXPECT_EQ(reply.status, 200) << reply.body;
        bodies += reply.body;
    }
    return bodies;
}

PollListReply PollServerSession::Parsed(const HttpClient::Reply& reply) {
    PollListReply parsed;
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.contentLength, std::optional<std::size_t>(reply.body.size()));
    EXPECT_EQ(reply.contentType, "text/xml; charset=UTF-8");
    EXPECT_TRUE(parsed.Parse(reply.body)) << reply.body;
    return parsed;
}

PollListReply PollServerSession::List(const std::string& author, const std::string& module) {
    return Parsed(Results("job=GetPollingResult&" +
                          HttpClient::Form({{"modulename", module}, {"userid", author}})));
}

}  // namespace quibra::test
