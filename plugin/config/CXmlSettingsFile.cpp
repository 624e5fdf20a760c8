#include "config/CXmlSettingsFile.h"

#include <utility>

CXmlSettingsFile::CXmlSettingsFile(std::wstring fileName) : m_fileName(std::move(fileName)) {}

CXmlSettingsFile::~CXmlSettingsFile() {
    // Only the base close can run here; a derived part is already gone.
    try {
        CXmlSettingsFile::Close();
    } catch (...) {
    }
}

bool CXmlSettingsFile::Open() {
    if (m_fileName.empty()) return false;
    if (m_loaded) return true;
    if (m_folder.empty()) return false;
    m_root = m_doc.Load(GetFullPath());
    m_loaded = !m_root.IsNull();
    if (m_loaded) ++m_loadCount;
    return m_loaded;
}

void CXmlSettingsFile::Close() {
    if (!m_loaded) return;
    m_root = CWenNode();
    m_doc.Close();
    m_loaded = false;
    ++m_loadCount;
}

bool CXmlSettingsFile::Save() {
    return false;
}

void CXmlSettingsFile::SetFolder(const std::wstring& folder) {
    m_folder = folder;
}

std::wstring CXmlSettingsFile::GetFullPath() const {
    if (m_folder.empty()) return {};
    std::wstring path = m_folder;
    if (path.back() != L'/' && path.back() != L'\\') path += L'/';
    return path + m_fileName;
}

bool CXmlSettingsFile::WriteDocument() const {
    if (!m_loaded) return false;
    return m_doc.Save(GetFullPath());
}
