#pragma once

#include <string>

#include "quibra/CWenDoc.h"
#include "quibra/CWenNode.h"

// One XML settings file: a fixed file name inside a folder set later. A file that
// is missing or malformed leaves the object not loaded, so a later Open tries
// again; a loaded file is never parsed twice until it is closed.
// Not thread-safe: opening and reading must not overlap.
class CXmlSettingsFile {
public:
    explicit CXmlSettingsFile(std::wstring fileName);
    // Closes the file; never throws.
    virtual ~CXmlSettingsFile();
    CXmlSettingsFile(const CXmlSettingsFile&) = delete;
    CXmlSettingsFile& operator=(const CXmlSettingsFile&) = delete;

    // False without a file name or folder, or when the file does not parse to a
    // root element; true at once when already loaded.
    virtual bool Open();
    // Drops the document when loaded; otherwise nothing.
    virtual void Close();
    // The base is read-only and answers false; writable files override it.
    virtual bool Save();

    // Only stores the folder; the next Open uses it.
    void SetFolder(const std::wstring& folder);
    const std::wstring& GetFolder() const { return m_folder; }
    const std::wstring& GetFileName() const { return m_fileName; }
    // Empty when the folder is; otherwise folder + "/" + file name, where an
    // existing trailing "/" or "\" of the folder stands for the separator.
    std::wstring GetFullPath() const;

    bool IsLoaded() const { return m_loaded; }
    // Counts every change of the loaded document: a successful Open and a Close
    // of a loaded file each add one. A reader may keep what it derived from the
    // document while this count stays the same.
    unsigned LoadCount() const { return m_loadCount; }
    // The root element, or the empty handle while not loaded.
    CWenNode GetRoot() const { return m_root; }

protected:
    // Writes the loaded document back to GetFullPath(); false when not loaded
    // or on any write error.
    bool WriteDocument() const;

private:
    bool m_loaded = false;
    unsigned m_loadCount = 0;
    std::wstring m_fileName;
    std::wstring m_folder;
    CWenDoc m_doc;
    CWenNode m_root;
};
