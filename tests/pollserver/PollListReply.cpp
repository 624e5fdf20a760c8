#include "PollListReply.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <sstream>

namespace quibra::test {

namespace {

std::string Name(const xmlNode* node) {
    return reinterpret_cast<const char*>(node->name);
}

PollListReply::Attributes AttributesOf(xmlNode* node) {
    PollListReply::Attributes result;
    for (xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
        xmlChar* value = xmlNodeListGetString(node->doc, attr->children, 1);
        result[Name(reinterpret_cast<xmlNode*>(attr))] =
            value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
    }
    return result;
}

std::vector<xmlNode*> Children(xmlNode* node, const std::string& name = {}) {
    std::vector<xmlNode*> children;
    for (xmlNode* child = node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE && (name.empty() || Name(child) == name))
            children.push_back(child);
    return children;
}

}  // namespace

std::string PollListReply::Record::Attr(const std::string& name) const {
    const auto found = attributes.find(name);
    return found == attributes.end() ? std::string("<missing>") : found->second;
}

std::string PollListReply::Record::Attrs(const std::string& names) const {
    std::istringstream words(names);
    std::string out;
    for (std::string name; words >> name;)
        out += (out.empty() ? "" : " ") + name + "=" + Attr(name);
    return out;
}

std::string PollListReply::Record::Column(const std::string& name) const {
    std::string out;
    for (const auto& item : items) {
        const auto found = item.attributes.find(name);
        out += (out.empty() ? "" : " ") +
               (found == item.attributes.end() ? "<missing>" : found->second);
    }
    return out;
}

bool PollListReply::Parse(const std::string& text) {
    *this = {};
    std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), "reply.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (root == nullptr || Name(root) != "Wendrake") return false;
    for (xmlNode* child : Children(root)) {
        if (Name(child) == "Result" || Name(child) == "Error") {
            m_resultName = Name(child);
            m_result = AttributesOf(child);
        }
        if (Name(child) != "Records") continue;
        for (xmlNode* recordNode : Children(child)) {
            Record& record = m_records.emplace_back(Record{AttributesOf(recordNode), {}});
            for (xmlNode* itemsNode : Children(recordNode, "Items")) {
                for (xmlNode* itemNode : Children(itemsNode)) {
                    Item& item = record.items.emplace_back(Item{AttributesOf(itemNode), {}});
                    for (xmlNode* user : Children(itemNode))
                        item.userNames.push_back(AttributesOf(user)["UserName"]);
                }
            }
        }
    }
    return true;
}

const PollListReply::Record* PollListReply::Find(const std::string& pollId) const {
    for (const auto& record : m_records)
        if (record.Attr("PollingId") == pollId) return &record;
    return nullptr;
}

std::vector<std::string> PollListReply::Ids() const {
    std::vector<std::string> ids;
    for (const auto& record : m_records) ids.push_back(record.Attr("PollingId"));
    return ids;
}

}  // namespace quibra::test
