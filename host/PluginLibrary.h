#pragma once

#include <cstdint>
#include <string>

#include "quibra/CQuibraExport.h"
#include "quibra/CWenDoc.h"
#include "quibra/CWenNode.h"

// libQuibra.so, loaded at run time the way a conferencing client loads its
// plug-ins. The host is not linked against the library: the few members it
// calls are looked up by their exported (Itanium-mangled) names and called
// through pointers whose first parameter is the object. One instance per
// process, like the plug-in's own manager.
class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Opens the library file at `path` and resolves every member used. False,
    // with the reason in Error(), when the file or any member is missing.
    bool Load(const std::string& path);
    const std::string& Error() const { return m_error; }

    // CQuibraExport::CreateQuibraManager; null before Load or after Free.
    IFeedBackNotify* Create(IPollNotify* notify);
    // CQuibraExport::FreeAllPollingObject, once for the one Create.
    void Free();
    IFeedBackNotify* Manager() const { return m_manager; }

    // Parses `xml` into a document of the plug-in and hands its root to the
    // manager's Notify. -1 when nothing was created or the text is not XML.
    int32_t SendXml(const wchar_t* path, const std::string& xml);
    // A message whose payload is a wide string ("/polling/in/putuserid").
    int32_t SendText(const wchar_t* path, const std::wstring& text);
    // A message without payload ("/polling/in/showmanager").
    int32_t Send(const wchar_t* path);

private:
    // Room for the library's CWenNode returned by value: the class has a
    // destructor, so it comes back through a caller-provided buffer, which the
    // ABI lays out the same for a free function taking the object first.
    struct NodeSlot {
        alignas(CWenNode) unsigned char bytes[sizeof(CWenNode)];
        ~NodeSlot();
    };
    struct DocSlot {
        alignas(CWenDoc) unsigned char bytes[sizeof(CWenDoc)];
    };

    void* Symbol(const char* name);

    void* m_handle = nullptr;
    std::string m_error;
    CQuibraExport m_entry;
    IFeedBackNotify* m_manager = nullptr;

    IFeedBackNotify* (*m_create)(CQuibraExport*, POLLMODE, IPollNotify*) = nullptr;
    void (*m_freeAll)(CQuibraExport*) = nullptr;
    void (*m_docConstruct)(void*) = nullptr;
    void (*m_docDestruct)(void*) = nullptr;
    NodeSlot (*m_docLoadXml)(void*, const std::string&) = nullptr;
    // Shared with NodeSlot's destructor; the process has one library.
    static inline void (*s_nodeDestruct)(void*) = nullptr;
};
