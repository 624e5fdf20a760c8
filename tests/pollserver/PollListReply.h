#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quibra::test {

// A reply document of the PollServer read back with libxml2, the way the
// plug-in reads it: Wendrake/Records/Record/Items/Item/User, or an Error.
class PollListReply {
public:
    struct Item {
        std::map<std::string, std::string> attributes;
        std::vector<std::string> userNames;  // UserName of every child element
    };
    struct Record {
        std::map<std::string, std::string> attributes;
        std::vector<Item> items;
        std::string Attr(const std::string& name) const;
    };

    // False when the text is not a well-formed document with a Wendrake root.
    bool Parse(const std::string& text);

    const std::vector<Record>& Records() const { return m_records; }
    const Record* Find(const std::string& pollId) const;
    // Attributes of the first child of the root when it is Result or Error.
    const std::map<std::string, std::string>& Result() const { return m_result; }
    const std::string& ResultName() const { return m_resultName; }

private:
    std::vector<Record> m_records;
    std::map<std::string, std::string> m_result;
    std::string m_resultName;
};

}  // namespace quibra::test
