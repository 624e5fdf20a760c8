// Measures a refresh of the presenter's console: from the bytes of a poll list
// reply to a filled, unlocked console (parse, records read, tree and shown
// details panel built, the previous list cleared), against a bare libxml2
// parse and free of the same bytes, alternating in the same run.
//
//   QT_QPA_PLATFORM=offscreen bench_console [rounds] [polls] [voters]
//   (defaults 15, 200, 2000: 7 choices each, identified, every voter answered)

#include <libxml/parser.h>

#include <QApplication>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/PollManager.h"
#include "quibra/CWenDoc.h"
#include "ui/console/CPollManagerDlg.h"
#include "ui/console/PollDetailsPanel.h"

using namespace quibra;
using Clock = std::chrono::steady_clock;

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

double Millis(Clock::duration d) {
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

    const std::string reply = MakeReply(polls, voters);
    PollManager manager;
    CPollManagerDlg console(manager, nullptr);
    console.Show();
    QCoreApplication::processEvents();

    std::vector<double> bare;
    std::vector<double> full;
    for (int round = 0; round < rounds; ++round) {
        const auto bareStart = Clock::now();
        xmlDocPtr doc =
            xmlReadMemory(reply.data(), static_cast<int>(reply.size()), nullptr, nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        xmlFreeDoc(doc);
        bare.push_back(Millis(Clock::now() - bareStart));

        // Every round lands on a console locked by a command, as after a status change.
        console.EnableAll(false);
        const auto fullStart = Clock::now();
        {
            CWenDoc replyDoc;
            console.List().Apply(replyDoc.LoadXml(reply));
        }
        full.push_back(Millis(Clock::now() - fullStart));
        if (console.Tree()->topLevelItemCount() != polls || !console.ButtonsEnabled() ||
            !console.Tree()->isEnabled() || console.CurrentPanel() == nullptr) {
            std::fprintf(stderr, "round %d: the console was not filled and unlocked\n", round);
            return 1;
        }
        QCoreApplication::processEvents();
    }
    const double bareMs = Median(bare);
    const double fullMs = Median(full);
    std::printf("reply: %d polls x 7 choices, %d voters each, %.1f MB\n", polls, voters,
                static_cast<double>(reply.size()) / 1e6);
    std::printf("bare libxml2 parse+free  median %8.2f ms  (%d rounds)\n", bareMs, rounds);
    std::printf("reply to filled console  median %8.2f ms\n", fullMs);
    std::printf("ratio %.2f (goal <= 1.50)\n", fullMs / bareMs);
    return 0;
}
