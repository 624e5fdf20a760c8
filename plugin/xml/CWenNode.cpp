#include "quibra/CWenNode.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <new>
#include <string_view>

#include "quibra/CWenDoc.h"
#include "quibra/CWenXmlError.h"
#include "xml/WideString.h"
#include "xml/XmlDocumentState.h"

using quibra::FromUtf8;
using quibra::ToUtf8;
using quibra::XmlDocumentState;

struct CWenNodeList::Items {
    std::shared_ptr<xmlDoc> doc;
    std::vector<xmlNodePtr> nodes;
    size_t cursor = 0;
};

namespace {

const xmlChar* X(const std::string& s) {
    return reinterpret_cast<const xmlChar*>(s.c_str());
}
const char* C(const xmlChar* s) {
    return s != nullptr ? reinterpret_cast<const char*>(s) : "";
}

// "prefix:name" as the DOM names elements and attributes.
std::string QualifiedName(const xmlNode* node) {
    std::string name;
    if (node->ns != nullptr && node->ns->prefix != nullptr) {
        name = C(node->ns->prefix);
        name += ':';
    }
    name += C(node->name);
    return name;
}

void AppendText(std::string& out, const xmlNode* node) {
    for (; node != nullptr; node = node->next) {
        switch (node->type) {
            case XML_TEXT_NODE:
            case XML_CDATA_SECTION_NODE:
                out += C(node->content);
                break;
            case XML_ELEMENT_NODE:
                AppendText(out, node->children);
                break;
            default:
                break;  // comments and instructions inside an element are not its text
        }
    }
}

// Whether the qualified name of `node` is `wanted`, compared in place: lookups
// run for every field a reader takes from a document.
bool HasQualifiedName(const xmlNode* node, std::string_view wanted) {
    const std::string_view local(C(node->name));
    if (node->ns != nullptr && node->ns->prefix != nullptr) {
        const std::string_view prefix(C(node->ns->prefix));
        return wanted.size() == prefix.size() + 1 + local.size() &&
               wanted.substr(0, prefix.size()) == prefix && wanted[prefix.size()] == ':' &&
               wanted.substr(prefix.size() + 1) == local;
    }
    return wanted == local;
}

xmlAttrPtr FindAttribute(const xmlNode* node, std::string_view name) {
    if (node == nullptr || node->type != XML_ELEMENT_NODE) return nullptr;
    for (xmlAttrPtr attr = node->properties; attr != nullptr; attr = attr->next)
        if (HasQualifiedName(reinterpret_cast<const xmlNode*>(attr), name)) return attr;
    return nullptr;
}

void RequireValidName(const std::string& name, const char* where) {
    if (xmlValidateQName(X(name), 0) != 0) throw CWenXmlError(CWenXmlError::kFail, where);
}

void Check(const void* made, const char* where) {
    if (made == nullptr) throw CWenXmlError(CWenXmlError::kOutOfMemory, where);
}

void IgnoreXPathError(void*, xmlErrorPtr) {}

// Runs an XPath expression with `context` as the context node; throws on an
// expression the engine rejects or that does not select nodes.
CWenNodeList::Items Evaluate(const std::shared_ptr<xmlDoc>& doc, xmlNodePtr context,
                             const std::wstring& expression, const char* where) {
    xmlXPathContextPtr ctx = xmlXPathNewContext(doc.get());
    Check(ctx, where);
    ctx->node = context;
    ctx->error = &IgnoreXPathError;
    const std::string expr = ToUtf8(expression);
    xmlXPathObjectPtr result = xmlXPathEvalExpression(X(expr), ctx);
    xmlXPathFreeContext(ctx);
    if (result == nullptr) throw CWenXmlError(CWenXmlError::kFail, where);
    if (result->type != XPATH_NODESET) {
        xmlXPathFreeObject(result);
        throw CWenXmlError(CWenXmlError::kFail, where);
    }
    CWenNodeList::Items items;
    items.doc = doc;
    // Namespace nodes in a result are copies that die with it; they are never
    // elements, so they are left out rather than kept dangling.
    if (result->nodesetval != nullptr)
        for (int i = 0; i < result->nodesetval->nodeNr; ++i)
            if (result->nodesetval->nodeTab[i]->type != XML_NAMESPACE_DECL)
                items.nodes.push_back(result->nodesetval->nodeTab[i]);
    xmlXPathFreeObject(result);
    return items;
}

}  // namespace

CWenNode::CWenNode() = default;

