#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>

#include "polldata/PollFileReader.h"
#include "polldata/PollFileTrace.h"
#include "polldata/VoteResultWriter.h"
#include "support/TestSupport.h"

using namespace quibra;
using namespace quibra::test;

namespace {

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--Generate by Wendrake application.-->\r\n";

PollRecord Poll(const std::wstring& id, PollStatus status) {
    return {
        .pollId = id, .title = L"Q", .items = {{id, L"A", L"Yes", 1, {L"Ann"}}}, .status = status};
}

// A poll file of VoteItems, each from the attributes of its Question, VoteMode
// and AnswerMode and its choices.
std::string VoteItem(const std::string& question, const std::string& voteMode,
                     const std::string& answerMode,
                     const std::string& choices = "<Choice Description='only'/>") {
    return "<VoteItem><Question " + question + "/><VoteMode " + voteMode + "/><AnswerMode " +
           answerMode + "/><ChoiceList>" + choices + "</ChoiceList></VoteItem>";
}
std::string File(const std::string& body) {
    return "<WendrakeVote>" + body + "</WendrakeVote>";
}

// Every record read, as "title S|M I|- A=x,B=z" lines, so a case compares in one line.
std::wstring Read(const std::filesystem::path& file) {
    PollFileReader reader(file.wstring());
    const bool read = reader.Read();
    std::wstring out;
    for (const PollRecord& r : reader.GetRecords()) {
        out += r.title + (r.singleChoice ? L" S" : L" M") + (r.identified ? L"I " : L"- ");
        for (const PollItem& item : r.items) out += item.itemName + L"=" + item.content + L",";
        EXPECT_TRUE(r.pollId.empty() && r.status == PollStatus::None && r.items[0].postCount == 0);
        out += L"\n";
    }
    EXPECT_EQ(read, !out.empty());
    return out;
}

}  // namespace

// The example poll to the exact bytes of the XML classes, and back.
TEST(VoteResultWriter, WritesTheExamplePollByteForByteAndReadsItBack) {
    TempDir dir;
    PollRecord poll = Poll(L"345", PollStatus::Closed);
    poll.title = L"Which day?";
    poll.singleChoice = true;  // AnswerMode 0
    poll.voterCount = 12;
    poll.publishState = PublishState::NotPublished;
    poll.items = {{L"345", L"A", L"Monday", 5, {L"Ann", L"Bo", L"Cy", L"Di", L"Zo\u00eb <&>"}},
                  {L"345", L"B", L"Tuesday \"late\"", 0, {}}};
    const std::vector<PollRecord> polls{poll};
    ASSERT_TRUE(
        VoteResultWriter((dir / "out.pol").wstring(), &polls, nullptr, VoteResultMode::AllPolls)
            .Write());

    std::string expected = kHead + "<WendrakeVote>\r\n\t<VoteItem>\r\n";
    for (const char* child :
         {"Title value=\"\"", "Question value=\"Which day?\"", "VoteMode value=\"1\"",
          "AnswerMode value=\"0\"", "TotalNumberOfPeople value=\"12\"", "PollingId value=\"345\"",
          "SessionId value=\"\"", "PublishStatus value=\"2\"", "PollingStatus value=\"3\""})
        expected += std::string("\t\t<") + child + "/>\r\n\r\n";
    expected +=
        "\t\t<ChoiceList>\r\n"
        "\t\t\t<Choice Label=\"A\" Description=\"Monday\" Voter=\"5\" ID=\"345\">\r\n"
        "\t\t\t\t<UserList>\r\n";
    for (const char* name : {"Ann", "Bo", "Cy", "Di"})
        expected += std::string("\t\t\t\t\t<UserName value=\"") + name + "\"/>\r\n\r\n";
    expected +=
        "\t\t\t\t\t<UserName value=\"Zo\xC3\xAB &lt;&amp;&gt;\"/>\r\n</UserList>\r\n"
        "</Choice>\r\n\r\n"
        "\t\t\t<Choice Label=\"B\" Description=\"Tuesday &quot;late&quot;\" Voter=\"0\" "
        "ID=\"345\">\r\n\t\t\t\t<UserList/>\r\n</Choice>\r\n</ChoiceList>\r\n</VoteItem>\r\n"
        "</WendrakeVote>\r\n";
    EXPECT_EQ(ReadFileBytes(dir / "out.pol"), expected);
    EXPECT_EQ(Read(dir / "out.pol"), L"Which day? S- A=Monday,B=Tuesday \"late\",\n");
}

TEST(VoteResultWriter, WritesOnlyClosedPollsAndRefusesWhatItCannotWrite) {
    const std::vector<PollRecord> mixed{Poll(L"1", PollStatus::New), Poll(L"2", PollStatus::Open),
                                        Poll(L"3", PollStatus::Closed)};
    const PollRecord open = Poll(L"9", PollStatus::Open);
    constexpr auto kAll = VoteResultMode::AllPolls, kShown = VoteResultMode::ShownPoll;
    const struct {
        const std::vector<PollRecord>* polls;
        const PollRecord* shown;
        VoteResultMode mode;
        bool pathGiven, written;
    } cases[] = {
        {&mixed, nullptr, kAll, true, true},     // one VoteItem, id 3
        {&mixed, &open, kShown, true, true},     // the bare root
        {&mixed, nullptr, kShown, true, false},  // no shown poll
        {nullptr, &open, kShown, true, false},   // no poll list
        {&mixed, nullptr, kAll, false, false},   // no path
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::wstring path = c.pathGiven ? (dir / "o.xml").wstring() : L"";
        EXPECT_EQ(VoteResultWriter(path, c.polls, c.shown, c.mode).Write(), c.written);
        EXPECT_EQ(std::filesystem::exists(dir / "o.xml"), c.written);
        if (!c.written) continue;
        if (c.shown) {  // the bare root
            EXPECT_EQ(ReadFileBytes(dir / "o.xml"), kHead + "<WendrakeVote/>\r\n");
        } else {  // only the closed poll
            EXPECT_EQ(Read(dir / "o.xml"), L"Q M- A=Yes,\n");
            EXPECT_NE(ReadFileBytes(dir / "o.xml").find("<PollingId value=\"3\"/>"),
                      std::string::npos);
        }
    }
}

