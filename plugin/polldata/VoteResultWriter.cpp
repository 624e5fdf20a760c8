#include "polldata/VoteResultWriter.h"

#include <utility>

#include "quibra/CWenDoc.h"
#include "quibra/CWenNode.h"
#include "quibra/CWenXmlError.h"

namespace quibra {

namespace {

// The file's numeric codes for a poll's state: 1 new, 2 open, 3 closed, 4 the
// server's fourth state; anything unknown is written as new.
int StatusCode(PollStatus status) {
    switch (status) {
        case PollStatus::Open:
            return 2;
        case PollStatus::Closed:
            return 3;
        case PollStatus::D:
            return 4;
        default:
            return 1;
    }
}

// One child with a "value" attribute; a child that cannot be added is left out.
void AddValue(CWenNode& parent, const wchar_t* name, const std::wstring& value) {
    CWenNode child = parent.AddChild(name);
    if (!child.IsNull()) child.AddAttribute(L"value", value);
}

void AddValue(CWenNode& parent, const wchar_t* name, int value) {
    CWenNode child = parent.AddChild(name);
    if (!child.IsNull()) child.AddAttributeInt(L"value", value);
}

}  // namespace

VoteResultWriter::VoteResultWriter(std::wstring path, const std::vector<PollRecord>* polls,
                                   const PollRecord* shown, VoteResultMode mode)
    : m_mode(mode), m_path(std::move(path)), m_polls(polls), m_shown(shown) {}

bool VoteResultWriter::Write() {
    if (m_path.empty() || m_polls == nullptr) return false;
    try {
        CWenDoc doc;
        CWenNode root = doc.Create(L"WendrakeVote");
        if (root.IsNull()) return false;
        if (m_mode == VoteResultMode::ShownPoll) {
            if (m_shown == nullptr || !WriteRecord(root, *m_shown)) return false;
        } else {
            for (const PollRecord& record : *m_polls)
                if (!WriteRecord(root, record)) return false;
        }
        return doc.Save(m_path);
    } catch (const CWenXmlError&) {
        return false;  // out of memory while building: nothing is saved
    }
}

bool VoteResultWriter::WriteRecord(CWenNode& root, const PollRecord& record) {
    if (record.status != PollStatus::Closed) return true;
    CWenNode item = root.AddChild(L"VoteItem");
    if (item.IsNull()) return false;
    AddValue(item, L"Title", std::wstring());
    AddValue(item, L"Question", record.title);
    AddValue(item, L"VoteMode", record.identified ? 0 : 1);
    AddValue(item, L"AnswerMode", record.singleChoice ? 0 : 1);
    AddValue(item, L"TotalNumberOfPeople", record.voterCount);
    AddValue(item, L"PollingId", record.pollId);
    AddValue(item, L"SessionId", std::wstring());
    AddValue(item, L"PublishStatus", record.publishState == PublishState::Published ? 1 : 2);
    AddValue(item, L"PollingStatus", StatusCode(record.status));

    CWenNode choices = item.AddChild(L"ChoiceList");
    if (choices.IsNull()) return false;
    for (const PollItem& pollItem : record.items) {
        CWenNode choice = choices.AddChild(L"Choice");
        if (choice.IsNull()) return false;
        choice.AddAttribute(L"Label", pollItem.itemName);
        choice.AddAttribute(L"Description", pollItem.content);
        choice.AddAttributeInt(L"Voter", pollItem.postCount);
        choice.AddAttribute(L"ID", pollItem.pollId);
        CWenNode users = choice.AddChild(L"UserList");
        if (users.IsNull()) return false;
        for (const std::wstring& name : pollItem.voterNames) AddValue(users, L"UserName", name);
    }
    return true;
}

}  // namespace quibra
