#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "report/HtmlReportExport.h"
#include "report/XsltRun.h"
#include "support/TestSupport.h"
#include "xml/WideString.h"

using namespace quibra;
using namespace quibra::test;
namespace fs = std::filesystem;

namespace {

PollRecord Closed(std::wstring id, std::wstring title, bool identified, std::vector<PollItem> items,
                  int voters) {
    return {.pollId = std::move(id),
            .title = std::move(title),
            .identified = identified,
            .voterCount = voters,
            .items = std::move(items),
            .status = PollStatus::Closed};
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Exports with the real stylesheets and xsltproc, in a home of its own.
class Report : public ::testing::Test {
protected:
    Report()
        : homeEnv("HOME", (root / "home").string()),
          configEnv("XDG_CONFIG_HOME", std::nullopt),
          work(HtmlReportExport::WorkFolder()) {}

    // Prepares an export in `langId` and returns the report's text.
    std::string Export(const std::vector<PollRecord>& polls, std::uint16_t langId) {
        HtmlReportExport report(HtmlReportExport::TemplateFolder(), work, langId);
        EXPECT_TRUE(report.Prepare(&polls, nullptr, VoteResultMode::AllPolls));
        reportPath = ToUtf8(report.ReportPath());
        return ReadFileBytes(reportPath);
    }

    TempDir root;
    ScopedEnv homeEnv, configEnv;
    std::wstring work;
    fs::path reportPath;  // of the last export
};

const std::vector<PollItem> kDays = {
    {L"1", L"A", L"Monday & Tuesday", 3, {L"Ann Baker", L"Li Lei"}},
    {L"1", L"B", L"Friday", 1, {L"Sam"}},
    {L"1", L"C", L"Never", 0, {}}};

}  // namespace

TEST_F(Report, HoldsEachClosedPollWithCountsShareAndNamesOnlyWhenIdentified) {
    ASSERT_EQ(fs::path(work), root / "home" / "Documents" / "Wendrake Directory" / "Poll");
    PollRecord open = Closed(L"3", L"Still open?", false, kDays, 4);
    open.status = PollStatus::Open;
    const std::vector<PollRecord> polls{
        Closed(L"1", L"Which day?", true, kDays, 4), open,
        Closed(L"2", L"Anonymous pick", false,
               {{L"2", L"A", L"Red", 2, {L"Hidden Voter"}}, {L"2", L"B", L"Blue", 5, {}}}, 8)};
    const std::string html = Export(polls, 0x0409);
    EXPECT_EQ(reportPath.filename(), "0409.html");
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u) << html.substr(0, 100);
    EXPECT_EQ(Count(html, "<section class=\"poll\">"), 2);
    // 3 of 4 voters, 1 of 4, 0 of 4; 2 of 8 and 5 of 8 (rounded); names only when identified.
    for (const char* part :
         {"<h2>Which day?</h2>", "Monday &amp; Tuesday", "3 votes <strong>75%</strong>",
          "1 vote <strong>25%</strong>", "0 votes <strong>0%</strong>",
          "2 votes <strong>25%</strong>", "5 votes <strong>63%</strong>", "4 voters", "8 voters",
          "width: 75.0%", "width: 62.5%", "Ann Baker, Li Lei"})
        EXPECT_NE(html.find(part), std::string::npos) << part;
    // Neither the open poll, nor hidden names, nor scripts or outside resources.
    for (const char* part : {"Still open?", "Hidden Voter", "<script", "http://", "https://"})
        EXPECT_EQ(html.find(part), std::string::npos) << part;
    // A failed transformation leaves no report behind.
    WriteFileBytes(fs::path(work) / "ExportPoll.xml", "<WendrakeVote><unclosed>");
    EXPECT_FALSE(RunXslt(work, 0x0409));
    EXPECT_FALSE(fs::exists(reportPath));
}

TEST_F(Report, LanguagesFallBackToEnglishAndAnEmptyExportSaysSo) {
    const std::vector<PollRecord> polls{Closed(L"1", L"Which day?", true, kDays, 4)};
    // German falling back to English: the console's export.
    std::string html = Export(polls, 0x0804);
    EXPECT_EQ(reportPath.filename(), "0804.html");
    EXPECT_NE(html.find("<html lang=\"zh-CN\">"), std::string::npos);
    EXPECT_NE(html.find("3 \xE7\xA5\xA8"), std::string::npos);  // 3 票

    PollRecord open = polls[0];
    open.status = PollStatus::Open;
    html = Export({open}, 0x0409);
    EXPECT_EQ(Count(html, "<section"), 0);
    EXPECT_NE(html.find("This export holds no closed polls."), std::string::npos);

    // A single-poll export starts from a fresh work folder; without a shown
    // poll nothing is written and the folder stays for the next one.
    WriteFileBytes(fs::path(work) / "stale.txt", "left over");
    HtmlReportExport shown(HtmlReportExport::TemplateFolder(), work, 0x0409);
    EXPECT_FALSE(shown.Prepare(&polls, nullptr, VoteResultMode::ShownPoll));
    EXPECT_FALSE(fs::exists(fs::path(work) / "stale.txt"));
    EXPECT_FALSE(fs::exists(fs::path(work) / "ExportPoll.xml"));
    EXPECT_TRUE(fs::exists(fs::path(work) / "0409.xsl"));
}

// Byte for byte the report of plain texts, each hostile text standing escaped where
// the plain one stands: no markup of theirs reaches the page.
TEST_F(Report, HostileTextsStayText) {
    const std::string hostile[] = {"<script>alert(1)</script>", "\"><img src=x onerror=alert(2)>",
                                   "]]>", "</style><b>bold</b><!--",
                                   "<iframe src=\"file:///etc/passwd\"></iframe>"};
    const std::string escaped[] = {"&lt;script&gt;alert(1)&lt;/script&gt;",
                                   "\"&gt;&lt;img src=x onerror=alert(2)&gt;", "]]&gt;",
                                   "&lt;/style&gt;&lt;b&gt;bold&lt;/b&gt;&lt;!--",
                                   "&lt;iframe src=\"file:///etc/passwd\"&gt;&lt;/iframe&gt;"};
    auto exportOf = [&](auto text) {
        std::vector<PollRecord> polls;
        for (size_t i = 0; i < std::size(hostile); ++i) {
            const std::wstring t = FromUtf8(text(i));
            polls.push_back(
                Closed(ToWide(i), t, true, {{L"", L"A", t, 1, {t}}, {L"", t, L"plain", 0, {}}}, 1));
        }
        // The export's own time is left out: two exports may fall in different seconds.
        std::string html = Export(polls, 0x0409);
        const auto from = html.find("<time"), to = html.find("</time>");
        if (from != std::string::npos && to > from) html.erase(from, to - from);
        return html;
    };
    const auto plain = [](size_t i) { return "plain text " + std::to_string(i); };
    std::string html = exportOf([&](size_t i) { return hostile[i]; });
    for (size_t i = 0; i < std::size(hostile); ++i) {
        EXPECT_EQ(Count(html, escaped[i]), 4) << escaped[i];  // question, choice, letter, voter
        for (size_t at; (at = html.find(escaped[i])) != std::string::npos;)
            html.replace(at, escaped[i].size(), plain(i));
    }
    EXPECT_EQ(html, exportOf(plain));
}
