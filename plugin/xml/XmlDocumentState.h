#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <vector>

namespace quibra {

// Book-keeping that rides on every document we create (in xmlDoc::_private):
// - a weak reference to the shared owner, so a handle can be made from a bare node;
// - nodes unlinked from the tree (SetText replaces children), which stay allocated
//   until the document goes, so a handle to a replaced node never dangles;
// - whether the document has an XML declaration to write back.
class XmlDocumentState {
public:
    // Takes ownership of `doc` and attaches the state. Null gives null.
    static std::shared_ptr<xmlDoc> Adopt(xmlDocPtr doc, bool hasDeclaration);
    // The shared owner of the node's document; null for nodes of foreign documents.
    static std::shared_ptr<xmlDoc> OwnerOf(xmlNodePtr node);
    static bool HasDeclaration(const xmlDoc* doc);
    // Unlinks `node` and keeps it until the document is freed.
    static void Retire(xmlNodePtr node);

    // libxml2 needs one initialisation per process before threads use it.
    static void EnsureParserReady();

private:
    static XmlDocumentState* Of(const xmlDoc* doc);
    static void Free(xmlDocPtr doc);

    std::weak_ptr<xmlDoc> m_self;
    std::vector<xmlNodePtr> m_retired;
    bool m_hasDeclaration = false;
};

}  // namespace quibra
