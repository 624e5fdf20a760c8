#include "xml/XmlDocumentState.h"

#include <libxml/parser.h>

#include <mutex>

namespace quibra {

XmlDocumentState* XmlDocumentState::Of(const xmlDoc* doc) {
    return doc != nullptr ? static_cast<XmlDocumentState*>(doc->_private) : nullptr;
}

void XmlDocumentState::Free(xmlDocPtr doc) {
    if (auto* state = Of(doc)) {
        for (xmlNodePtr node : state->m_retired) xmlFreeNode(node);
        delete state;
        doc->_private = nullptr;
    }
    xmlFreeDoc(doc);
}

std::shared_ptr<xmlDoc> XmlDocumentState::Adopt(xmlDocPtr doc, bool hasDeclaration) {
    if (doc == nullptr) return nullptr;
    auto* state = new XmlDocumentState;
    state->m_hasDeclaration = hasDeclaration;
    doc->_private = state;
    std::shared_ptr<xmlDoc> shared(doc, &XmlDocumentState::Free);
    state->m_self = shared;
    return shared;
}

std::shared_ptr<xmlDoc> XmlDocumentState::OwnerOf(xmlNodePtr node) {
    if (node == nullptr) return nullptr;
    auto* state = Of(node->doc);
    return state != nullptr ? state->m_self.lock() : nullptr;
}

bool XmlDocumentState::HasDeclaration(const xmlDoc* doc) {
    auto* state = Of(doc);
    return state != nullptr && state->m_hasDeclaration;
}

void XmlDocumentState::Retire(xmlNodePtr node) {
    auto* state = Of(node->doc);
    xmlUnlinkNode(node);
    if (state != nullptr)
        state->m_retired.push_back(node);
    else
        xmlFreeNode(node);
}

void XmlDocumentState::EnsureParserReady() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace quibra
