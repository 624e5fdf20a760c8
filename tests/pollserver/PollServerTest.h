#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>

#include "PollServerProcess.h"
#include "PollServerSession.h"
#include "PostgresServer.h"
#include "support/TestSupport.h"

namespace quibra::test {

using Strings = std::vector<std::string>;

inline std::string Repeat(const std::string& unit, int times) {
    std::string text;
    while (times-- > 0) text += unit;
    return text;
}

// Runs `body(t)` for each t below `count`, each on a thread of its own, and waits for all.
inline void OnThreads(int count, const auto& body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) threads.emplace_back(body, t);
    for (auto& thread : threads) thread.join();
}

// A fresh pollserver on a fresh database for each test, with a session over HTTP.
class PollServerTest : public ::testing::Test {
protected:
    void SetUp() override { Start(); }
    void Start(const Strings& options = {}) {
        ASSERT_TRUE(m_server.Start(
            m_databaseUri.empty() ? Database() : std::filesystem::path(m_databaseUri), options))
            << m_server.Error();
        m_session = std::make_unique<PollServerSession>(m_server.HttpUrl());
    }
    // A clean stop (or SIGKILL when `crash`), the database left as the server left it.
    void Stop(bool crash = false) {
        m_session.reset();
        if (crash)
            m_server.Kill();
        else
            ASSERT_EQ(m_server.Stop(), 0);
    }
    void Restart(bool crash = false) {
        ASSERT_NO_FATAL_FAILURE(Stop(crash));
        Start();
    }

    std::filesystem::path Database() const { return m_dir / "polls.sqlite"; }
    // The self-signed certificate the server makes beside its database.
    std::filesystem::path Certificate() const { return m_dir / "pollserver-cert.pem"; }
    PollServerSession& Session() { return *m_session; }

    // A poll of a7 with choices A (yes), B (no), C (maybe), opened for ballots.
    std::string OpenPoll(const std::string& type, bool identified) {
        const auto id = Session().Create("a7", "m1", "Lunch?", type, identified,
                                         {{"A", "yes"}, {"B", "no"}, {"C", "maybe"}});
        EXPECT_EQ(Session().SetStatus(id, "O", "0"), 200);
        return id;
    }
    PollListReply::Record Listed(const std::string& id) {
        const auto list = Session().List("a7", "m1");
        const auto* record = list.Find(id);
        EXPECT_NE(record, nullptr) << id << " is not listed";
        return record ? *record : PollListReply::Record{};
    }

    TempDir m_dir;
    std::string m_databaseUri;  // set: a PostgreSQL database instead of the SQLite file
    PollServerProcess m_server;
    std::unique_ptr<PollServerSession> m_session;
};

// The same jobs on each store: "sqlite" (the embedded file) and "postgresql"
// (a fresh database on one PostgreSQL server shared by the whole suite).
class PollServerStoreTest : public PollServerTest,
                            public ::testing::WithParamInterface<std::string> {
protected:
    static void TearDownTestSuite() { s_postgres.reset(); }
    void SetUp() override {
        if (OnPostgres()) {
            if (!s_postgres) s_postgres = std::make_unique<PostgresServer>();
            ASSERT_TRUE(s_postgres->Running()) << "see " << s_postgres->Log();
            m_databaseUri = s_postgres->CreateDatabase();
            ASSERT_FALSE(m_databaseUri.empty()) << "see " << s_postgres->Log();
            // The self-signed certificate goes to the data folder: keep it in the test's.
            m_dataHome.emplace("XDG_DATA_HOME", m_dir.Path().string());
        }
        Start();
    }
    bool OnPostgres() const { return GetParam() == "postgresql"; }

    // Shared by the suite: one server start, a fresh database per test.
    static inline std::unique_ptr<PostgresServer> s_postgres;
    std::optional<ScopedEnv> m_dataHome;
};

}  // namespace quibra::test