TEST(PollFileReader, ReadsUsableVoteItemsAndSkipsTheRest) {
    std::string thirty;
    for (int i = 0; i < 30; ++i) thirty += "<Choice Description='" + std::to_string(i) + "'/>";
    const std::string good = VoteItem("value='Fine'", "value='1'", "value='1'");
    const std::pair<std::string, std::wstring> cases[] = {
        // A VoteMode without value skips only its VoteItem.
        {VoteItem("value='Q'", "", "value='0'") + good, L"Fine M- A=only,\n"},
        // Undescribed choices, whatever their name, use no letter.
        {VoteItem("value='Q'", "value='0'", "value='0'",
                  "<Choice Description='x'/><Option Description=''/>t<Choice Description='z'/>"),
         L"Q SI A=x,B=z,\n"},
        {VoteItem("value='Q'", "value='5'", "value='2'"), L"Q M- A=only,\n"},
        {VoteItem("value='Q'", "value='1'", "value='0'", thirty),
         L"Q S- A=0,B=1,C=2,D=3,E=4,F=5,G=6,H=7,I=8,J=9,K=10,L=11,M=12,N=13,O=14,P=15,Q=16,"
         L"R=17,S=18,T=19,U=20,V=21,W=22,X=23,Y=24,Z=25,[=26,\\=27,]=28,^=29,\n"},
        // VoteItems at any depth, in document order.
        {good + "<G>" + VoteItem("value='Two'", "value='1'", "value='1'") + "</G>",
         L"Fine M- A=only,\nTwo M- A=only,\n"},
        // No AnswerMode value, no choice list (an empty question and no described
        // choice: the console's import).
        {VoteItem("value='Q'", "value='1'", "") +
             "<VoteItem><Question value='Q'/><VoteMode value='1'/><AnswerMode value='1'/>"
             "</VoteItem>",
         L""},
    };
    TempDir dir;
    for (const auto& [body, expected] : cases) {
        WriteFileBytes(dir / "in.pol", File(body));
        EXPECT_EQ(Read(dir / "in.pol"), expected) << body;
    }
}

TEST(PollFileReader, RefusesHostileFilesWithinBoundedMemory) {
    TempDir dir;
    const std::string item = VoteItem("value='&big;'", "value='1'", "value='1'");
    const std::string hostile[] = {
        // Entities are never expanded: the question stays empty and the item is skipped.
        "<!DOCTYPE WendrakeVote [<!ENTITY a 'aaaaaaaaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;'>"
        "<!ENTITY big '&b;&b;&b;&b;&b;&b;&b;&b;'>]>" +
            File(item),
        "<!DOCTYPE WendrakeVote [<!ENTITY big SYSTEM 'file:///etc/passwd'>]>" + File(item),
        std::string("\x00\xff\xfe<\x01WendrakeVote\x80\x81", 16),
        "<WendrakeVote>" + item.substr(0, item.size() / 2),
        "",
    };
    for (const std::string& bytes : hostile) {
        WriteFileBytes(dir / "h.pol", bytes);
        EXPECT_EQ(Read(dir / "h.pol"), L"") << bytes;
    }
    EXPECT_EQ(Read(dir / "missing.pol"), L"");
    EXPECT_FALSE(PollFileReader(L"").Read());
    // The size limit is exact: a file of 4 MiB is read, one byte more is refused.
    const std::string small = File(VoteItem("value='Q'", "value='1'", "value='1'"));
    for (const size_t extra : {0, 1}) {
        WriteFileBytes(dir / "edge.pol",
                       small + std::string(4 * 1024 * 1024 - small.size() + extra, ' '));
        EXPECT_EQ(Read(dir / "edge.pol"), extra == 0 ? L"Q M- A=only,\n" : L"") << extra;
    }

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
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(Read(dir / "big.pol"), L"");
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "kilobytes of peak growth";
}

TEST(PollFileReader, TracesNumberedPointsOnlyToAnInstalledSink) {
    static std::string trace;
    TempDir dir;
    WriteFileBytes(dir / "t.pol",
                   File(VoteItem("value='Q'", "value='1'", "value='1'",
                                 "<Choice Description=''/><Choice Description='only'/>")));
    EXPECT_EQ(Read(dir / "t.pol"), L"Q M- A=only,\n");
    EXPECT_EQ(trace, "") << "silent without a sink";

    SetPollFileTraceSink([](std::string_view line) { trace += line; });
    Read(dir / "t.pol");
    SetPollFileTraceSink(nullptr);
    std::string expected;
    for (int point : {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                      16, 14, 15, 16, 18, 19, 20, 30, 21, 22, 23, 24, 25, 26})
        expected += PollFileTraceLine(point);
    EXPECT_EQ(trace, expected);
    EXPECT_EQ(PollFileTraceLine(1), "------------1-----------\n");
}
