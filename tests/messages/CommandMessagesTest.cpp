#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "messages/CommandMessages.h"
#include "polldata/PollRecord.h"

using quibra::CommandMessages;
using quibra::PollItem;
using quibra::PollRecord;
using quibra::PollStatus;
using quibra::PublishState;

namespace {

using Fields = std::vector<std::pair<std::wstring, std::wstring>>;

// The envelope must be exactly "Quibrant" with one "Polling" child; returns the
// fields under it in document order.
Fields ReadFields(const CWenDoc& doc, const std::wstring& actionType) {
    CWenNode root = doc.GetRoot();
    EXPECT_EQ(root.GetName(), L"Quibrant");
    EXPECT_EQ(root.GetAttribute(L"ActionType"), actionType);
    CWenNodeList children = root.GetChildNodes();
    EXPECT_EQ(children.GetCount(), 1);
    CWenNode polling = root.GetChild(L"Polling");
    EXPECT_FALSE(polling.IsNull());
    Fields fields;
    CWenNodeList list = polling.GetChildNodes();
    for (CWenNode node = list.Next(); !node.IsNull(); node = list.Next()) {
        EXPECT_EQ(node.GetChildNodes().GetCount(), 0) << node.GetName();
        fields.emplace_back(node.GetName(), node.GetText());
    }
    return fields;
}

PollRecord Record(std::wstring id, PollStatus requested, PublishState publish) {
    PollRecord record;
    record.pollId = std::move(id);
    record.requestedStatus = requested;
    record.requestedPublishState = publish;
    return record;
}

std::wstring Num(std::size_t i) {
    return std::to_wstring(i);
}

}  // namespace

TEST(CommandMessagesTest, UpdateStatsOfOnePostedPollIsByteExact) {
    PollRecord posted = Record(L"17", PollStatus::Open, PublishState::NotPublished);
    posted.status = PollStatus::New;
    const CWenDoc doc = CommandMessages::UpdateStats({&posted});
    EXPECT_EQ(doc.SaveToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<!--Generate by Wendrake application.-->\r\n"
              "<Quibrant ActionType=\"UpdateStats\">\r\n"
              "\t<Polling>\r\n"
              "\t\t<pollcount>1</pollcount>\r\n"
              "\r\n\t\t<pollid_0>17</pollid_0>\r\n"
              "\r\n\t\t<status_0>O</status_0>\r\n"
              "\r\n\t\t<ispublish_0>0</ispublish_0>\r\n"
              "</Polling>\r\n"
              "</Quibrant>\r\n");
}

TEST(CommandMessagesTest, EnvelopeReplacesTheDocument) {
    CWenDoc doc;
    doc.Create(L"Old");
    const auto envelope = CommandMessages::BuildEnvelope(doc, L"Anything");
    EXPECT_EQ(doc.GetRoot().GetName(), L"Quibrant");
    EXPECT_EQ(envelope.root.GetDomNode(), doc.GetRoot().GetDomNode());
    EXPECT_EQ(envelope.polling.GetName(), L"Polling");
    EXPECT_EQ(envelope.polling.GetLevel(), 2);
    EXPECT_TRUE(ReadFields(doc, L"Anything").empty());
}

TEST(CommandMessagesTest, CreateAndUpdateWriteElevenItemsContentFirst) {
    PollRecord record;
    record.pollId = L"123";
    record.title = L"Best <day> & \"time\" \u00e9\u4e2d";
    record.singleChoice = true;
    record.identified = true;
    for (int i = 0; i < 11; ++i)
        record.items.push_back(
            PollItem{L"123", std::wstring(1, L'A' + i), L"choice " + Num(i), 0, {}});

    Fields expected = {
        {L"title", record.title}, {L"type", L"S"}, {L"issign", L"1"}, {L"itemcount", L"11"}};
    for (std::size_t i = 0; i < 11; ++i) {
        expected.emplace_back(L"content_" + Num(i), L"choice " + Num(i));
        expected.emplace_back(L"itemname_" + Num(i), std::wstring(1, L'A' + i));
    }
    EXPECT_EQ(ReadFields(CommandMessages::CreatePolling(record), L"CreatePolling"), expected);

    expected.insert(expected.begin(), {L"pollid", L"123"});
    EXPECT_EQ(ReadFields(CommandMessages::UpdateContant(record), L"UpdateContant"), expected);

    // The saved bytes read back to the same fields (escaping and UTF-8 included).
    CWenDoc reread;
    reread.LoadXml(CommandMessages::UpdateContant(record).SaveToString());
    EXPECT_EQ(ReadFields(reread, L"UpdateContant"), expected);
}

TEST(CommandMessagesTest, EachCommandWritesItsFieldsInOrder) {
    PollRecord empty;
    empty.pollId = L"5";
    const PollRecord a = Record(L"A", PollStatus::Closed, PublishState::Published);
    const PollRecord b = Record(L"B", PollStatus::None, PublishState::NotPublished);
    const PollRecord c = Record(L"C", PollStatus::D, PublishState::None);
    const PollRecord odd = Record(L"X", static_cast<PollStatus>(PollStatus::New | PollStatus::Open),
                                  PublishState::Published);
    struct Case {
        CWenDoc doc;
        std::wstring action;
        Fields fields;
    };
    const Case cases[] = {
        // A multiple-answer anonymous poll without items.
        {CommandMessages::CreatePolling(empty),
         L"CreatePolling",
         {{L"title", L""}, {L"type", L"M"}, {L"issign", L"0"}, {L"itemcount", L"0"}}},
        {CommandMessages::UpdateContant(empty),
         L"UpdateContant",
         {{L"pollid", L"5"},
          {L"title", L""},
          {L"type", L"M"},
          {L"issign", L"0"},
          {L"itemcount", L"0"}}},
        // Status changes go from the last record to the first; a status that is
        // not one of the four is left out, its index kept.
        {CommandMessages::UpdateStats({&a, &b, &c}),
         L"UpdateStats",
         {{L"pollcount", L"3"},
          {L"pollid_0", L"C"},
          {L"status_0", L"D"},
          {L"ispublish_0", L"0"},
          {L"pollid_1", L"B"},
          {L"ispublish_1", L"0"},
          {L"pollid_2", L"A"},
          {L"status_2", L"C"},
          {L"ispublish_2", L"1"}}},
        {CommandMessages::UpdateStats({&odd, nullptr}),
         L"UpdateStats",
         {{L"pollcount", L"1"}, {L"pollid_0", L"X"}, {L"ispublish_0", L"1"}}},
        {CommandMessages::UpdateStats({}), L"UpdateStats", {{L"pollcount", L"0"}}},
        // Deletions go from the first record to the last.
        {CommandMessages::Delete({&a, &b, &c}),
         L"Delete",
         {{L"pollcount", L"3"}, {L"pollid_0", L"A"}, {L"pollid_1", L"B"}, {L"pollid_2", L"C"}}},
        {CommandMessages::Delete({nullptr, &b}),
         L"Delete",
         {{L"pollcount", L"1"}, {L"pollid_0", L"B"}}},
        {CommandMessages::Delete({}), L"Delete", {{L"pollcount", L"0"}}},
        {CommandMessages::SendPoll(L"31", {}),
         L"SendPoll",
         {{L"pollid", L"31"}, {L"itemcount", L"0"}}},
        {CommandMessages::SendPoll(L"31", {L"B", L"D"}),
         L"SendPoll",
         {{L"pollid", L"31"}, {L"itemcount", L"2"}, {L"itemname_0", L"B"}, {L"itemname_1", L"D"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadFields(c.doc, c.action), c.fields) << c.action;
}
