#include <gtest/gtest.h>

#include <string>

#include "messages/CommandMessages.h"
#include "polldata/PollRecord.h"
#include "support/NodeOutline.h"

using namespace quibra;
using quibra::test::Outline;

namespace {

PollRecord Record(std::wstring id, PollStatus requested = {}, PublishState publish = {}) {
    PollRecord record;
    record.pollId = std::move(id);
    record.requestedStatus = requested;
    record.requestedPublishState = publish;
    return record;
}

}  // namespace

TEST(CommandMessagesTest, UpdateStatsOfOnePostedPollIsByteExact) {
    PollRecord posted = Record(L"17", PollStatus::Open, PublishState::NotPublished);
    posted.status = PollStatus::New;
    EXPECT_EQ(
        CommandMessages::UpdateStats({&posted}).SaveToString(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--Generate by Wendrake application.-->\r\n"
        "<Quibrant ActionType=\"UpdateStats\">\r\n\t<Polling>\r\n\t\t<pollcount>1</pollcount>\r\n"
        "\r\n\t\t<pollid_0>17</pollid_0>\r\n\r\n\t\t<status_0>O</status_0>\r\n"
        "\r\n\t\t<ispublish_0>0</ispublish_0>\r\n</Polling>\r\n</Quibrant>\r\n");
}

// Every field in order, escaping and UTF-8 included; eleven items, content first.
TEST(CommandMessagesTest, EachCommandWritesItsFieldsInOrder) {
    PollRecord eleven = Record(L"123");
    eleven.title = L"<d> & \"t\" \u00e9\u4e2d";
    eleven.singleChoice = eleven.identified = true;
    std::string items;
    for (int i = 0; i < 11; ++i) {
        const std::string n = std::to_string(i), name(1, static_cast<char>('A' + i));
        eleven.items.push_back({L"123", FromUtf8(name), FromUtf8("c" + n), 0, {}});
        items += "content_" + n + "=c" + n + ";itemname_" + n + "=" + name + ";";
    }
    const std::string fields =
        "title=<d> & \"t\" \xC3\xA9\xE4\xB8\xAD;type=S;issign=1;itemcount=11;";
    CWenDoc reread;  // the saved bytes read back to the same fields
    reread.LoadXml(CommandMessages::UpdateContant(eleven).SaveToString());
    const PollRecord empty = Record(L"5");
    const PollRecord a = Record(L"A", PollStatus::Closed, PublishState::Published);
    const PollRecord b = Record(L"B", PollStatus::None, PublishState::NotPublished);
    const PollRecord c = Record(L"C", PollStatus::D);
    const PollRecord odd = Record(L"X", static_cast<PollStatus>(PollStatus::New | PollStatus::Open),
                                  PublishState::Published);
    const std::pair<CWenDoc, std::string> cases[] = {
        {CommandMessages::CreatePolling(eleven),
         "[CreatePolling]{Polling{" + fields + items + "};}"},
        {std::move(reread), "[UpdateContant]{Polling{pollid=123;" + fields + items + "};}"},
        // A multiple-answer anonymous poll without items.
        {CommandMessages::CreatePolling(empty),
         "[CreatePolling]{Polling{title=;type=M;issign=0;itemcount=0;};}"},
        {CommandMessages::UpdateContant(empty),
         "[UpdateContant]{Polling{pollid=5;title=;type=M;issign=0;itemcount=0;};}"},
        // Status changes go from the last record to the first; a status that is
        // not one of the four is left out, its index kept.
        {CommandMessages::UpdateStats({&a, &b, &c}),
         "[UpdateStats]{Polling{pollcount=3;pollid_0=C;status_0=D;ispublish_0=0;pollid_1=B;"
         "ispublish_1=0;pollid_2=A;status_2=C;ispublish_2=1;};}"},
        {CommandMessages::UpdateStats({&odd, nullptr}),
         "[UpdateStats]{Polling{pollcount=1;pollid_0=X;ispublish_0=1;};}"},
        {CommandMessages::UpdateStats({}), "[UpdateStats]{Polling{pollcount=0;};}"},
        // Deletions go from the first record to the last.
        {CommandMessages::Delete({&a, &b, &c}),
         "[Delete]{Polling{pollcount=3;pollid_0=A;pollid_1=B;pollid_2=C;};}"},
        {CommandMessages::Delete({nullptr, &b}), "[Delete]{Polling{pollcount=1;pollid_0=B;};}"},
        {CommandMessages::Delete({}), "[Delete]{Polling{pollcount=0;};}"},
        {CommandMessages::SendPoll(L"31", {}), "[SendPoll]{Polling{pollid=31;itemcount=0;};}"},
        {CommandMessages::SendPoll(L"31", {L"B", L"D"}),
         "[SendPoll]{Polling{pollid=31;itemcount=2;itemname_0=B;itemname_1=D;};}"},
    };
    for (const auto& [doc, fields] : cases) EXPECT_EQ(Outline(doc.GetRoot()), "Quibrant" + fields);
}
