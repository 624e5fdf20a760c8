#pragma once

#include <string>

namespace quibra {

// What the host tells the worker about the user, the session and the server
// ("/polling/in/init" or "/polling/in/settransparams"). All start empty.
struct TransportParams {
    std::wstring userId;         // "userid": the attendee who votes
    std::wstring authorName;     // "authorname": the presenter who owns the polls
    std::wstring userName;       // "username"
    std::wstring sessionId;      // "sessionid": kept, never sent
    std::wstring moduleName;     // "modulename"
    std::wstring proxyUser;      // "proxyuser"
    std::wstring proxyPassword;  // "proxypw"
    std::wstring managerIp;      // "managerip": host[:port] of the PollServer
    std::wstring tempFolder;     // "tmpfolder": where downloaded replies land
    // "authtoken": sent as "Authorization: Bearer ..." on every server request;
    // empty: no header. Never logged, never written to a file.
    std::wstring authToken;
};

}  // namespace quibra
