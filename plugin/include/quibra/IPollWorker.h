#pragma once

#include <string>

class IFeedBackNotify;

// Manager -> worker, inside the plug-in. The string operations read and write
// the transport parameters; only Dispatch and SetManager are used internally.
class IPollWorker {
public:
    virtual void Dispatch(const wchar_t* path, void* payload) = 0;
    virtual std::wstring& GetUserId() = 0;
    virtual std::wstring& GetSessionId() = 0;
    virtual std::wstring& GetModuleName() = 0;
    virtual void SetUserId(const wchar_t* value) = 0;
    virtual void SetUserName(const wchar_t* value) = 0;
    virtual void SetSessionId(const wchar_t* value) = 0;
    virtual void SetModuleName(const wchar_t* value) = 0;
    virtual void SetManagerIp(const wchar_t* value) = 0;
    virtual void SetProxyUser(const wchar_t* value) = 0;
    virtual void SetProxyPassword(const wchar_t* value) = 0;
    virtual void SetTempFolder(const wchar_t* value) = 0;
    virtual void SetManager(IFeedBackNotify* manager) = 0;

protected:
    ~IPollWorker() = default;
};
