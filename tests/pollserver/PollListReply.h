#pragma once

#include <map>
#include <string>
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
        std::string Attr(const std::string& name) const;
        // "Title=T Type=S" for the space-separated attribute names.
        std::string Attrs(const std::string& names) const;
        // One attribute of every item, space-separated: Column("PostCount") == "1 0 2".
        std::string Column(const std::string& name) const;
    };

    // False when the text is not a well-formed document with a Wendrake root.
    bool Parse(const std::string& text);

    const std::vector<Record>& Records() const { return m_records; }
    const Record* Find(const std::string& pollId) const;
    std::vector<std::string> Ids() const;
    // The first child of the root when it is Result or Error: its name and attributes.
    const std::string& ResultName() const { return m_resultName; }
    const Attributes& Result() const { return m_result; }

private:
    std::vector<Record> m_records;
    std::string m_resultName;
    Attributes m_result;
};

}  // namespace quibra::test
