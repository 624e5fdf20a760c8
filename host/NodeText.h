#pragma once

#include <string>
#include <vector>

class CWenNode;

// Reading the plug-in's notification nodes on the host's side, straight from
// the libxml2 node each handle carries (the host calls nothing of the library).
namespace NodeText {

// The node and its subtree as XML on one line: line breaks inside text become
// character references, so the text means the same and fits a channel line.
// Empty for a null or empty handle.
std::string OneLine(const CWenNode* node);
// The text of each child element, in order ("Polling" lists its "ID"s).
std::vector<std::string> ChildTexts(const CWenNode* node);
// Text escaped for an XML element or attribute value.
std::string Escape(const std::string& text);

}  // namespace NodeText
