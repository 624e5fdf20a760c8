#include "PollListReply.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

namespace quibra::test {

namespace {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::string Name(const xmlNode* node) { return reinterpret_cast<const char*>(node->name); }

std::map<std::string, std::string> Attributes(xmlNode* node) {
    std::map<std::string, std::string> result;
    for (xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
        xmlChar* value = xmlNodeListGetString(node->doc, attr->children, 1);
        result[Name(reinterpret_cast<xmlNode*>(attr))] = value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
    }
    return result;
}

std::vector<xmlNode*> Children(xmlNode* node) {
    std::vector<xmlNode*> children;
    for (xmlNode* child = node ? node->children : nullptr; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE) children.push_back(child);
    return children;
}

}  // namespace

std::string PollListReply::Record::Attr(const std::string& name) const {
    const auto found = attributes.find(name);
    return found == attributes.end() ? std::string("<missing>") : found->second;
}

bool PollListReply::Parse(const std::string& text) {
    m_records.clear();
    m_result.clear();
    m_resultName.clear();
    std::unique_ptr<xmlDoc, DocFree> doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "reply.xml",
                                                       nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR |
                                                                    XML_PARSE_NOWARNING));
    if (!doc) return false;
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr || Name(root) != "Wendrake") return false;
    for (xmlNode* child : Children(root)) {
        if (Name(child) == "Result" || Name(child) == "Error") {
            m_resultName = Name(child);
            m_result = Attributes(child);
            continue;
        }
        if (Name(child) != "Records") continue;
        for (xmlNode* recordNode : Children(child)) {
            Record record;
            record.attributes = Attributes(recordNode);
            for (xmlNode* itemsNode : Children(recordNode)) {
                if (Name(itemsNode) != "Items") continue;
                for (xmlNode* itemNode : Children(itemsNode)) {
                    Item item;
                    item.attributes = Attributes(itemNode);
                    for (xmlNode* user : Children(itemNode)) item.userNames.push_back(Attributes(user)["UserName"]);
                    record.items.push_back(std::move(item));
                }
            }
            m_records.push_back(std::move(record));
        }
    }
    return true;
}

const PollListReply::Record* PollListReply::Find(const std::string& pollId) const {
    for (const auto& record : m_records)
        if (record.Attr("PollingId") == pollId) return &record;
    return nullptr;
}

}  // namespace quibra::test
