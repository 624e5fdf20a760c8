#pragma once

#include <cstdint>

// Host -> plug-in. Implemented by the poll manager; the host calls it on its
// user-interface thread only.
//
// Payloads by path: a `const CWenNode*` for XML messages (owned by the caller
// for the duration of the call, may be null), a `const wchar_t*` for
// "/polling/in/putuserid", a `WindowMessageRecord*` for "/polling/in/trnaswinmsg".
class IFeedBackNotify {
public:
    // 0 = handled; 1 = the poll manager window is missing ("/polling/in/init"
    // and "/polling/in/showmanager" only). Paths match without regard to case.
    virtual int32_t Notify(const wchar_t* path, void* payload) = 0;

protected:
    ~IFeedBackNotify() = default;
};
