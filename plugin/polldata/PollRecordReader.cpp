#include "polldata/PollRecordReader.h"

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

}  // namespace

std::vector<CWenNode> PollRecordReader::RecordElements(const CWenNode& payload) {
    return ChildElements(payload.GetChild(L"Records"));
}

std::vector<std::wstring> PollRecordReader::ReadVoterNames(const CWenNode& choice) {
    std::vector<std::wstring> names;
    for (const CWenNode& voter : ChildElements(choice))
        names.push_back(voter.GetAttribute(L"UserName"));
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
        if (item.postCount > 0) item.voterNames = ReadVoterNames(choice);
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
        if (item.postCount > 0) item.voterNames = ReadVoterNames(choice);
        record.items.push_back(std::move(item));
    }
    record.voterCount += element.GetAttributeInt(L"UserCount");
    return record;
}

}  // namespace quibra
