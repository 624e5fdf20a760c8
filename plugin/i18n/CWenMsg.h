#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

// The localised message table: every text shown to a person, by numeric id,
// from the language file of the user's language. One instance serves the
// process (GetInstance()); further instances exist only for tests.
// GetMsg may be called from any thread; the lock is recursive, so a lookup on
// the thread that is loading does not block.
class CWenMsg {
public:
    CWenMsg();
    virtual ~CWenMsg();
    CWenMsg(const CWenMsg&) = delete;
    CWenMsg& operator=(const CWenMsg&) = delete;

    static CWenMsg& GetInstance();

    // Loads folder + "/%04x.xml" of the user's language id, or folder +
    // "/0409.xml" when that file does not exist. One trailing "/" or "\" of the
    // folder is dropped. Returns Load's result.
    bool Init(const std::wstring& folder);
    // Rebuilds the table from the Message children of the first Language
    // element below a Wendrake element; the first label of an id wins, empty
    // ids are skipped. A file that cannot be read or has no Language element
    // leaves the table as it was and not loaded. False when the table was not
    // rebuilt or an error cut the rebuild short (the entries read so far stay).
    bool Load(const std::wstring& path);
    // True when the last load put at least one entry into the table.
    bool IsLoaded() const { return m_loaded.load(); }
    // The text of the id, with every literal "\r\n" (four characters) turned
    // into CR LF; "Msg not init" while not loaded, "Msg(<id>)" for a missing id.
    std::wstring GetMsg(int id) const;

private:
    std::map<std::wstring, std::wstring> m_table;
    // Read without the lock, as a lookup only needs to know whether to try.
    std::atomic<bool> m_loaded{false};
    mutable std::recursive_mutex m_lock;
};
