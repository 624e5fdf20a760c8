#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quibra::pollserver {

// One HTTP reply as the server writes it: the status, a body of one type, and
// any header lines beyond the ones every reply carries (Date, Content-Type,
// Content-Length, Cache-Control: no-store, and Connection: close when the
// connection ends after it).
struct HttpReply {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // extra lines, in order

    // The bytes on the wire: the head, then the body unless `withBody` is
    // false (a HEAD request). `date` is a whole "Date: ...\r\n" line.
    std::string Serialize(bool withBody, bool keepAlive, std::string_view date) const;
    // The head of a stream's reply (no body yet, not to be cached): its body
    // in chunks when `chunked`, else until the connection closes.
    std::string StreamHead(bool chunked, std::string_view date) const;
    static std::string_view Reason(int status);
};

}  // namespace quibra::pollserver
