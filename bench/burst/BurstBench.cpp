// The presenter's plug-in under a burst: N attendees' ballots within about
// five seconds, each relayed to the presenter as "/polling/in/clientnotifypolling"
// once acknowledged, as the host relays "/polling/notify/postpolling". Reports
// the list downloads the burst cost, the voter entries (and estimated bytes)
// they carried, the longest stall of the UI thread, and whether the final list
// shows every ballot.
//
//   bench_burst [attendees] [seconds]      (default 2000 5)

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "PresenterHarness.h"
#include "quibra/CWenDoc.h"

using namespace quibra;
using namespace quibra::bench;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int attendees = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const double seconds = argc > 2 ? std::max(0.1, std::atof(argv[2])) : 5.0;
    QApplication app(argc, argv);

    PresenterHarness harness("burst");
    if (!harness.Start()) return 1;
    const std::string base = harness.Base();
    IFeedBackNotify* notify = &harness.Notify();
    PollManager* manager = &harness.Manager();
    CountingWindow* window = &harness.Window();

    // One identified poll, opened: its list carries every voter's name.
    PollRecord draft;
    draft.title = L"Burst";
    draft.identified = true;
    draft.items = {{L"", L"A", L"one", 0, {}}, {L"", L"B", L"two", 0, {}}};
    manager->CmdCreatePolling(draft);
    if (!WaitUntil([&] { return window->fills > 0; }, std::chrono::seconds(30))) return 1;
    PollRecord poll = window->List().Records().front();
    poll.requestedStatus = PollStatus::Open;
    poll.requestedPublishState = PublishState::NotPublished;
    const int before = window->fills;
    manager->CmdUpdateStats({&poll});
    if (!WaitUntil([&] { return window->fills > before; }, std::chrono::seconds(30))) return 1;
    const int fillsBefore = window->fills;
    const long entriesBefore = window->voterEntries;
    std::string pollId(poll.pollId.begin(), poll.pollId.end());

    // The UI thread's pulse: a 10 ms timer; the longest gap beyond it is the longest stall.
    double longestStallMs = 0;
    auto lastBeat = Clock::now();
    QTimer pulse;
    QObject::connect(&pulse, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longestStallMs = std::max(
            longestStallMs, std::chrono::duration<double, std::milli>(now - lastBeat).count() - 10);
        lastBeat = now;
    });
    pulse.start(10);

    // Attendees vote on fresh connections, paced over the burst; each
    // acknowledged ballot reaches the presenter as the host relays it.
    std::atomic<int> acknowledged{0};
    std::atomic<int> next{0};
    std::vector<std::thread> voters;
    const auto start = Clock::now();
    for (int t = 0; t < 16; ++t)
        voters.emplace_back([&] {
            for (int i; (i = next++) < attendees;) {
                std::this_thread::sleep_until(
                    start + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(seconds * i / attendees)));
                std::string reply;
                Get(base + "/wendrake-idm/v4/polling/polling.asp?job=PostPolling&pollid=" + pollId +
                        "&userid=att" + std::to_string(i) + "&username=Attendee+" +
                        std::to_string(i) + "&itemcount=1&itemname_0=" + (i % 3 ? "A" : "B") +
                        "&_rnd=" + std::to_string(i),
                    &reply);
                if (reply.find("Code=\"200\"") == std::string::npos) continue;
                ++acknowledged;
                QMetaObject::invokeMethod(
                    qApp,
                    [notify] {
                        CWenDoc doc;
                        CWenNode ids = doc.LoadXml("<Polling><ID>0</ID></Polling>");
                        notify->Notify(L"/polling/in/clientnotifypolling", &ids);
                    },
                    Qt::QueuedConnection);
            }
        });
    // The UI thread keeps running its loop throughout, as the host's would.
    WaitUntil([&] { return next.load() >= attendees + 16; }, std::chrono::seconds(120));
    for (auto& voter : voters) voter.join();
    const double burstSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    const bool settled =
        WaitUntil([&] { return !manager->RefreshPending() && window->lastVoters >= acknowledged; },
                  std::chrono::seconds(60));
    pulse.stop();

    const int downloads = window->fills - fillsBefore;
    const long entries = window->voterEntries - entriesBefore;
    std::string finalList;
    Get(base +
            "/wendrake-idm/v4/polling/get_polling.asp?job=GetPollingResult&modulename=m1"
            "&userid=a7&_rnd=x",
        &finalList);
    const std::size_t finalBytes = finalList.size();
    const double bytesPerEntry =
        window->lastVoters > 0 ? static_cast<double>(finalBytes) / window->lastVoters : 0;
    const int shown = window->lastVoters;

    harness.Stop();

    std::printf("attendees: %d, ballots acknowledged: %d in %.2f s\n", attendees,
                acknowledged.load(), burstSeconds);
    std::printf("notices to the presenter: %d, list downloads: %d (%.1f per second of burst)\n",
                acknowledged.load(), downloads, downloads / burstSeconds);
    std::printf("voter entries downloaded: %ld, about %.1f MB (final list %zu bytes)\n", entries,
                entries * bytesPerEntry / 1e6, finalBytes);
    std::printf("longest UI stall: %.0f ms\n", longestStallMs);
    std::printf("final list shows %d ballots: %s\n", shown,
                settled && shown == acknowledged ? "all" : "NOT ALL");
    return settled && shown == acknowledged && acknowledged == attendees ? 0 : 1;
}
