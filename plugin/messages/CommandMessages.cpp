#include "messages/CommandMessages.h"

#include <climits>

#include "polldata/PollStatus.h"
#include "polldata/PublishState.h"
#include "xml/WideString.h"

namespace quibra {

namespace {

// Counts travel as "%d"; a list longer than INT_MAX cannot occur in practice,
// but the count must never wrap to a negative number.
int CountOf(std::size_t size) {
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

// A null entry is no record: it is neither counted nor written.
std::vector<const PollRecord*> Present(const std::vector<const PollRecord*>& records) {
    std::vector<const PollRecord*> out;
    out.reserve(records.size());
    for (const PollRecord* record : records)
        if (record) out.push_back(record);
    return out;
}

std::wstring Indexed(const wchar_t* name, std::size_t index) {
    return name + std::wstring(L"_") + quibra::ToWide(index);
}

}  // namespace

CommandMessages::Envelope CommandMessages::BuildEnvelope(CWenDoc& doc,
                                                         const std::wstring& actionType) {
    Envelope envelope;
    envelope.root = doc.Create(L"Quibrant");
    envelope.root.AddAttribute(L"ActionType", actionType);
    envelope.polling = envelope.root.AddChild(L"Polling");
    return envelope;
}

void CommandMessages::AddField(CWenNode& polling, const std::wstring& name,
                               const std::wstring& value) {
    polling.AddChild(name).SetText(value);
}

void CommandMessages::AddCount(CWenNode& polling, const std::wstring& name, int value) {
    polling.AddChild(name).SetTextInt(value);
}

void CommandMessages::AddContent(CWenNode& polling, const PollRecord& record) {
    AddField(polling, L"type", record.singleChoice ? L"S" : L"M");
    AddField(polling, L"issign", record.identified ? L"1" : L"0");
    AddCount(polling, L"itemcount", CountOf(record.items.size()));
    for (std::size_t i = 0; i < record.items.size(); ++i) {
        AddField(polling, Indexed(L"content", i), record.items[i].content);
        AddField(polling, Indexed(L"itemname", i), record.items[i].itemName);
    }
}

CWenDoc CommandMessages::CreatePolling(const PollRecord& record) {
    CWenDoc doc;
    Envelope envelope = BuildEnvelope(doc, L"CreatePolling");
    AddField(envelope.polling, L"title", record.title);
    AddContent(envelope.polling, record);
    return doc;
}

CWenDoc CommandMessages::UpdateContant(const PollRecord& record) {
    CWenDoc doc;
    Envelope envelope = BuildEnvelope(doc, L"UpdateContant");
    AddField(envelope.polling, L"pollid", record.pollId);
    AddField(envelope.polling, L"title", record.title);
    AddContent(envelope.polling, record);
    return doc;
}

CWenDoc CommandMessages::UpdateStats(const std::vector<const PollRecord*>& list) {
    const std::vector<const PollRecord*> records = Present(list);
    CWenDoc doc;
    Envelope envelope = BuildEnvelope(doc, L"UpdateStats");
    AddCount(envelope.polling, L"pollcount", CountOf(records.size()));
    // Written from the last record to the first; the index counts up in writing order.
    std::size_t index = 0;
    for (auto it = records.rbegin(); it != records.rend(); ++it, ++index) {
        const PollRecord& record = **it;
        AddField(envelope.polling, Indexed(L"pollid", index), record.pollId);
        const std::wstring letter = PollStatusLetter(record.requestedStatus);
        if (!letter.empty()) AddField(envelope.polling, Indexed(L"status", index), letter);
        AddField(envelope.polling, Indexed(L"ispublish", index),
                 PublishStateFlag(record.requestedPublishState));
    }
    return doc;
}

CWenDoc CommandMessages::Delete(const std::vector<const PollRecord*>& list) {
    const std::vector<const PollRecord*> records = Present(list);
    CWenDoc doc;
    Envelope envelope = BuildEnvelope(doc, L"Delete");
    AddCount(envelope.polling, L"pollcount", CountOf(records.size()));
    for (std::size_t i = 0; i < records.size(); ++i)
        AddField(envelope.polling, Indexed(L"pollid", i), records[i]->pollId);
    return doc;
}

CWenDoc CommandMessages::SendPoll(const std::wstring& pollId,
                                  const std::vector<std::wstring>& chosenItemNames) {
    CWenDoc doc;
    Envelope envelope = BuildEnvelope(doc, L"SendPoll");
    AddField(envelope.polling, L"pollid", pollId);
    AddCount(envelope.polling, L"itemcount", CountOf(chosenItemNames.size()));
    for (std::size_t i = 0; i < chosenItemNames.size(); ++i)
        AddField(envelope.polling, Indexed(L"itemname", i), chosenItemNames[i]);
    return doc;
}

}  // namespace quibra
