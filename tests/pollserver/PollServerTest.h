#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "PollServerProcess.h"
#include "PollServerSession.h"
#include "support/TestSupport.h"

namespace quibra::test {

// A fresh pollserver on a fresh database for each test, with a session over HTTP.
class PollServerTest : public ::testing::Test {
protected:
    void SetUp() override;

    std::filesystem::path Database() const { return m_dir / "polls.sqlite"; }
    // The self-signed certificate the server makes beside its database.
    std::filesystem::path Certificate() const { return m_dir / "pollserver-cert.pem"; }
    // Stops the server (SIGKILL when `crash`) and starts it again on the same database.
    void Restart(bool crash);
    PollServerSession& Session() { return *m_session; }

    // A poll with choices A (yes), B (no), C (maybe), opened for ballots.
    std::string OpenPoll(const std::string& type, bool identified, const std::string& module = "m1");

    TempDir m_dir;
    PollServerProcess m_server;
    std::unique_ptr<PollServerSession> m_session;
};

}  // namespace quibra::test
