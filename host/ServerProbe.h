#pragma once

#include <QString>
#include <string>

// The host's start-up check of its PollServer: one real request in the chosen
// scheme, the plug-in's own GetPollingInfo for no poll, which a PollServer
// answers with 200 and changes nothing for. A server that does not answer in
// that scheme is asked in the other one, so that the message can name the URL
// that works ("this is an HTTP server: use --server http://127.0.0.1:8080").
// Certificates are not checked, as the plug-in does not check them; no proxy
// is used (the caller skips the check where one is configured).
namespace ServerProbe {

// True when the server answered 200 in `ssl`'s scheme; else `message` says
// what a person can do about it. `token`, when given, goes with the request as
// the plug-in sends it: a PollServer that requires tokens refuses a request
// without a good one (401), which is told apart from a server of another kind.
bool Check(const std::string& host, int port, bool ssl, QString& message,
           const std::string& token = {}, int timeoutMs = 5000);

// One request to `baseUrl` ("http://host:port"): true on 200; else `why` says
// what happened (the HTTP status, when there was one, in `status`; in
// `bearer` whether a 401 asked for a bearer token).
bool Ask(const QString& baseUrl, int timeoutMs, QString& why, int& status,
         const std::string& token = {}, bool* bearer = nullptr);

}  // namespace ServerProbe
