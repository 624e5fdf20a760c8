#include "NodeText.h"

#include <libxml/tree.h>

#include <memory>

#include "quibra/CWenNode.h"

namespace NodeText {

std::string OneLine(const CWenNode* node) {
    if (node == nullptr || node->IsNull()) return {};
    xmlNodePtr dom = node->GetDomNode();
    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), &xmlBufferFree);
    if (!buffer || xmlNodeDump(buffer.get(), dom->doc, dom, 0, 0) < 0) return {};
    const std::string dumped(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                             static_cast<std::size_t>(xmlBufferLength(buffer.get())));
    // The serializer writes raw breaks only in text content (attribute values
    // come escaped already), where a character reference is equivalent.
    std::string line;
    line.reserve(dumped.size());
    for (char c : dumped) {
        if (c == '\n')
            line += "&#10;";
        else if (c == '\r')
            line += "&#13;";
        else
            line += c;
    }
    return line;
}

std::vector<std::string> ChildTexts(const CWenNode* node) {
    std::vector<std::string> texts;
    if (node == nullptr || node->IsNull()) return texts;
    for (xmlNodePtr child = node->GetDomNode()->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        xmlChar* content = xmlNodeGetContent(child);
        texts.emplace_back(content != nullptr ? reinterpret_cast<const char*>(content) : "");
        xmlFree(content);
    }
    return texts;
}

std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            case '\t':
                out += "&#9;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace NodeText