CWenNode::CWenNode(const CWenDoc& doc) {
    if (doc.m_doc) {
        if (xmlNodePtr root = xmlDocGetRootElement(doc.m_doc.get())) {
            m_doc = doc.m_doc;
            m_node = root;
        }
    }
}

CWenNode::CWenNode(std::shared_ptr<_xmlDoc> doc, _xmlNode* node, int level)
    : m_level(level), m_doc(node != nullptr ? std::move(doc) : nullptr), m_node(node) {}

CWenNode::~CWenNode() = default;
CWenNode::CWenNode(const CWenNode&) = default;
CWenNode& CWenNode::operator=(const CWenNode&) = default;

CWenNode CWenNode::FromNode(_xmlNode* node) {
    auto doc = XmlDocumentState::OwnerOf(node);
    if (!doc) return CWenNode();
    return CWenNode(std::move(doc), node, 1);
}

CWenNode CWenNode::FromElement(_xmlNode* node) {
    if (node == nullptr || node->type != XML_ELEMENT_NODE) return CWenNode();
    return FromNode(node);
}

std::wstring CWenNode::GetName() const {
    if (m_node == nullptr ||
        (m_node->type != XML_ELEMENT_NODE && m_node->type != XML_ATTRIBUTE_NODE))
        return std::wstring();
    return FromUtf8(QualifiedName(m_node));
}

std::wstring CWenNode::GetText() const {
    if (m_node == nullptr) return std::wstring();
    std::string text;
    switch (m_node->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
            AppendText(text, m_node->children);
            break;
        default:
            text = C(m_node->content);
            break;
    }
    return FromUtf8(text);
}

int CWenNode::GetTextInt() const {
    return quibra::ParseIntRule(GetText());
}

void CWenNode::SetText(const std::wstring& text) {
    if (m_node == nullptr) return;
    const std::string bytes = ToUtf8(text);
    if (m_node->type != XML_ELEMENT_NODE && m_node->type != XML_ATTRIBUTE_NODE) {
        xmlNodeSetContent(m_node, nullptr);
        xmlNodeAddContent(m_node, X(bytes));
        return;
    }
    while (m_node->children != nullptr) XmlDocumentState::Retire(m_node->children);
    xmlNodePtr textNode = xmlNewDocText(m_doc.get(), X(bytes));
    Check(textNode, "CWenNode::SetText");
    xmlAddChild(m_node, textNode);
}

void CWenNode::SetTextInt(int value) {
    SetText(quibra::ToWide(value));
}

bool CWenNode::HasAttribute(const std::wstring& name) const {
    return FindAttribute(m_node, ToUtf8(name)) != nullptr;
}

std::wstring CWenNode::GetAttribute(const std::wstring& name) const {
    xmlAttrPtr attr = FindAttribute(m_node, ToUtf8(name));
    if (attr == nullptr) return std::wstring();
    const xmlNode* only = attr->children;
    if (only != nullptr && only->next == nullptr && only->type == XML_TEXT_NODE)
        return FromUtf8(C(only->content));  // the usual value: one piece of text
    std::string value;
    AppendText(value, attr->children);
    return FromUtf8(value);
}

int CWenNode::GetAttributeInt(const std::wstring& name) const {
    return quibra::ParseIntRule(GetAttribute(name));
}

void CWenNode::AddAttribute(const std::wstring& name, const std::wstring& value) {
    if (m_node == nullptr || !m_doc) return;
    const std::string attrName = ToUtf8(name);
    if (FindAttribute(m_node, attrName) != nullptr) return;
    if (m_node->type != XML_ELEMENT_NODE)
        throw CWenXmlError(CWenXmlError::kFail, "CWenNode::AddAttribute");
    RequireValidName(attrName, "CWenNode::AddAttribute");
    // xmlNewProp stores the value as plain text: no entity parsing of user data.
    Check(xmlNewProp(m_node, X(attrName), X(ToUtf8(value))), "CWenNode::AddAttribute");
}

void CWenNode::AddAttributeInt(const std::wstring& name, int value) {
    AddAttribute(name, quibra::ToWide(value));
}

