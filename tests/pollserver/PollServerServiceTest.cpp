// The packaged systemd unit: systemd's own checker accepts it, and its
// hardening rates 2.0 or lower ("OK" or better) in systemd's security review.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/TestSupport.h"

namespace quibra::test {
namespace {

// What a command prints on both streams, then "exit N" with its exit status.
std::string Shell(const std::string& command) {
    return CommandOutput("{ " + command + "; } 2>&1; echo \"exit $?\"");
}

TEST(PollServerService, TheUnitVerifiesAndRatesTwoOrLower) {
    // verify wants the program to exist: the built one stands in for /usr/bin's.
    std::ifstream in(QUIBRA_SOURCE_DIR "/debian/quibra-pollserver.service");
    std::stringstream unit;
    unit << in.rdbuf();
    std::string text = unit.str();
    const std::string installed = "/usr/bin/pollserver";
    ASSERT_NE(text.find("ExecStart=" + installed + " $POLLSERVER_OPTIONS"), std::string::npos);
    text.replace(text.find(installed), installed.size(), QUIBRA_POLLSERVER_EXE);
    TempDir dir;
    const auto copy = dir / "quibra-pollserver.service";
    std::ofstream(copy) << text;

    EXPECT_EQ(Shell("systemd-analyze verify " + copy.string()), "exit 0");
    // --threshold is ten times the exposure level: 20 is 2.0.
    const auto security =
        Shell("systemd-analyze security --offline=true --threshold=20 " + copy.string());
    EXPECT_TRUE(security.ends_with("\nexit 0")) << security;
    EXPECT_NE(security.find("Overall exposure level for quibra-pollserver.service: "),
              std::string::npos)
        << security;
}

}  // namespace
}  // namespace quibra::test
