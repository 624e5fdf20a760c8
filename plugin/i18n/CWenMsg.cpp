#include "i18n/CWenMsg.h"

#include <cwchar>
#include <filesystem>

#include "i18n/LanguageId.h"
#include "quibra/CWenDoc.h"
#include "quibra/CWenNode.h"
#include "quibra/CWenNodeList.h"
#include "xml/WideString.h"

namespace {

// Language files write a line break as the four characters \r\n.
void ExpandLineBreaks(std::wstring& text) {
    static constexpr std::wstring_view kEscape = L"\\r\\n";
    for (size_t at = text.find(kEscape); at != std::wstring::npos; at = text.find(kEscape, at + 2))
        text.replace(at, kEscape.size(), L"\r\n");
}

bool FileExists(const std::wstring& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(quibra::ToUtf8(path), ec);
}

}  // namespace

CWenMsg::CWenMsg() = default;

CWenMsg::~CWenMsg() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_table.clear();
}

CWenMsg& CWenMsg::GetInstance() {
    static CWenMsg instance;
    return instance;
}

bool CWenMsg::Init(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && (base.back() == L'/' || base.back() == L'\\')) base.pop_back();

    std::wstring path =
        base + L"/" + quibra::ToHexWide(quibra::GetUserDefaultLangID(), 4, false) + L".xml";
    // US English is the fallback; it is not checked, a missing one simply leaves the table not
    // loaded.
    if (!FileExists(path)) path = base + L"/0409.xml";
    return Load(path);
}

bool CWenMsg::Load(const std::wstring& path) {
    CWenDoc doc;
    int count = 0;
    bool ok = true;
    try {
        CWenNode root = doc.Load(path);
        CWenNode language =
            root.IsNull() ? CWenNode() : root.SelectSingleNode(L"//Wendrake//Language");
        if (language.IsNull()) {
            m_loaded = false;
            return false;
        }
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        m_table.clear();
        CWenNodeList messages = language.GetChildNodes(L"Message");
        for (CWenNode message = messages.Next(); !message.IsNull(); message = messages.Next()) {
            std::wstring id = message.GetAttribute(L"id");
            if (id.empty()) continue;
            if (m_table.emplace(std::move(id), message.GetAttribute(L"Label")).second) ++count;
        }
    } catch (...) {
        // Parser errors and anything else: keep what was read so far.
        ok = false;
    }
    m_loaded = count > 0;
    return ok;
}

std::wstring CWenMsg::GetMsg(int id) const {
    if (!m_loaded) return L"Msg not init";
    std::wstring text;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        auto found = m_table.find(quibra::ToWide(id));
        if (found == m_table.end()) return L"Msg(" + quibra::ToWide(id) + L")";
        text = found->second;
    }
    ExpandLineBreaks(text);
    return text;
}
