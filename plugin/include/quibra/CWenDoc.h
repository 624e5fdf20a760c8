#pragma once

#include <memory>
#include <string>

#include "quibra/CWenNode.h"
#include "quibra/QuibraApi.h"

// Owns one XML document. Nodes handed out keep the document alive, so they stay
// usable after this object is closed, replaced or destroyed.
// Not thread-safe: a document and its nodes belong to one thread at a time.
class QUIBRA_API CWenDoc {
public:
    CWenDoc();
    virtual ~CWenDoc();
    CWenDoc(const CWenDoc&);
    CWenDoc& operator=(const CWenDoc&);

    // New document: declaration, the application comment, and an empty root.
    // Returns the root (level 1), or the empty handle; never throws.
    CWenNode Create(const std::wstring& rootName);
    // Parses a file without touching the network, loading DTDs or expanding
    // entities. The document is replaced even when parsing fails, in which case
    // the empty handle is returned; never throws.
    CWenNode Load(const std::wstring& path);
    // As Load, from UTF-8 (or declared-encoding) bytes in memory.
    CWenNode LoadXml(const std::string& bytes);
    // UTF-8 without BOM; false without a document or on any error; never throws.
    bool Save(const std::wstring& path) const;
    // The exact bytes Save writes; empty without a document.
    std::string SaveToString() const;
    // Drops the document; nodes already handed out stay valid.
    void Close();

    // The root element (level 1), or the empty handle.
    CWenNode GetRoot() const;
    bool IsNull() const { return !m_doc; }

private:
    friend class CWenNode;
    std::shared_ptr<struct _xmlDoc> m_doc;
};
