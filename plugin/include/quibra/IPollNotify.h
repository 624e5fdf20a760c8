#pragma once

#include <cstdint>

class CWenNode;

// Plug-in -> host. Implemented by the host. The plug-in calls only Notify, on
// the thread that runs the worker (the host's user-interface thread), with the
// root element "Polling" of a small notification document; the node is valid
// for the duration of the call only. The result is ignored.
class IPollNotify {
public:
    virtual int32_t Notify(const wchar_t* path, const CWenNode* payload) = 0;

protected:
    ~IPollNotify() = default;
};
