#include <gtest/gtest.h>

#include "ServerTally.h"

namespace {

// The server's own word is what the walkthrough and the relays trust, so a
// reply that is not a poll list must never read as one.
TEST(ServerTally, ReadsAPollListAndNothingElse) {
    std::vector<ServerTally::Poll> polls;
    ASSERT_TRUE(ServerTally::Parse(
        "<Wendrake><Records><Record PollingId=\"7\" Type=\"S\" IsSign=\"1\" Title=\"Tea &amp; "
        "cake?\" IsPublish=\"1\" Status=\"C\" UserCount=\"3\"><Items><Item ItemName=\"A\" "
        "Content=\"Yes\" PostCount=\"2\"><User UserName=\"Ann\"/></Item><Item ItemName=\"B\" "
        "Content=\"No\" PostCount=\"x\"/></Items></Record></Records></Wendrake>",
        polls));
    ASSERT_EQ(polls.size(), 1u);
    const ServerTally::Poll& poll = polls[0];
    EXPECT_EQ(
        std::tuple(poll.id, poll.title, poll.status, poll.published, poll.single, poll.voters),
        std::tuple(QString("7"), QString("Tea & cake?"), QString("C"), true, true, 3));
    ASSERT_EQ(poll.choices.size(), 2u);
    EXPECT_EQ(std::pair(poll.choices[0].count, poll.choices[1].count), std::pair(2, -1))
        << "a count that is not a number reads as -1";

    for (const char* reply : {"", "<Other/>", "<Wendrake><Records><Record PollingId=\"1\">",
                              "not xml", "<Wendrake><Error Code=\"400\"/></Wendrake><x/>",
                              "<Other><Wendrake><Records/></Wendrake></Other>"}) {
        std::vector<ServerTally::Poll> none;
        EXPECT_FALSE(ServerTally::Parse(reply, none)) << reply;
    }
}

}  // namespace