CWenNode CWenNode::AddChild(const std::wstring& name) {
    if (m_node == nullptr || !m_doc) return CWenNode();
    if (m_node->type != XML_ELEMENT_NODE)
        throw CWenXmlError(CWenXmlError::kFail, "CWenNode::AddChild");
    const std::string childName = ToUtf8(name);
    RequireValidName(childName, "CWenNode::AddChild");

    std::string indent = "\r\n";
    indent.append(static_cast<size_t>(m_level > 0 ? m_level : 0), '\t');
    xmlNodePtr before = xmlNewDocText(m_doc.get(), X(indent));
    Check(before, "CWenNode::AddChild");
    xmlAddChild(m_node, before);

    xmlNodePtr child = xmlNewDocNode(m_doc.get(), nullptr, X(childName), nullptr);
    Check(child, "CWenNode::AddChild");
    xmlAddChild(m_node, child);

    xmlNodePtr after = xmlNewDocText(m_doc.get(), X("\r\n"));
    Check(after, "CWenNode::AddChild");
    xmlAddChild(m_node, after);

    return CWenNode(m_doc, child, m_level < 10 ? m_level + 1 : m_level);
}

CWenNode CWenNode::GetChild(const std::wstring& name) const {
    if (m_node == nullptr) return CWenNode();
    const std::string wanted = ToUtf8(name);
    if (m_node->type != XML_ELEMENT_NODE) return CWenNode();
    for (xmlNodePtr child = m_node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE && HasQualifiedName(child, wanted))
            return CWenNode(m_doc, child, 1);
    return CWenNode();
}

namespace {
std::shared_ptr<CWenNodeList::Items> ChildrenOf(const std::shared_ptr<xmlDoc>& doc,
                                                xmlNodePtr node) {
    auto items = std::make_shared<CWenNodeList::Items>();
    items->doc = doc;
    if (node->type == XML_ELEMENT_NODE)
        for (xmlNodePtr child = node->children; child != nullptr; child = child->next)
            items->nodes.push_back(child);
    return items;
}
}  // namespace

CWenNodeList CWenNode::GetChildNodes() const {
    if (m_node == nullptr) return CWenNodeList();
    return CWenNodeList(ChildrenOf(m_doc, m_node), std::wstring());
}

CWenNodeList CWenNode::GetChildNodes(const std::wstring& name) const {
    if (m_node == nullptr) throw CWenXmlError(CWenXmlError::kPointer, "CWenNode::GetChildNodes");
    return CWenNodeList(ChildrenOf(m_doc, m_node), name);
}

CWenNode CWenNode::SelectSingleNode(const std::wstring& xpath) const {
    if (m_node == nullptr) return CWenNode();
    CWenNodeList::Items items = Evaluate(m_doc, m_node, xpath, "CWenNode::SelectSingleNode");
    if (items.nodes.empty() || items.nodes.front()->type != XML_ELEMENT_NODE) return CWenNode();
    return CWenNode(m_doc, items.nodes.front(), 1);
}

CWenNodeList CWenNode::SelectNodes(const std::wstring& xpath) const {
    if (m_node == nullptr) throw CWenXmlError(CWenXmlError::kPointer, "CWenNode::SelectNodes");
    return CWenNodeList(std::make_shared<CWenNodeList::Items>(
                            Evaluate(m_doc, m_node, xpath, "CWenNode::SelectNodes")),
                        std::wstring());
}

// ---- CWenNodeList ----------------------------------------------------------

CWenNodeList::CWenNodeList() = default;

CWenNodeList::CWenNodeList(std::shared_ptr<Items> items, std::wstring filter)
    : m_items(std::move(items)), m_filter(std::move(filter)) {
    Reset();
}

CWenNodeList::CWenNodeList(const CWenNodeList& other)
    : m_items(other.m_items), m_filter(other.m_filter) {
    Reset();
}

CWenNodeList& CWenNodeList::operator=(const CWenNodeList& other) {
    m_items = other.m_items;
    m_filter = other.m_filter;
    Reset();
    return *this;
}

CWenNodeList::~CWenNodeList() = default;

namespace {
bool Matches(const xmlNode* node, const std::string& filter) {
    return node->type == XML_ELEMENT_NODE && (filter.empty() || HasQualifiedName(node, filter));
}
}  // namespace

CWenNode CWenNodeList::Next() {
    if (!m_items) return CWenNode();
    const std::string filter = ToUtf8(m_filter);
    while (m_items->cursor < m_items->nodes.size()) {
        xmlNodePtr node = m_items->nodes[m_items->cursor++];
        if (Matches(node, filter)) return CWenNode(m_items->doc, node, 1);
    }
    return CWenNode();
}

int CWenNodeList::GetCount() {
    if (!m_items) return 0;
    const std::string filter = ToUtf8(m_filter);
    int count = 0;
    for (size_t i = m_items->cursor; i < m_items->nodes.size(); ++i)
        if (Matches(m_items->nodes[i], filter)) ++count;
    m_items->cursor = 0;
    return count;
}

void CWenNodeList::Reset() {
    if (m_items) m_items->cursor = 0;
}
