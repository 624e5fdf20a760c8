#pragma once

#include <string>
#include <string_view>

#include "HttpReply.h"

namespace quibra::pollserver {

class HttpConnection;
class RequestHead;

// What the engine hands a whole request to, on the event thread that read it.
// It must answer through the connection: Reply at once, or ReplyLater and the
// reply when it is ready (the event thread goes on meanwhile).
class RequestHandler {
public:
    virtual void Handle(HttpConnection& connection, const RequestHead& head, std::string& body) = 0;
    // The reply to a request the engine refuses itself (414, 431, 405, 413, 503...).
    virtual HttpReply Error(int status, std::string_view message) = 0;

protected:
    ~RequestHandler() = default;
};

}  // namespace quibra::pollserver
