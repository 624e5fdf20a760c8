#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "polldata/PollRecordReader.h"
#include "quibra/CWenDoc.h"

using quibra::PollRecord;
using quibra::PollRecordReader;

namespace {

std::vector<CWenNode> Records(const std::string& xml) {
    CWenDoc doc;
    return PollRecordReader::RecordElements(doc.LoadXml(xml));
}

PollRecord Answer(const std::string& recordXml) {
    auto records = Records("<W><Records>" + recordXml + "</Records></W>");
    EXPECT_EQ(records.size(), 1u);
    return records.empty() ? PollRecord{} : PollRecordReader::ReadAnswerRecord(records[0]);
}

PollRecord Result(const std::string& recordXml) {
    auto records = Records("<W><Records>" + recordXml + "</Records></W>");
    EXPECT_EQ(records.size(), 1u);
    return records.empty() ? PollRecord{} : PollRecordReader::ReadResultRecord(records[0]);
}

}  // namespace

TEST(PollRecordReaderTest, RecordElementsAreTheElementChildrenOfRecords) {
    auto records = Records(R"(<W><Records>
        <!-- c --><A PollingId="1"/> text <B PollingId="2"><C PollingId="3"/></B>
      </Records><Records><D PollingId="4"/></Records></W>)");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].GetAttribute(L"PollingId"), L"1");
    EXPECT_EQ(records[1].GetAttribute(L"PollingId"), L"2");
    EXPECT_TRUE(Records("<W/>").empty());
    EXPECT_TRUE(PollRecordReader::RecordElements(CWenNode()).empty());
}

TEST(PollRecordReaderTest, AnswerRecordReadsIdentifiedAsTheIntegerOne) {
    const PollRecord r = Answer(R"(<R PollingId="77" Type="S" IsSign="1" Title="Q?"
        Status="O" IsPublish="0" UserCount="9"><Items>
          <I ItemName="A" Content="Yes" PostCount="4"><U UserName="x"/></I>
          <I ItemName="B" Content="No"/></Items></R>)");
    EXPECT_EQ(r.pollId, L"77");
    EXPECT_TRUE(r.identified);
    EXPECT_TRUE(r.singleChoice);
    EXPECT_EQ(r.title, L"Q?");
    // The answer window needs no counts, states or voters.
    EXPECT_EQ(r.voterCount, 0);
    EXPECT_EQ(r.status, quibra::PollStatus::None);
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_EQ(r.items[0].itemName, L"A");
    EXPECT_EQ(r.items[0].content, L"Yes");
    EXPECT_EQ(r.items[0].postCount, 0);
    EXPECT_TRUE(r.items[0].voterNames.empty());
    EXPECT_EQ(r.items[1].content, L"No");

    // Unlike the poll list, a missing or empty flag means anonymous here.
    EXPECT_FALSE(Answer("<R/>").identified);
    EXPECT_FALSE(Answer(R"(<R IsSign=""/>)").identified);
    EXPECT_FALSE(Answer(R"(<R IsSign="0"/>)").identified);
    EXPECT_FALSE(Answer(R"(<R IsSign="2"/>)").identified);
    EXPECT_TRUE(Answer(R"(<R IsSign="01"/>)").identified);
    EXPECT_TRUE(Answer(R"(<R IsSign=" 1x"/>)").identified);
    EXPECT_FALSE(Answer(R"(<R Type="s"/>)").singleChoice);
}

TEST(PollRecordReaderTest, ResultRecordAddsCountsAndVoters) {
    const PollRecord r = Result(R"(<R PollingId="8" Type="M" IsSign="1" Title="T" UserCount="5">
        <Items>
          <I ItemName="A" Content="a" PostCount="2"><U UserName="ann"/><U UserName="bob"/></I>
          <I ItemName="B" Content="b" PostCount="0"><U UserName="ghost"/></I>
          <I ItemName="C" Content="c"><U UserName="ghost"/></I>
        </Items></R>)");
    EXPECT_EQ(r.pollId, L"8");
    EXPECT_FALSE(r.singleChoice);
    EXPECT_TRUE(r.identified);
    EXPECT_EQ(r.voterCount, 5);
    ASSERT_EQ(r.items.size(), 3u);
    EXPECT_EQ(r.items[0].postCount, 2);
    EXPECT_EQ(r.items[0].voterNames, (std::vector<std::wstring>{L"ann", L"bob"}));
    EXPECT_EQ(r.items[1].postCount, 0);
    EXPECT_TRUE(r.items[1].voterNames.empty());
    EXPECT_EQ(r.items[2].postCount, -1);
    EXPECT_TRUE(r.items[2].voterNames.empty());

    EXPECT_EQ(Result("<R/>").voterCount, -1);
    EXPECT_EQ(Result(R"(<R UserCount="0"/>)").voterCount, 0);
    EXPECT_TRUE(Result("<R/>").items.empty());
}
