// The packaged systemd unit: systemd's own checker accepts it, and its
// hardening rates 2.0 or lower ("OK" or better) in systemd's security review.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "support/TestSupport.h"

namespace quibra::test {
namespace {

struct ShellRun {
    int code;
    std::string output;
};

ShellRun Shell(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    std::string output(65536, '\0');
    output.resize(std::fread(output.data(), 1, output.size(), pipe.get()));
    const int status = pclose(pipe.release());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
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

    const ShellRun verify = Shell("systemd-analyze verify " + copy.string());
    EXPECT_EQ(std::make_pair(verify.code, verify.output), std::make_pair(0, std::string()));
    // --threshold is ten times the exposure level: 20 is 2.0.
    const ShellRun security =
        Shell("systemd-analyze security --offline=true --threshold=20 " + copy.string());
    EXPECT_EQ(security.code, 0) << security.output;
    EXPECT_NE(security.output.find("Overall exposure level for quibra-pollserver.service: "),
              std::string::npos)
        << security.output;
}

}  // namespace
}  // namespace quibra::test
