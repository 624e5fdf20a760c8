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
    EXPECT_EQ(polls[0].id, "7");
    EXPECT_EQ(polls[0].title, "Tea & cake?");
    EXPECT_EQ(polls[0].status, "C");
    EXPECT_TRUE(polls[0].published);
    EXPECT_TRUE(polls[0].single);
    EXPECT_EQ(polls[0].voters, 3);
    ASSERT_EQ(polls[0].choices.size(), 2u);
    EXPECT_EQ(polls[0].choices[0].count, 2);
    EXPECT_EQ(polls[0].choices[1].count, -1) << "a count that is not a number";

    for (const char* reply : {"", "<Other/>", "<Wendrake><Records><Record PollingId=\"1\">",
                              "not xml", "<Wendrake><Error Code=\"400\"/></Wendrake><x/>",
                              "<Other><Wendrake><Records/></Wendrake></Other>"}) {
        std::vector<ServerTally::Poll> none;
        EXPECT_FALSE(ServerTally::Parse(reply, none)) << reply;
    }
}

}  // namespace
