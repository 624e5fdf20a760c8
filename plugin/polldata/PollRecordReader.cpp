#include "polldata/PollRecordReader.h"

#include <libxml/tree.h>

#include <algorithm>
#include <string_view>

#include "xml/WideString.h"

namespace quibra {

namespace {

// Child elements of `parent`, skipping text and comments; none on an empty handle.
std::vector<CWenNode> ChildElements(const CWenNode& parent) {
    std::vector<CWenNode> out;
    CWenNodeList list = parent.GetChildNodes();
    for (CWenNode node = list.Next(); !node.IsNull(); node = list.Next()) out.push_back(node);
    return out;
}

// Fields shared by the answer and result windows' records.
PollRecord ReadWindowRecord(const CWenNode& element) {
    PollRecord record;
    record.pollId = element.GetAttribute(L"PollingId");
    record.identified = element.GetAttributeInt(L"IsSign") == 1;
    record.singleChoice = element.GetAttribute(L"Type") == L"S";
    record.title = element.GetAttribute(L"Title");
    return record;
}

// The value of the attribute `name` without a namespace prefix, as
// CWenNode::GetAttribute reads it; empty when there is none.
std::wstring UnprefixedAttribute(const xmlNode* element, std::string_view name) {
    for (const xmlAttr* attr = element->properties; attr != nullptr; attr = attr->next) {
        if (attr->ns != nullptr && attr->ns->prefix != nullptr) continue;
        if (name != reinterpret_cast<const char*>(attr->name)) continue;
        std::string value;
        for (const xmlNode* text = attr->children; text != nullptr; text = text->next)
            if (text->type == XML_TEXT_NODE && text->content != nullptr)
                value += reinterpret_cast<const char*>(text->content);
        return FromUtf8(value);
    }
    return std::wstring();
}

}  // namespace

std::vector<CWenNode> PollRecordReader::RecordElements(const CWenNode& payload) {
    return ChildElements(payload.GetChild(L"Records"));
}

std::vector<std::wstring> PollRecordReader::ReadVoterNames(const CWenNode& choice,
                                                           std::size_t expected) {
    // A list reply may name thousands of voters per poll: each is read straight
    // from its node, without a handle and a child list per voter.
    std::vector<std::wstring> names;
    const xmlNode* parent = choice.GetDomNode();
    if (parent == nullptr || parent->type != XML_ELEMENT_NODE) return names;
    names.reserve(std::min<std::size_t>(expected, 65536));  // a hint from the server, not trusted
    for (const xmlNode* voter = parent->children; voter != nullptr; voter = voter->next) {
        if (voter->type == XML_ELEMENT_NODE)
            names.push_back(UnprefixedAttribute(voter, "UserName"));
    }
    return names;
}

void PollRecordReader::ReadListRecord(const CWenNode& element, PollRecord& record) {
    record.pollId = element.GetAttribute(L"PollingId");
    record.singleChoice = element.GetAttribute(L"Type") == L"S";
    // Only an explicit "0" marks an anonymous poll; a missing flag means identified.
    record.identified = element.GetAttribute(L"IsSign") != L"0";
    record.title = element.GetAttribute(L"Title");
    record.publishState = PublishStateFromText(element.GetAttribute(L"IsPublish"));
    record.status = PollStatusFromLetter(element.GetAttribute(L"Status"));
    // Filled in place: a refresh reads every choice of every poll on the UI thread.
    const std::vector<CWenNode> choices = ChildElements(element.GetChild(L"Items"));
    record.items.reserve(choices.size());
    for (const CWenNode& choice : choices) {
        PollItem& item = record.items.emplace_back();
        item.pollId = record.pollId;
        item.itemName = choice.GetAttribute(L"ItemName");
        item.content = choice.GetAttribute(L"Content");
        item.postCount = choice.GetAttributeInt(L"PostCount");
        if (item.postCount > 0)
            item.voterNames = ReadVoterNames(choice, static_cast<std::size_t>(item.postCount));
    }
    record.voterCount = element.GetAttributeInt(L"UserCount");
}

PollRecord PollRecordReader::ReadAnswerRecord(const CWenNode& element) {
    PollRecord record = ReadWindowRecord(element);
    for (const CWenNode& choice : ChildElements(element.GetChild(L"Items"))) {
        PollItem item;
        item.itemName = choice.GetAttribute(L"ItemName");
        item.content = choice.GetAttribute(L"Content");
        record.items.push_back(std::move(item));
    }
    return record;
}

PollRecord PollRecordReader::ReadResultRecord(const CWenNode& element) {
    PollRecord record = ReadWindowRecord(element);
    record.voterCount = 0;
    for (const CWenNode& choice : ChildElements(element.GetChild(L"Items"))) {
        PollItem item;
        item.itemName = choice.GetAttribute(L"ItemName");
        item.content = choice.GetAttribute(L"Content");
        item.postCount = choice.GetAttributeInt(L"PostCount");
        if (item.postCount > 0)
            item.voterNames = ReadVoterNames(choice, static_cast<std::size_t>(item.postCount));
        record.items.push_back(std::move(item));
    }
    record.voterCount += element.GetAttributeInt(L"UserCount");
    return record;
}

}  // namespace quibra
