#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace quibra::test {

// A reply document of the PollServer read back with libxml2, the way the
// plug-in reads it: Wendrake/Records/Record/Items/Item/User, or a Result or Error.
class PollListReply {
public:
    using Attributes = std::map<std::string, std::string>;
    struct Item {
        Attributes attributes;
        std::vector<std::string> userNames;  // UserName of every child element
    };
    struct Record {
        Attributes attributes;
        std::vector<Item> items;
        std::string Attr(const std::string& name) const {
            const auto found = attributes.find(name);
            return found == attributes.end() ? std::string("<missing>") : found->second;
        }
        // "Title=T Type=S" for the space-separated attribute names.
        std::string Attrs(const std::string& names) const {
            std::istringstream words(names);
            std::string out;
            for (std::string name; words >> name;)
                out += (out.empty() ? "" : " ") + name + "=" + Attr(name);
            return out;
        }
        // One attribute of every item, space-separated: Column("PostCount") == "1 0 2".
        std::string Column(const std::string& name) const {
            std::string out;
            for (const auto& item : items)
                out += (out.empty() ? "" : " ") + Record{item.attributes, {}}.Attr(name);
            return out;
        }
    };

    // False when the text is not a well-formed document with a Wendrake root.
    bool Parse(const std::string& text) {
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

    const std::vector<Record>& Records() const { return m_records; }
    const Record* Find(const std::string& pollId) const {
        for (const auto& record : m_records)
            if (record.Attr("PollingId") == pollId) return &record;
        return nullptr;
    }
    std::vector<std::string> Ids() const {
        std::vector<std::string> ids;
        for (const auto& record : m_records) ids.push_back(record.Attr("PollingId"));
        return ids;
    }
    // The first child of the root when it is Result or Error: its name and attributes.
    const std::string& ResultName() const { return m_resultName; }
    const Attributes& Result() const { return m_result; }

private:
    static std::string Name(const xmlNode* node) {
        return reinterpret_cast<const char*>(node->name);
    }

    static Attributes AttributesOf(xmlNode* node) {
        Attributes result;
        for (xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
            std::unique_ptr<xmlChar, void (*)(void*)> value(
                xmlNodeListGetString(node->doc, attr->children, 1), xmlFree);
            result[Name(reinterpret_cast<xmlNode*>(attr))] =
                value ? reinterpret_cast<const char*>(value.get()) : "";
        }
        return result;
    }

    static std::vector<xmlNode*> Children(xmlNode* node) {
        std::vector<xmlNode*> children;
        for (xmlNode* child = node->children; child != nullptr; child = child->next)
            if (child->type == XML_ELEMENT_NODE) children.push_back(child);
        return children;
    }

    std::vector<Record> m_records;
    std::string m_resultName;
    Attributes m_result;
};

}  // namespace quibra::test
