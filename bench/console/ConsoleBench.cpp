// Measures a refresh of the presenter's console: from the bytes of a poll list
// reply to a filled, unlocked console (parse, the previous list cleared,
// records read, tree and shown details panel built), against a bare libxml2
// parse of the same bytes, alternating in the same run. Freeing either
// document comes after the measured span, as it does in the plug-in.
//
// Figures are the UI thread's CPU time (on a shared machine the wall clock
// mostly measures waiting for a core) and, beside it, the wall clock.
// Each span starts from a trimmed heap (malloc_trim), so that neither side
// pays for consolidating what the other freed.
//
//   QT_QPA_PLATFORM=offscreen bench_console [rounds] [polls] [voters]
//   (defaults 15, 200, 2000: 7 choices each, identified, every voter answered)

#include <libxml/parser.h>
#include <malloc.h>
#include <time.h>

#include <QApplication>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/PollManager.h"
#include "quibra/CWenDoc.h"
#include "ui/console/CPollManagerDlg.h"
#include "ui/console/PollDetailsPanel.h"
#include "ui/skin/SkinSettings.h"

using namespace quibra;
using Wall = std::chrono::steady_clock;

// The calling thread's CPU time.
struct Cpu {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<Cpu, duration>;
    static time_point now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return time_point(std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
    }
};

// CPU and wall time of one span.
struct Span {
    Cpu::time_point cpu = Cpu::now();
    Wall::time_point wall = Wall::now();
};

namespace {

// A poll list reply as the server sends it: `polls` closed, identified,
// single-answer polls of seven choices; `voters` voters per poll spread over
// the choices, each named.
std::string MakeReply(int polls, int voters) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Wendrake><Records>";
    xml.reserve(static_cast<std::size_t>(polls) * static_cast<std::size_t>(voters) * 40);
    for (int p = 0; p < polls; ++p) {
        const std::string id = std::to_string(1000 + p);
        xml += "<Record PollingId=\"" + id + "\" Type=\"S\" IsSign=\"1\" Title=\"Question " + id +
               ": which of the seven proposals should the committee adopt first?\" "
               "IsPublish=\"0\" Status=\"C\" UserCount=\"" +
               std::to_string(voters) + "\"><Items>";
        for (int c = 0; c < 7; ++c) {
            const int count = voters / 7 + (c < voters % 7 ? 1 : 0);
            xml += "<Item ItemName=\"" + std::string(1, static_cast<char>('A' + c)) +
                   "\" Content=\"Proposal " + std::to_string(c + 1) + " of poll " + id +
                   "\" PostCount=\"" + std::to_string(count) + "\">";
            for (int v = 0; v < count; ++v)
                xml += "<User UserName=\"Voter " + std::to_string(c * voters + v) + "\"/>";
            xml += "</Item>";
        }
        xml += "</Items></Record>";
    }
    xml += "</Records></Wendrake>";
    return xml;
}

template <class Duration>
double Millis(Duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const int polls = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const int voters = argc > 3 ? std::max(0, std::atoi(argv[3])) : 2000;

    // The shipped skin, through a settings folder of the bench's own.
    char folder[] = "/tmp/quibra-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    const std::filesystem::path config = std::filesystem::path(folder) / "wendrake";
    std::filesystem::create_directories(config);
    std::ofstream(config / "wenconfig.xml")
        << "<Wendrake><WenConfig><SystemSetting><SkinName value=\"default\"/>"
           "</SystemSetting></WenConfig></Wendrake>";
    setenv("XDG_CONFIG_HOME", folder, 1);

    const std::string reply = MakeReply(polls, voters);
    PollManager manager;
    CPollManagerDlg console(manager, nullptr, SkinSettings());
    console.Show();
    QCoreApplication::processEvents();

    std::vector<double> bareCpu, bareWall, fullCpu, fullWall;
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    for (int round = 0; round < rounds; ++round) {
        malloc_trim(0);
        const Span bareStart;
        xmlDocPtr doc =
            xmlReadMemory(reply.data(), static_cast<int>(reply.size()), nullptr, nullptr, options);
        bareCpu.push_back(Millis(Cpu::now() - bareStart.cpu));
        bareWall.push_back(Millis(Wall::now() - bareStart.wall));
        xmlFreeDoc(doc);

        // Every round lands on a console locked by a command, as after a status change.
        console.EnableAll(false);
        CWenDoc replyDoc;
        malloc_trim(0);
        const Span fullStart;
        console.List().Apply(replyDoc.LoadXml(reply));
        fullCpu.push_back(Millis(Cpu::now() - fullStart.cpu));
        fullWall.push_back(Millis(Wall::now() - fullStart.wall));
        replyDoc.Close();
        if (console.Tree()->topLevelItemCount() != polls || !console.ButtonsEnabled() ||
            !console.Tree()->isEnabled() || console.CurrentPanel() == nullptr) {
            std::fprintf(stderr, "round %d: the console was not filled and unlocked\n", round);
            return 1;
        }
        QCoreApplication::processEvents();
    }
    // Each round's two spans ran back to back, so their ratio drifts less with
    // the machine's load than the two medians do.
    std::vector<double> ratios;
    for (std::size_t i = 0; i < fullCpu.size(); ++i) ratios.push_back(fullCpu[i] / bareCpu[i]);
    std::printf("reply: %d polls x 7 choices, %d voters each, %.1f MB; median of %d rounds\n",
                polls, voters, static_cast<double>(reply.size()) / 1e6, rounds);
    std::printf("bare libxml2 parse        cpu %8.2f ms   wall %8.2f ms\n", Median(bareCpu),
                Median(bareWall));
    std::printf("reply to filled console   cpu %8.2f ms   wall %8.2f ms\n", Median(fullCpu),
                Median(fullWall));
    std::printf("ratio (cpu, median of rounds) %.2f, goal <= 1.50\n", Median(ratios));
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
