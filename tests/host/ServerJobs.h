#pragma once

#include <string>

#include "pollserver/HttpClient.h"

// The jobs a test sends the PollServer in place of a presenter's or an
// attendee's plug-in, over plain HTTP, without tokens.
class ServerJobs {
public:
    explicit ServerJobs(std::string httpUrl) : m_url(std::move(httpUrl)) {}

    // A single-answer poll of `author` in module "quibra" with the choices A
    // and B; its id, or empty when the server refused.
    std::string Create(const std::string& author, const std::string& title);
    // UpdatePollingStatus to "O" or "C"; the HTTP status.
    long SetStatus(const std::string& pollId, const char* status);
    // The author's poll list (GetPollingResult) as the server sends it.
    std::string List(const std::string& author);

private:
    std::string m_url;
    quibra::test::HttpClient m_http;
};
