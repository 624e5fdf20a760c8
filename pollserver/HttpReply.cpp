#include "HttpReply.h"

namespace quibra::pollserver {

std::string_view HttpReply::Reason(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        default:
            return "Unknown";
    }
}

std::string HttpReply::StreamHead(bool chunked, std::string_view date) const {
    std::string out = "HTTP/1.1 " + std::to_string(status) + ' ' + std::string(Reason(status));
    out += "\r\n";
    out += date;
    out += "Content-Type: " + contentType + "\r\nCache-Control: no-cache\r\n";
    for (const auto& [name, value] : headers) out += name + ": " + value + "\r\n";
    out += chunked ? "Transfer-Encoding: chunked\r\n\r\n" : "Connection: close\r\n\r\n";
    return out;
}

std::string HttpReply::Serialize(bool withBody, bool keepAlive, std::string_view date) const {
    std::string out;
    out += "HTTP/1.1 ";
    out += std::to_string(status);
    out += ' ';
    out += Reason(status);
    out += "\r\n";
    out += date;
    out += "Content-Type: ";
    out += contentType;
    out += "\r\nContent-Length: ";
    out += std::to_string(body.size());
    out += "\r\nCache-Control: no-store\r\n";
    for (const auto& [name, value] : headers) {
        out += name;
        out += ": ";
        out += value;
        out += "\r\n";
    }
    if (!keepAlive) out += "Connection: close\r\n";
    out += "\r\n";
    if (withBody) out += body;
    return out;
}

}  // namespace quibra::pollserver
