#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>
#include <string>
#include <vector>

#include "polldata/PollFileReader.h"
#include "polldata/PollFileTrace.h"
#include "polldata/VoteResultWriter.h"
#include "support/TestSupport.h"

using namespace quibra;
using quibra::test::ReadFileBytes;
using quibra::test::TempDir;
using quibra::test::WriteFileBytes;

namespace {

PollRecord Poll(std::wstring id, PollStatus status, std::wstring title = L"Q") {
    PollRecord record;
    record.pollId = std::move(id);
    record.title = std::move(title);
    record.status = status;
    record.items = {{record.pollId, L"A", L"Yes", 1, {L"Ann"}}};
    return record;
}

// "A=x,B=z" for a record's items, so a case compares in one line.
std::wstring Items(const PollRecord& record) {
    std::wstring out;
    for (const PollItem& item : record.items)
        out += (out.empty() ? L"" : L",") + item.itemName + L"=" + item.content;
    return out;
}

std::string VoteItem(const std::string& voteMode, const std::string& answerMode,
                     const std::string& question, const std::string& choices) {
    return "<VoteItem><Title value=''/><Question " + question + "/><VoteMode " + voteMode +
           "/><AnswerMode " + answerMode + "/><ChoiceList>" + choices + "</ChoiceList></VoteItem>";
}

const std::string kOneChoice = "<Choice Description='only'/>";

}  // namespace

TEST(VoteResultWriter, WritesTheExamplePollByteForByte) {
    TempDir dir;
    PollRecord poll;
    poll.pollId = L"345";
    poll.title = L"Which day?";
    poll.singleChoice = true;  // AnswerMode 0
    poll.identified = false;   // VoteMode 1
    poll.voterCount = 12;
    poll.status = PollStatus::Closed;
    poll.publishState = PublishState::NotPublished;
    poll.items = {{L"345", L"A", L"Monday", 5, {L"Ann", L"Bo", L"Cy", L"Di", L"Zo\u00eb <&>"}},
                  {L"345", L"B", L"Tuesday \"late\"", 0, {}}};
    const std::vector<PollRecord> polls{poll};
    VoteResultWriter writer((dir / "out.pol").wstring(), &polls, nullptr, VoteResultMode::AllPolls);
    ASSERT_TRUE(writer.Write());

    std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<!--Generate by Wendrake application.-->\r\n"
        "<WendrakeVote>\r\n"
        "\t<VoteItem>\r\n";
    for (const char* child :
         {"Title value=\"\"", "Question value=\"Which day?\"", "VoteMode value=\"1\"",
          "AnswerMode value=\"0\"", "TotalNumberOfPeople value=\"12\"", "PollingId value=\"345\"",
          "SessionId value=\"\"", "PublishStatus value=\"2\"", "PollingStatus value=\"3\""})
        expected += std::string("\t\t<") + child + "/>\r\n\r\n";
    expected +=
        "\t\t<ChoiceList>\r\n"
        "\t\t\t<Choice Label=\"A\" Description=\"Monday\" Voter=\"5\" ID=\"345\">\r\n"
        "\t\t\t\t<UserList>\r\n"
        "\t\t\t\t\t<UserName value=\"Ann\"/>\r\n\r\n"
        "\t\t\t\t\t<UserName value=\"Bo\"/>\r\n\r\n"
        "\t\t\t\t\t<UserName value=\"Cy\"/>\r\n\r\n"
        "\t\t\t\t\t<UserName value=\"Di\"/>\r\n\r\n"
        "\t\t\t\t\t<UserName value=\"Zo\xC3\xAB &lt;&amp;&gt;\"/>\r\n"
        "</UserList>\r\n"
        "</Choice>\r\n\r\n"
        "\t\t\t<Choice Label=\"B\" Description=\"Tuesday &quot;late&quot;\" Voter=\"0\" "
        "ID=\"345\">\r\n"
        "\t\t\t\t<UserList/>\r\n"
        "</Choice>\r\n"
        "</ChoiceList>\r\n"
        "</VoteItem>\r\n"
        "</WendrakeVote>\r\n";
    EXPECT_EQ(ReadFileBytes(dir / "out.pol"), expected);
}

