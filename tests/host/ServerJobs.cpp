#include "ServerJobs.h"

namespace {
constexpr const char* kJobs = "/wendrake-idm/v4/polling/polling.asp?";
}  // namespace

std::string ServerJobs::Create(const std::string& author, const std::string& title) {
    const auto created =
        m_http.Get(m_url + kJobs + "job=CreatePolling&userid=" + author +
                   "&modulename=quibra&title=" + quibra::test::HttpClient::Encode(title) +
                   "&type=S&status=N&issign=0&ispublish=0&itemcount=2&content_0=Yes&itemname_0=A"
                   "&content_1=No&itemname_1=B");
    const std::size_t at = created.body.find("PollingId");
    if (created.status != 200 || at == std::string::npos) return {};
    const std::size_t digits = created.body.find_first_of("0123456789", at);
    return created.body.substr(digits,
                               created.body.find_first_not_of("0123456789", digits) - digits);
}

long ServerJobs::SetStatus(const std::string& pollId, const char* status) {
    return m_http
        .Get(m_url + kJobs + "job=UpdatePollingStatus&pollcount=1&pollid_0=" + pollId +
             "&status_0=" + status + "&ispublish_0=0")
        .status;
}

std::string ServerJobs::List(const std::string& author) {
    return m_http
        .Get(m_url + "/wendrake-idm/v4/polling/get_polling.asp?job=GetPollingResult&userid=" +
             author + "&modulename=quibra")
        .body;
}
