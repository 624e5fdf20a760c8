#include "PluginLibrary.h"

#include <dlfcn.h>

#include <new>

#include "quibra/CWenDoc.h"

namespace {

// The exported members the host calls, by their names in the library's
// dynamic symbol table.
constexpr const char* kCreate = "_ZN13CQuibraExport19CreateQuibraManagerE8POLLMODEP11IPollNotify";
constexpr const char* kFreeAll = "_ZN13CQuibraExport20FreeAllPollingObjectEv";
constexpr const char* kDocConstruct = "_ZN7CWenDocC1Ev";
constexpr const char* kDocDestruct = "_ZN7CWenDocD1Ev";
constexpr const char* kDocLoadXml =
    "_ZN7CWenDoc7LoadXmlERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE";
constexpr const char* kNodeDestruct = "_ZN8CWenNodeD1Ev";

}  // namespace

PluginLibrary::NodeSlot::~NodeSlot() {
    if (s_nodeDestruct != nullptr) s_nodeDestruct(bytes);
}

PluginLibrary::~PluginLibrary() {
    Free();
    // The library is linked to stay mapped (request threads may outlive
    // FreeAllPollingObject), so the handle is simply left open.
}

void* PluginLibrary::Symbol(const char* name) {
    void* found = dlsym(m_handle, name);
    if (found == nullptr && m_error.empty())
        m_error = std::string("the plug-in lacks the exported member ") + name;
    return found;
}

bool PluginLibrary::Load(const std::string& path) {
    m_error.clear();
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* why = dlerror();
        m_error = "cannot load " + path + ": " + (why != nullptr ? why : "unknown reason");
        return false;
    }
    m_create = reinterpret_cast<decltype(m_create)>(Symbol(kCreate));
    m_freeAll = reinterpret_cast<decltype(m_freeAll)>(Symbol(kFreeAll));
    m_docConstruct = reinterpret_cast<decltype(m_docConstruct)>(Symbol(kDocConstruct));
    m_docDestruct = reinterpret_cast<decltype(m_docDestruct)>(Symbol(kDocDestruct));
    m_docLoadXml = reinterpret_cast<decltype(m_docLoadXml)>(Symbol(kDocLoadXml));
    s_nodeDestruct = reinterpret_cast<void (*)(void*)>(Symbol(kNodeDestruct));
    return m_error.empty();
}

IFeedBackNotify* PluginLibrary::Create(IPollNotify* notify) {
    if (m_create == nullptr || m_manager != nullptr) return m_manager;
    m_manager = m_create(&m_entry, POLLMODE_PRESENTER, notify);
    return m_manager;
}

void PluginLibrary::Free() {
    if (m_manager == nullptr) return;
    m_manager = nullptr;
    m_freeAll(&m_entry);
}

int32_t PluginLibrary::SendXml(const wchar_t* path, const std::string& xml) {
    if (m_manager == nullptr) return -1;
    DocSlot doc;
    m_docConstruct(doc.bytes);
    int32_t result = -1;
    {
        NodeSlot node = m_docLoadXml(doc.bytes, xml);
        // GetDomNode is inline: it reads the handle without calling the library.
        const auto* root = std::launder(reinterpret_cast<const CWenNode*>(node.bytes));
        if (!root->IsNull()) result = m_manager->Notify(path, const_cast<CWenNode*>(root));
    }
    m_docDestruct(doc.bytes);
    return result;
}

int32_t PluginLibrary::SendText(const wchar_t* path, const std::wstring& text) {
    if (m_manager == nullptr) return -1;
    return m_manager->Notify(path, const_cast<wchar_t*>(text.c_str()));
}

int32_t PluginLibrary::Send(const wchar_t* path) {
    if (m_manager == nullptr) return -1;
    return m_manager->Notify(path, nullptr);
}
