// Measures the presenter's round trip on loopback: from handing an UpdateStats
// command to the worker until the manager has applied the refreshed poll list
// (two HTTP exchanges, two request threads, two hops back to the UI thread),
// against two bare libcurl exchanges of the same requests in the same run.
//
//   bench_roundtrip [rounds]      (default 300)
//   QUIBRA_BENCH_TLS=1 bench_roundtrip [rounds]   the same over HTTPS (each bare
//                                 exchange a fresh handle: a full handshake)

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "PresenterHarness.h"
#include "transport/UrlEncode.h"
#include "xml/WideString.h"

using namespace quibra;
using namespace quibra::bench;
using Clock = std::chrono::steady_clock;

namespace {

std::string Form(const std::vector<std::pair<std::wstring, std::wstring>>& fields, int tick) {
    std::wstring form;
    for (const auto& [name, value] : fields)
        form += UrlEncode(name) + L"=" + UrlEncode(value) + L"&";
    return ToUtf8(form) + "_rnd=" + std::to_string(tick);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    QApplication app(argc, argv);

    PresenterHarness harness("roundtrip");
    if (!harness.Start()) return 1;
    PollManager* manager = &harness.Manager();
    CountingWindow* window = &harness.Window();
    PollList& list = window->List();

    // A list of a realistic size: ten polls of four choices.
    for (int i = 0; i < 10; ++i) {
        PollRecord draft;
        draft.title = L"Question " + std::to_wstring(i);
        draft.items = {{L"", L"A", L"one", 0, {}},
                       {L"", L"B", L"two", 0, {}},
                       {L"", L"C", L"three", 0, {}},
                       {L"", L"D", L"four", 0, {}}};
        const int before = window->fills;
        manager->CmdCreatePolling(draft);
        if (!WaitUntil([&] { return window->fills > before; })) return 1;
    }
    PollRecord target = list.Records().front();
    target.requestedStatus = PollStatus::Open;
    target.requestedPublishState = PublishState::NotPublished;

    std::vector<double> plugin;
    std::vector<double> bare;
    const std::string base = harness.Base();
    const std::string update = base + "/wendrake-idm/v4/polling/polling.asp?" +
                               Form({{L"job", L"UpdatePollingStatus"},
                                     {L"pollcount", L"1"},
                                     {L"pollid_0", target.pollId},
                                     {L"status_0", L"O"},
                                     {L"ispublish_0", L"0"}},
                                    1);
    const std::string refresh =
        base + "/wendrake-idm/v4/polling/get_polling.asp?" +
        Form({{L"job", L"GetPollingResult"}, {L"modulename", L"m1"}, {L"userid", L"a7"}}, 2);
    for (int round = 0; round < rounds; ++round) {
        const int before = window->fills;
        const auto start = Clock::now();
        manager->CmdUpdateStats({&target});
        if (!WaitUntil([&] { return window->fills > before; })) {
            std::fprintf(stderr, "round %d: no refreshed list\n", round);
            return 1;
        }
        plugin.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());

        const auto bareStart = Clock::now();
        if (!Get(update) || !Get(refresh)) {
            std::fprintf(stderr, "round %d: bare exchange failed\n", round);
            return 1;
        }
        bare.push_back(std::chrono::duration<double, std::micro>(Clock::now() - bareStart).count());
    }

    const size_t polls = list.Records().size();
    harness.Stop();

    std::printf("rounds: %d (list of %zu polls)\n", rounds, polls);
    std::printf("plug-in round trip: median %.0f us, mean %.0f us\n", Median(plugin), Mean(plugin));
    std::printf("two bare exchanges: median %.0f us, mean %.0f us\n", Median(bare), Mean(bare));
    std::printf("ratio (median): %.2f  (goal: below 1.5)\n", Median(plugin) / Median(bare));
    return 0;
}