TEST(VoteResultWriter, WritesOnlyClosedPollsAndRefusesWhatItCannotWrite) {
    const std::string emptyRoot =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<!--Generate by Wendrake application.-->\r\n<WendrakeVote/>\r\n";
    const std::vector<PollRecord> mixed{Poll(L"1", PollStatus::New), Poll(L"2", PollStatus::Open),
                                        Poll(L"3", PollStatus::Closed)};
    const PollRecord open = Poll(L"9", PollStatus::Open);
    const PollRecord closed = Poll(L"8", PollStatus::Closed);
    struct Case {
        const char* name;
        const std::vector<PollRecord>* polls;
        const PollRecord* shown;
        VoteResultMode mode;
        bool pathGiven;
        bool written;
        std::vector<std::string> mustHold;  // empty: the bare root
    } cases[] = {
        {"all: one of three",
         &mixed,
         nullptr,
         VoteResultMode::AllPolls,
         true,
         true,
         {"<PollingId value=\"3\"/>", "<PollingStatus value=\"3\"/>"}},
        {"shown and open", &mixed, &open, VoteResultMode::ShownPoll, true, true, {}},
        {"shown and closed",
         &mixed,
         &closed,
         VoteResultMode::ShownPoll,
         true,
         true,
         {"<PollingId value=\"8\"/>"}},
        {"shown, none shown", &mixed, nullptr, VoteResultMode::ShownPoll, true, false, {}},
        {"no poll list", nullptr, &closed, VoteResultMode::ShownPoll, true, false, {}},
        {"no path", &mixed, nullptr, VoteResultMode::AllPolls, false, false, {}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::wstring path = c.pathGiven ? (dir / "out.xml").wstring() : L"";
        VoteResultWriter writer(path, c.polls, c.shown, c.mode);
        EXPECT_EQ(writer.Write(), c.written) << c.name;
        const std::string bytes = ReadFileBytes(dir / "out.xml");
        if (!c.written) {
            EXPECT_FALSE(std::filesystem::exists(dir / "out.xml")) << c.name;
        } else if (c.mustHold.empty()) {
            EXPECT_EQ(bytes, emptyRoot) << c.name;
        } else {
            size_t items = 0;
            for (size_t at = bytes.find("<VoteItem>"); at != std::string::npos;
                 at = bytes.find("<VoteItem>", at + 1))
                ++items;
            EXPECT_EQ(items, 1u) << c.name;
            for (const std::string& part : c.mustHold)
                EXPECT_NE(bytes.find(part), std::string::npos) << c.name << ": " << part;
        }
    }
}

TEST(PollFileReader, ReadsUsableVoteItemsAndSkipsTheRest) {
    std::string thirty;
    for (int i = 0; i < 30; ++i) thirty += "<Choice Description='c" + std::to_string(i) + "'/>";
    const std::string good = VoteItem("value='1'", "value='1'", "value='Fine'", kOneChoice);
    struct Case {
        const char* name;
        std::string body;  // inside the root
        std::vector<std::wstring> titles;
        std::wstring firstItems;
        bool single;
        bool identified;
    } cases[] = {
        {"VoteMode without value skips only its item",
         VoteItem("", "value='0'", "value='Skipped'", kOneChoice) + good,
         {L"Fine"},
         L"A=only",
         false,
         false},
        {"undescribed choices use no letter",
         VoteItem("value='0'", "value='0'", "value='Q'",
                  "<Choice Description='x'/><Option Description=''/>text<Choice "
                  "Description='z'/>"),
         {L"Q"},
         L"A=x,B=z",
         true,
         true},
        {"AnswerMode 2 allows several answers",
         VoteItem("value='5'", "value='2'", "value='Q'", kOneChoice),
         {L"Q"},
         L"A=only",
         false,
         false},
        {"thirty choices go past Z by character code",
         VoteItem("value='1'", "value='0'", "value='Q'", thirty),
         {L"Q"},
         L"",
         true,
         false},
        {"nested items in file order, whatever their depth",
         good + "<Group>" + VoteItem("value='1'", "value='1'", "value='Second'", kOneChoice) +
             "</Group>",
         {L"Fine", L"Second"},
         L"A=only",
         false,
         false},
        {"unusable: no AnswerMode value, empty question, no choice list, no described choice",
         VoteItem("value='1'", "", "value='Q'", kOneChoice) +
             VoteItem("value='1'", "value='1'", "value=''", kOneChoice) +
             "<VoteItem><Question value='Q'/><VoteMode value='1'/><AnswerMode "
             "value='1'/></VoteItem>" +
             VoteItem("value='1'", "value='1'", "value='Q'", "<Choice Label='A'/>"),
         {},
         L"",
         false,
         false},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFileBytes(dir / "in.pol", "<WendrakeVote>" + c.body + "</WendrakeVote>");
        PollFileReader reader((dir / "in.pol").wstring());
        EXPECT_EQ(reader.Read(), !c.titles.empty()) << c.name;
        std::vector<std::wstring> titles;
        for (const PollRecord& record : reader.GetRecords()) titles.push_back(record.title);
        EXPECT_EQ(titles, c.titles) << c.name;
        if (c.titles.empty()) continue;
        const PollRecord& first = reader.GetRecords().front();
        if (!c.firstItems.empty()) {
            EXPECT_EQ(Items(first), c.firstItems) << c.name;
        }
        EXPECT_EQ(first.singleChoice, c.single) << c.name;
        EXPECT_EQ(first.identified, c.identified) << c.name;
        EXPECT_TRUE(first.pollId.empty() && first.status == PollStatus::None) << c.name;
    }

    // The thirty-choice case, lettered A..Z then the next four codes.
    TempDir dir;
    WriteFileBytes(dir / "in.pol", "<WendrakeVote>" +
                                       VoteItem("value='1'", "value='0'", "value='Q'", thirty) +
                                       "</WendrakeVote>");
    PollFileReader reader((dir / "in.pol").wstring());
    ASSERT_TRUE(reader.Read());
    std::wstring letters;
    for (const PollItem& item : reader.GetRecords().front().items) letters += item.itemName;
    EXPECT_EQ(letters, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^");
}

TEST(PollFileReader, ReadsBackWhatTheWriterWrote) {
    TempDir dir;
    PollRecord multi = Poll(L"7", PollStatus::Closed, L"Lunch \u5348\u996D & <more>?");
    multi.identified = true;
    multi.items = {{L"7", L"C", L"Pizza", 3, {L"Ann"}}, {L"7", L"D", L"Noodles \u9762", 0, {}}};
    PollRecord single = Poll(L"8", PollStatus::Closed, L"Again?");
    single.singleChoice = true;
    const std::vector<PollRecord> polls{multi, single};
    ASSERT_TRUE(
        VoteResultWriter((dir / "r.pol").wstring(), &polls, nullptr, VoteResultMode::AllPolls)
            .Write());

    PollFileReader reader((dir / "r.pol").wstring());
    ASSERT_TRUE(reader.Read());
    ASSERT_EQ(reader.GetRecords().size(), 2u);
    const PollRecord& first = reader.GetRecords()[0];
    EXPECT_EQ(first.title, multi.title);
    EXPECT_TRUE(first.identified);
    EXPECT_FALSE(first.singleChoice);
    EXPECT_EQ(Items(first), L"A=Pizza,B=Noodles \u9762");
    EXPECT_EQ(first.items[0].postCount, 0);  // counts and voters are not read
    EXPECT_TRUE(first.items[0].voterNames.empty());
    EXPECT_TRUE(reader.GetRecords()[1].singleChoice);
    EXPECT_FALSE(reader.GetRecords()[1].identified);
}

TEST(PollFileReader, RefusesHostileFilesWithinBoundedMemory) {
    TempDir dir;
    const std::string item = VoteItem("value='1'", "value='1'", "value='&big;'", kOneChoice);
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"entity expansion",
         "<!DOCTYPE WendrakeVote [<!ENTITY a 'aaaaaaaaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;'>"
         "<!ENTITY big '&b;&b;&b;&b;&b;&b;&b;&b;'>]><WendrakeVote>" +
             item + "</WendrakeVote>"},
        {"external entity",
         "<!DOCTYPE WendrakeVote [<!ENTITY big SYSTEM 'file:///etc/passwd'>]><WendrakeVote>" +
             item + "</WendrakeVote>"},
        {"binary junk", std::string("\x00\xff\xfe<\x01WendrakeVote\x80\x81", 16)},
        {"truncated", "<WendrakeVote>" + item.substr(0, item.size() / 2)},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir / "h.pol", c.bytes);
        PollFileReader reader((dir / "h.pol").wstring());
        // Entities are never expanded: the question stays empty text and the item is skipped.
        EXPECT_FALSE(reader.Read()) << c.name;
    }
    EXPECT_FALSE(PollFileReader((dir / "missing.pol").wstring()).Read());
    EXPECT_FALSE(PollFileReader(L"").Read());

    // 50 MB of choices is refused unread, without the memory a parse would take.
    {
        std::ofstream out(dir / "big.pol", std::ios::binary);
        out << "<WendrakeVote><VoteItem><Question value='Q'/><VoteMode value='1'/>"
               "<AnswerMode value='1'/><ChoiceList>";
        const std::string choice = "<Choice Description='xxxxxxxxxxxxxxxxxxxxxxxx'/>\n";
        for (size_t written = 0; written < 50u * 1024 * 1024; written += choice.size())
            out << choice;
        out << "</ChoiceList></VoteItem></WendrakeVote>";
    }
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    PollFileReader big((dir / "big.pol").wstring());
    EXPECT_FALSE(big.Read());
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "kilobytes of peak growth";
}

