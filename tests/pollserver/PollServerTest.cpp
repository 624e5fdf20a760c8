#include "PollServerTest.h"

namespace quibra::test {

void PollServerTest::SetUp() {
    ASSERT_TRUE(m_server.Start(Database())) << m_server.Error();
    m_session = std::make_unique<PollServerSession>(m_server.HttpUrl());
}

void PollServerTest::Restart(bool crash) {
    m_session.reset();
    if (crash)
        m_server.Kill();
    else
        ASSERT_EQ(m_server.Stop(), 0);
    ASSERT_TRUE(m_server.Start(Database())) << m_server.Error();
    m_session = std::make_unique<PollServerSession>(m_server.HttpUrl());
}

std::string PollServerTest::OpenPoll(const std::string& type, bool identified, const std::string& module) {
    const auto id = Session().Create("a7", module, "Lunch?", type, identified,
                                     {{"A", "yes"}, {"B", "no"}, {"C", "maybe"}});
    EXPECT_FALSE(id.empty());
    EXPECT_EQ(Session().SetStatus(id, "O", "0"), 200);
    return id;
}

}  // namespace quibra::test
