#pragma once

#include <memory>
#include <string>

#include "quibra/CWenNodeList.h"
#include "quibra/QuibraApi.h"

struct _xmlDoc;
struct _xmlNode;
class CWenDoc;

// A handle to one node of a document. The empty handle stands for "not found":
// every read on it gives the empty string, or -1 where an integer is read.
// Integer reads follow atoi after an empty-means--1 rule: "" -> -1, "12px" -> 12,
// "abc" -> 0.
class QUIBRA_API CWenNode {
public:
    // Empty handle, level 1.
    CWenNode();
    // The document's root element, level 1 (empty when it has none).
    explicit CWenNode(const CWenDoc& doc);
    virtual ~CWenNode();
    CWenNode(const CWenNode&);
    CWenNode& operator=(const CWenNode&);

    // Handle on any node of a document made by CWenDoc; empty for null.
    static CWenNode FromNode(_xmlNode* node);
    // As FromNode, but anything other than an element gives the empty handle.
    static CWenNode FromElement(_xmlNode* node);

    bool IsNull() const { return m_node == nullptr; }
    // The underlying node; valid while this handle (or another) keeps the document.
    _xmlNode* GetDomNode() const { return m_node; }
    // Indentation depth for AddChild: 1, or parent + 1 (at most 10) for AddChild results.
    int GetLevel() const { return m_level; }
    // Element name, or the empty string.
    std::wstring GetName() const;

    // Text of the node and all its descendants, white space kept.
    std::wstring GetText() const;
    int GetTextInt() const;
    // Replaces every child (indentation and elements too) with one text node.
    void SetText(const std::wstring& text);
    void SetTextInt(int value);

    bool HasAttribute(const std::wstring& name) const;
    std::wstring GetAttribute(const std::wstring& name) const;
    int GetAttributeInt(const std::wstring& name) const;
    // Never overwrites: an existing attribute of that name keeps its value.
    void AddAttribute(const std::wstring& name, const std::wstring& value);
    void AddAttributeInt(const std::wstring& name, int value);

    // Appends CR LF + level TABs, the new element, then CR LF. Empty handle: nothing.
    CWenNode AddChild(const std::wstring& name);
    // First child element with exactly this name; only direct children.
    CWenNode GetChild(const std::wstring& name) const;
    // All children (the list skips non-elements); empty list on an empty handle.
    CWenNodeList GetChildNodes() const;
    // Children named `name`. Throws CWenXmlError(kPointer) on an empty handle.
    CWenNodeList GetChildNodes(const std::wstring& name) const;
    // First node selected with this node as context, when it is an element.
    CWenNode SelectSingleNode(const std::wstring& xpath) const;
    // Throws CWenXmlError(kPointer) on an empty handle, kFail on a bad expression.
    CWenNodeList SelectNodes(const std::wstring& xpath) const;

private:
    friend class CWenDoc;
    friend class CWenNodeList;
    CWenNode(std::shared_ptr<_xmlDoc> doc, _xmlNode* node, int level);

    int m_level = 1;
    std::shared_ptr<_xmlDoc> m_doc;
    _xmlNode* m_node = nullptr;
};
