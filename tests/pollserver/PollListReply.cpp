#include "PollListReply.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <sstream>
#include <tuple>

namespace quibra::test {

namespace {

std::string Name(const xmlNode* node) {
    return reinterpret_cast<const char*>(node->name);
}

PollListReply::Attributes AttributesOf(xmlNode* node) {
    PollListReply::Attributes result;
    for (xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
        std::unique_ptr<xmlChar, void (*)(void*)> value(
            xmlNodeListGetString(node->doc, attr->children, 1), xmlFree);
        result[Name(reinterpret_cast<xmlNode*>(attr))] =
            value ? reinterpret_cast<const char*>(value.get()) : "";
    }
    return result;
}

std::vector<xmlNode*> Children(xmlNode* node) {
    std::vector<xmlNode*> children;
    for (xmlNode* child = node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE) children.push_back(child);
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
    for (const auto& item : items)
        out += (out.empty() ? "" : " ") + Record{item.attributes, {}}.Attr(name);
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
        if (Name(child) == "Result" || Name(child) == "Error")
            std::tie(m_resultName, m_result) = std::pair(Name(child), AttributesOf(child));
        for (xmlNode* record :
             Name(child) == "Records" ? Children(child) : std::vector<xmlNode*>{}) {
            auto& items = m_records.emplace_back(Record{AttributesOf(record), {}}).items;
            for (xmlNode* item : Children(Children(record).at(0))) {
                auto& users = items.emplace_back(Item{AttributesOf(item), {}}).userNames;
                for (xmlNode* user : Children(item))
                    users.push_back(AttributesOf(user)["UserName"]);
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
