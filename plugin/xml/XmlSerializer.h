#pragma once

#include <libxml/tree.h>

#include <string>

namespace quibra {

// Writes a document exactly as the system's files look: the declaration
// `<?xml version="1.0" encoding="UTF-8"?>` when the document has one, then each
// top-level node followed by CR LF. Inside elements nothing is added or
// reformatted: indentation is whatever text nodes the tree holds.
class XmlSerializer {
public:
    static std::string Serialize(const xmlDoc* doc, bool withDeclaration);

private:
    static void WriteNode(std::string& out, const xmlNode* node);
    static void WriteQualifiedName(std::string& out, const xmlNode* node);
    static void WriteEscaped(std::string& out, const xmlChar* text, bool attribute);
};

}  // namespace quibra
