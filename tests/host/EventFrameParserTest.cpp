#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EventFrameParser.h"
#include "HostSession.h"

namespace {

// What came out of a stream: each event as "id kind ids [user]", each dropped
// frame as "dropped: why".
std::vector<std::string> Read(const std::vector<std::string>& pieces) {
    EventFrameParser parser;
    std::vector<std::string> out;
    for (const std::string& piece : pieces) {
        std::vector<StreamEvent> events;
        std::vector<std::string> dropped;
        parser.Feed(piece, events, dropped);
        for (const std::string& why : dropped) out.push_back("dropped: " + why);
        for (const StreamEvent& e : events) {
            std::string line = std::to_string(e.id) + " " + StreamEvent::KindName(e.kind) + " ";
            for (std::size_t i = 0; i < e.pollIds.size(); ++i)
                line += (i == 0 ? "" : ",") + e.pollIds[i];
            if (!e.userId.empty()) line += " " + e.userId;
            out.push_back(line);
        }
    }
    return out;
}

struct Case {
    const char* what;
    std::vector<std::string> pieces;
    std::vector<std::string> expected;
};

const std::string kLong(EventFrameParser::kMaxLine + 1, 'x');

TEST(EventFrameParser, ReadsWellFormedFramesAndDropsTheRest) {
    const Case cases[] = {
        {"the contract's frames",
         {"id: 42\nevent: open\ndata: 3,4\n\nid: 43\nevent: close\ndata: 3\n\n"
          "id: 44\nevent: publish\ndata: 3,4\n\nid: 45\nevent: ballot\ndata: 3,alice\n\n"
          ": keep-alive\n\nid: 46\nevent: resync\ndata:\n\n"},
         {"42 open 3,4", "43 close 3", "44 publish 3,4", "45 ballot 3 alice", "46 resync "}},
        {"split at every byte",
         [] {
             std::vector<std::string> bytes;
             for (char c : std::string("id: 7\r\nevent: ballot\r\ndata: 9,a%0Ab,c\r\n\r\n"))
                 bytes.emplace_back(1, c);
             return bytes;
         }(),
         {"7 ballot 9 a%0Ab,c"}},
        {"an empty open list", {"id: 5\nevent: open\ndata:\n\n"}, {"5 open "}},
        {"a line over 64 KiB spoils its frame only",
         {"id: 1\nevent: open\ndata: 1\ndata" + kLong.substr(0, 40000),
          kLong.substr(40000) + "\n\nid: 2\nevent: close\ndata: 1\n\n"},
         {"dropped: a line over 64 KiB", "2 close 1"}},
        {"a line of exactly 64 KiB is read",
         {"id: 3\nevent: open\ndata: " + std::string(EventFrameParser::kMaxLine - 6, '1') + "\n\n"},
         {"dropped: the poll ids \"1111111111111111111111111111111111111111...\" are not a "
          "list of ids"}},
        {"malformed frames",
         {"event: open\ndata: 1\n\n", "id: 0\nevent: open\ndata: 1\n\n",
          "id: 1x\nevent: open\ndata: 1\n\n", "id: 4\nevent: vote\ndata: 1\n\n",
          "id: 4\ndata: 1\n\n", "id: 4\nevent: close\ndata: 1,,2\n\n",
          "id: 4\nevent: close\ndata:\n\n", "id: 4\nevent: ballot\ndata: 3\n\n",
          "id: 4\nevent: ballot\ndata: x,bob\n\n", "id: 4\nevent: open\ndata: 1\ndata: 2\n\n",
          "id: 4\nevent: open\nuser: 1\n\n", "id: 4\nevent: resync\ndata: 1\n\n",
          "id: 99999999999999999999\nevent: open\ndata: 1\n\n"},
         {"dropped: no id", "dropped: the id \"0\" is not a positive number",
          "dropped: the id \"1x\" is not a positive number", "dropped: an unknown event \"vote\"",
          "dropped: no event", "dropped: the poll ids \"1,,2\" are not a list of ids",
          "dropped: the poll ids \"\" are not a list of ids",
          "dropped: the ballot \"3\" is not a poll id and a user id",
          "dropped: the ballot \"x,bob\" is not a poll id and a user id",
          "dropped: a second \"data\" line", "dropped: an unknown field \"user\"",
          "dropped: a resync with data",
          "dropped: the id \"99999999999999999999\" is not a positive number"}},
        {"a frame cut off by the end of the stream comes to nothing",
         {"id: 8\nevent: open\ndata: 1\n"},
         {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c.pieces), c.expected) << c.what;
}

// After a reconnection a half-read frame of the old connection counts for nothing.
TEST(EventFrameParser, ResetForgetsAPartialFrame) {
    EventFrameParser parser;
    std::vector<StreamEvent> events;
    std::vector<std::string> dropped;
    parser.Feed("id: 1\nevent: open\nda", events, dropped);
    parser.Reset();
    parser.Feed("ta: 2\n\nid: 2\nevent: close\ndata: 5\n\n", events, dropped);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].id, 2);
    EXPECT_EQ(dropped, std::vector<std::string>{"an unknown field \"ta\""});
}

// Each side takes only its own events, as the plug-in's paths and payloads.
TEST(HostSession, EachSideTurnsItsEventsIntoThePluginsPaths) {
    struct Row {
        bool presenter;
        StreamEvent::Kind kind;
        const char* path;  // empty: nothing to do at this side
    };
    const Row rows[] = {
        {false, StreamEvent::Kind::Open, "/polling/in/authholdpolling"},
        {false, StreamEvent::Kind::Close, "/polling/in/stoppolling"},
        {false, StreamEvent::Kind::Publish, "/polling/in/clientgetpollresult"},
        {false, StreamEvent::Kind::Ballot, ""},
        {false, StreamEvent::Kind::Resync, ""},
        {true, StreamEvent::Kind::Ballot, "/polling/in/clientnotifypolling"},
        {true, StreamEvent::Kind::Resync, "/polling/in/clientnotifypolling"},
        {true, StreamEvent::Kind::Open, ""},
        {true, StreamEvent::Kind::Close, ""},
        {true, StreamEvent::Kind::Publish, ""},
    };
    for (const Row& row : rows) {
        StreamEvent event;
        event.kind = row.kind;
        event.id = 1;
        event.pollIds = {"3", "4"};
        std::string path;
        std::string xml;
        const bool taken = HostSession::PathFor(row.presenter, event, path, xml);
        EXPECT_EQ(path, row.path) << StreamEvent::KindName(row.kind) << " " << row.presenter;
        EXPECT_EQ(taken, *row.path != '\0');
        if (taken) {
            EXPECT_EQ(xml, "<Polling><ID>3</ID><ID>4</ID></Polling>");
        }
    }
}

}  // namespace
