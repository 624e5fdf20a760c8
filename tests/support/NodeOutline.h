#pragma once

#include <string>

#include "quibra/CWenDoc.h"
#include "xml/WideString.h"

namespace quibra::test {

// An element on one line: name=text for leaves, name{child;child;} otherwise,
// with its ActionType as name[type]. A whole message, its envelope, field order
// and values included, then compares in one check.
inline std::string Outline(const CWenNode& node) {
    if (node.IsNull()) return std::string();
    std::string out = ToUtf8(node.GetName());
    if (node.HasAttribute(L"ActionType"))
        out += "[" + ToUtf8(node.GetAttribute(L"ActionType")) + "]";
    CWenNodeList children = node.GetChildNodes();
    if (children.GetCount() == 0) return out + "=" + ToUtf8(node.GetText());
    out += "{";
    for (CWenNode child = children.Next(); !child.IsNull(); child = children.Next())
        out += Outline(child) + ";";
    return out + "}";
}

}  // namespace quibra::test