TEST(PollFileReader, TracesNumberedPointsOnlyToAnInstalledSink) {
    static std::string trace;
    trace.clear();
    TempDir dir;
    WriteFileBytes(dir / "t.pol",
                   "<WendrakeVote>" +
                       VoteItem("value='1'", "value='1'", "value='Q'",
                                "<Choice Description=''/><Choice Description='y'/>") +
                       "</WendrakeVote>");
    {
        PollFileReader silent((dir / "t.pol").wstring());
        ASSERT_TRUE(silent.Read());
    }
    EXPECT_EQ(trace, "");

    SetPollFileTraceSink([](std::string_view line) { trace += line; });
    {
        PollFileReader reader((dir / "t.pol").wstring());
        ASSERT_TRUE(reader.Read());
        std::string expected;
        for (int point :
             {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 14, 15, 16, 18, 19, 20, 30})
            expected += PollFileTraceLine(point);
        EXPECT_EQ(trace, expected);
        trace.clear();
    }
    SetPollFileTraceSink(nullptr);
    EXPECT_EQ(trace, PollFileTraceLine(21) + PollFileTraceLine(22) + PollFileTraceLine(23) +
                         PollFileTraceLine(24) + PollFileTraceLine(25) + PollFileTraceLine(26));
    EXPECT_EQ(PollFileTraceLine(1), "------------1-----------\n");
}
