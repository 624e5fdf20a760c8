#include "quibra/CWenDoc.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "xml/WideString.h"
#include "xml/XmlDocumentState.h"
#include "xml/XmlSerializer.h"

using quibra::XmlDocumentState;

namespace {

const xmlChar* X(const std::string& s) {
    return reinterpret_cast<const xmlChar*>(s.c_str());
}

// Entity references are never expanded: every reference is dropped together with
// the document type, so neither a recursive nor an external entity reaches a reader.
void DropEntities(xmlNodePtr node) {
    while (node != nullptr) {
        xmlNodePtr next = node->next;
        if (node->type == XML_ENTITY_REF_NODE) {
            xmlUnlinkNode(node);
            xmlFreeNode(node);
        } else if (node->type == XML_ELEMENT_NODE) {
            for (xmlAttrPtr attr = node->properties; attr != nullptr; attr = attr->next)
                DropEntities(attr->children);
            DropEntities(node->children);
        }
        node = next;
    }
}

std::shared_ptr<xmlDoc> ParseBytes(const std::string& bytes) {
    quibra::XmlDocumentState::EnsureParserReady();
    // No network, no DTD loading, no entity substitution, quiet on errors.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDocPtr doc = bytes.empty() ? nullptr
                                  : xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()),
                                                  nullptr, nullptr, options);
    if (doc == nullptr) {
        // A failed load still leaves an (empty) document behind.
        xmlDocPtr empty = xmlNewDoc(X("1.0"));
        return XmlDocumentState::Adopt(empty, false);
    }
    if (doc->intSubset != nullptr || doc->extSubset != nullptr) {
        DropEntities(doc->children);
        if (xmlDtdPtr dtd = doc->intSubset) {
            xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(dtd));
            doc->intSubset = nullptr;
            if (doc->extSubset == dtd) doc->extSubset = nullptr;
            xmlFreeDtd(dtd);
        }
        if (xmlDtdPtr dtd = doc->extSubset) {
            xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(dtd));
            doc->extSubset = nullptr;
            xmlFreeDtd(dtd);
        }
    }
    // libxml2 marks a document without an XML declaration with standalone == -1.
    return XmlDocumentState::Adopt(doc, doc->standalone != -1);
}

}  // namespace

CWenDoc::CWenDoc() = default;
CWenDoc::~CWenDoc() = default;
CWenDoc::CWenDoc(const CWenDoc&) = default;
CWenDoc& CWenDoc::operator=(const CWenDoc&) = default;

CWenNode CWenDoc::Create(const std::wstring& rootName) {
    m_doc.reset();
    try {
        XmlDocumentState::EnsureParserReady();
        const std::string name = quibra::ToUtf8(rootName);
        if (xmlValidateName(X(name), 0) != 0) return CWenNode();
        auto doc = XmlDocumentState::Adopt(xmlNewDoc(X("1.0")), true);
        if (!doc) return CWenNode();
        if (xmlNodePtr comment =
                xmlNewDocComment(doc.get(), X("Generate by Wendrake application.")))
            xmlAddChild(reinterpret_cast<xmlNodePtr>(doc.get()), comment);
        xmlNodePtr root = xmlNewDocNode(doc.get(), nullptr, X(name), nullptr);
        if (root == nullptr) return CWenNode();
        xmlAddChild(reinterpret_cast<xmlNodePtr>(doc.get()), root);
        m_doc = doc;
        return CWenNode(m_doc, root, 1);
    } catch (...) {
        m_doc.reset();
        return CWenNode();
    }
}

CWenNode CWenDoc::Load(const std::wstring& path) {
    std::string bytes;
    try {
        // Plain stdio sized from the file: a whole document is one read, and no
        // stream or locale is set up for it (loads run on fresh request threads).
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(quibra::ToUtf8(path).c_str(), "rb"),
                                                   &std::fclose);
        if (file) {
            struct stat info {};
            const size_t size = fstat(fileno(file.get()), &info) == 0 && info.st_size > 0
                                    ? static_cast<size_t>(info.st_size)
                                    : 0;
            // The spare byte, and the growth below, still read a file that grew meanwhile.
            bytes.resize(size + 1);
            size_t have = 0;
            for (;;) {
                if (have == bytes.size()) bytes.resize(bytes.size() * 2);
                const size_t got =
                    std::fread(bytes.data() + have, 1, bytes.size() - have, file.get());
                have += got;
                if (got == 0) break;
            }
            bytes.resize(std::ferror(file.get()) != 0 ? 0 : have);
        }
    } catch (...) {
        bytes.clear();
    }
    return LoadXml(bytes);
}

CWenNode CWenDoc::LoadXml(const std::string& bytes) {
    try {
        m_doc = ParseBytes(bytes);
    } catch (...) {
        m_doc.reset();
    }
    return GetRoot();
}

std::string CWenDoc::SaveToString() const {
    if (!m_doc) return std::string();
    return quibra::XmlSerializer::Serialize(m_doc.get(),
                                            XmlDocumentState::HasDeclaration(m_doc.get()));
}

bool CWenDoc::Save(const std::wstring& path) const {
    if (!m_doc) return false;
    try {
        const std::string bytes = SaveToString();
        FILE* file = std::fopen(quibra::ToUtf8(path).c_str(), "wb");
        if (file == nullptr) return false;
        const bool written =
            bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        const bool closed = std::fclose(file) == 0;
        return written && closed;
    } catch (...) {
        return false;
    }
}

void CWenDoc::Close() {
    m_doc.reset();
}

CWenNode CWenDoc::GetRoot() const {
    return CWenNode(*this);
}
