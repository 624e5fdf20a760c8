// UrlEncode of 1 MiB of mixed text (ASCII, accented letters, CJK, emoji,
// spaces) against libcurl's curl_easy_escape of the same text as UTF-8.
//
// UrlEncode keeps only the first 8192 UTF-16 units of a value, so the text is
// cut into successive pieces of at most 8192 units (never inside a character)
// and both encoders get the same pieces. Rates are bytes of UTF-8 input per
// second; the ratio at the end is curl's time over ours (above 1: ours faster).
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "transport/UrlEncode.h"
#include "xml/WideString.h"

namespace {

struct Corpus {
    std::vector<std::wstring> pieces;
    std::vector<std::string> utf8Pieces;
    size_t utf8Bytes = 0;
};

const Corpus& TheCorpus() {
    static const Corpus corpus = [] {
        const std::wstring fragments[] = {
            L"Poll question number ",
            L"42",
            L" ",
            L"caf\u00E9 cr\u00E8me br\u00FBl\u00E9e ",
            L"\u4E2D\u6587\u6295\u7968\u7ED3\u679C ",
            std::wstring(1, static_cast<wchar_t>(0x1F600)),
            L"A-B_C.D~E*F+G ",
            L"\u65E5\u672C\u8A9E ",
            std::wstring(1, static_cast<wchar_t>(0x1F44D)),
            L"\n",
        };
        Corpus c;
        std::wstring piece;
        size_t units = 0;
        size_t total = 0;
        for (size_t i = 0; total < (1u << 20); ++i) {
            const std::wstring& f = fragments[i % std::size(fragments)];
            for (const wchar_t ch : f) {
                const size_t width = static_cast<uint32_t>(ch) > 0xFFFF ? 2 : 1;
                if (units + width > quibra::kUrlEncodeUnitLimit) {
                    c.pieces.push_back(piece);
                    piece.clear();
                    units = 0;
                }
                piece.push_back(ch);
                units += width;
            }
            total += quibra::ToUtf8(f).size();
        }
        if (!piece.empty()) c.pieces.push_back(piece);
        for (const auto& p : c.pieces) {
            c.utf8Pieces.push_back(quibra::ToUtf8(p));
            c.utf8Bytes += c.utf8Pieces.back().size();
        }
        return c;
    }();
    return corpus;
}

void BM_UrlEncode(benchmark::State& state) {
    const Corpus& corpus = TheCorpus();
    for (auto _ : state) {
        for (const auto& piece : corpus.pieces) {
            std::wstring encoded = quibra::UrlEncode(piece);
            benchmark::DoNotOptimize(encoded.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.utf8Bytes));
    state.counters["pieces"] = static_cast<double>(corpus.pieces.size());
}
BENCHMARK(BM_UrlEncode)->Unit(benchmark::kMillisecond);

void BM_CurlEasyEscape(benchmark::State& state) {
    const Corpus& corpus = TheCorpus();
    CURL* curl = curl_easy_init();
    for (auto _ : state) {
        for (const auto& piece : corpus.utf8Pieces) {
            char* encoded = curl_easy_escape(curl, piece.data(), static_cast<int>(piece.size()));
            benchmark::DoNotOptimize(encoded);
            curl_free(encoded);
        }
    }
    curl_easy_cleanup(curl);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.utf8Bytes));
    state.counters["pieces"] = static_cast<double>(corpus.utf8Pieces.size());
}
BENCHMARK(BM_CurlEasyEscape)->Unit(benchmark::kMillisecond);

// Console output plus the ratio of the two mean times.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the mean counts; a single run counts as it is.
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean") {
                m_seconds[name] = run.GetAdjustedRealTime();
                m_fromMean.insert(name);
            } else if (run.run_type == Run::RT_Iteration && m_fromMean.count(name) == 0) {
                m_seconds[name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto ours = m_seconds.find("BM_UrlEncode");
        const auto curl = m_seconds.find("BM_CurlEasyEscape");
        if (ours != m_seconds.end() && curl != m_seconds.end() && ours->second > 0) {
            const double mib = static_cast<double>(TheCorpus().utf8Bytes) / (1 << 20);
            std::printf("input: %.2f MiB UTF-8 in %zu pieces of <= 8192 UTF-16 units\n", mib,
                        TheCorpus().pieces.size());
            std::printf("UrlEncode:         %8.1f MiB/s\n", mib / (ours->second / 1e3));
            std::printf("curl_easy_escape:  %8.1f MiB/s\n", mib / (curl->second / 1e3));
            std::printf("ratio (curl time / UrlEncode time): %.2f (goal >= 1)\n",
                        curl->second / ours->second);
        }
    }

private:
    std::map<std::string, double> m_seconds;  // milliseconds per iteration
    std::set<std::string> m_fromMean;
};

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
