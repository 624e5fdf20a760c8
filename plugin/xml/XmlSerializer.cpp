#include "xml/XmlSerializer.h"

#include <cstring>

namespace quibra {

namespace {
const char* Str(const xmlChar* s) {
    return s != nullptr ? reinterpret_cast<const char*>(s) : "";
}

// The parser keeps each "&" of a namespace name as the reference "&#38;" (the
// name is not split into text nodes as attribute values are); the name itself
// is escaped on writing, so it loads again unchanged.
std::string NamespaceName(const xmlChar* href) {
    std::string name;
    for (const char* p = Str(href); *p != '\0'; ++p) {
        name += *p;
        if (*p == '&' && std::strncmp(p + 1, "#38;", 4) == 0) p += 4;
    }
    return name;
}
}  // namespace

std::string XmlSerializer::Serialize(const xmlDoc* doc, bool withDeclaration) {
    std::string out;
    if (doc == nullptr) return out;
    if (withDeclaration) out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    for (const xmlNode* node = doc->children; node != nullptr; node = node->next) {
        if (node->type == XML_DTD_NODE) continue;
        WriteNode(out, node);
        out += "\r\n";
    }
    return out;
}

void XmlSerializer::WriteQualifiedName(std::string& out, const xmlNode* node) {
    if (node->ns != nullptr && node->ns->prefix != nullptr) {
        out += Str(node->ns->prefix);
        out += ':';
    }
    out += Str(node->name);
}

void XmlSerializer::WriteEscaped(std::string& out, const xmlChar* text, bool attribute) {
    for (const char* p = Str(text); *p != '\0'; ++p) {
        switch (*p) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            // Attribute values are normalised on reading: keep quotes and line
            // breaks as references so a value survives a save and a load.
            case '"':
                out += attribute ? "&quot;" : "\"";
                break;
            case '\r':
                out += attribute ? "&#13;" : "\r";
                break;
            case '\n':
                out += attribute ? "&#10;" : "\n";
                break;
            case '\t':
                out += attribute ? "&#9;" : "\t";
                break;
            default: {
                // Characters XML 1.0 cannot carry at all (C0 controls, U+FFFE,
                // U+FFFF) become U+FFFD, so a saved file always loads again.
                const auto byte = static_cast<unsigned char>(*p);
                if (byte < 0x20) {
                    out += "\xEF\xBF\xBD";
                } else if (byte == 0xEF && static_cast<unsigned char>(p[1]) == 0xBF &&
                           (static_cast<unsigned char>(p[2]) == 0xBE ||
                            static_cast<unsigned char>(p[2]) == 0xBF)) {
                    out += "\xEF\xBF\xBD";
                    p += 2;
                } else {
                    out += *p;
                }
            }
        }
    }
}

void XmlSerializer::WriteNode(std::string& out, const xmlNode* node) {
    switch (node->type) {
        case XML_ELEMENT_NODE: {
            out += '<';
            WriteQualifiedName(out, node);
            for (const xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next) {
                out += ns->prefix != nullptr ? " xmlns:" : " xmlns";
                out += Str(ns->prefix);
                out += "=\"";
                WriteEscaped(out, BAD_CAST NamespaceName(ns->href).c_str(), true);
                out += '"';
            }
            for (const xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
                out += ' ';
                WriteQualifiedName(out, reinterpret_cast<const xmlNode*>(attr));
                out += "=\"";
                for (const xmlNode* part = attr->children; part != nullptr; part = part->next)
                    WriteEscaped(out, part->content, true);
                out += '"';
            }
            if (node->children == nullptr) {
                out += "/>";
                break;
            }
            out += '>';
            for (const xmlNode* child = node->children; child != nullptr; child = child->next)
                WriteNode(out, child);
            out += "</";
            WriteQualifiedName(out, node);
            out += '>';
            break;
        }
        case XML_TEXT_NODE:
            WriteEscaped(out, node->content, false);
            break;
        case XML_CDATA_SECTION_NODE:
            out += "<![CDATA[";
            out += Str(node->content);
            out += "]]>";
            break;
        case XML_COMMENT_NODE:
            out += "<!--";
            out += Str(node->content);
            out += "-->";
            break;
        case XML_PI_NODE:
            out += "<?";
            out += Str(node->name);
            if (node->content != nullptr && *node->content != '\0') {
                out += ' ';
                out += Str(node->content);
            }
            out += "?>";
            break;
        default:
            break;  // entity references and DTD parts are dropped at load
    }
}

}  // namespace quibra
