#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
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
    PollRecord record;
    record.pollId = std::move(id);
    record.title = std::move(title);
    record.identified = identified;
    record.voterCount = voters;
    record.status = PollStatus::Closed;
    record.items = std::move(items);
    return record;
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Runs Debian's chromium headless on a file; its standard output.
std::string Chromium(const QStringList& what, const fs::path& page) {
    TempDir profile;
    QProcess browser;
    QStringList args{"--headless=new",
                     "--no-sandbox",
                     "--disable-gpu",
                     "--no-first-run",
                     "--disable-background-networking",
                     "--disable-component-update",
                     "--disable-sync",
                     "--user-data-dir=" + QString::fromStdString(profile.Path().string())};
    args << what << QString::fromStdString("file://" + page.string());
    browser.start("chromium", args);
    EXPECT_TRUE(browser.waitForFinished(120000)) << "chromium did not end";
    return browser.readAllStandardOutput().toStdString();
}

// The number of elements in a serialised DOM: every "<" that opens a tag.
int Elements(const std::string& dom) {
    int n = 0;
    for (size_t i = 0; i + 1 < dom.size(); ++i)
        if (dom[i] == '<' &&
            ((dom[i + 1] >= 'a' && dom[i + 1] <= 'z') || (dom[i + 1] >= 'A' && dom[i + 1] <= 'Z')))
            ++n;
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
    std::string Export(const std::vector<PollRecord>& polls, std::uint16_t langId,
                       std::wstring* reportPath = nullptr) {
        HtmlReportExport report(HtmlReportExport::TemplateFolder(), work, langId);
        EXPECT_TRUE(report.Prepare(&polls, nullptr, VoteResultMode::AllPolls));
        if (reportPath != nullptr) *reportPath = report.ReportPath();
        return ReadFileBytes(ToUtf8(report.ReportPath()));
    }

    TempDir root;
    ScopedEnv homeEnv, configEnv;
    std::wstring work;
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
    std::wstring reportPath;
    const std::string html = Export(polls, 0x0409, &reportPath);
    EXPECT_EQ(fs::path(reportPath).filename(), "0409.html");
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u) << html.substr(0, 100);
    EXPECT_EQ(Count(html, "<section class=\"poll\">"), 2);
    EXPECT_EQ(Count(html, "Still open?"), 0);
    EXPECT_NE(html.find("<h2>Which day?</h2>"), std::string::npos);
    EXPECT_NE(html.find("Monday &amp; Tuesday"), std::string::npos);
    // 3 of 4 voters, 1 of 4, 0 of 4; 2 of 8 and 5 of 8 (rounded).
    for (const char* figures :
         {"3 votes <strong>75%</strong>", "1 vote <strong>25%</strong>",
          "0 votes <strong>0%</strong>", "2 votes <strong>25%</strong>",
          "5 votes <strong>63%</strong>", "4 voters", "8 voters", "width: 75.0%", "width: 62.5%"})
        EXPECT_NE(html.find(figures), std::string::npos) << figures;
    EXPECT_NE(html.find("Ann Baker, Li Lei"), std::string::npos);
    EXPECT_EQ(html.find("Hidden Voter"), std::string::npos);
    EXPECT_EQ(Count(html, "<script"), 0);
    EXPECT_EQ(Count(html, "http://") + Count(html, "https://"), 0) << "no outside resource";
}

TEST_F(Report, LanguagesFallBackToEnglishAndAnEmptyExportSaysSo) {
    const std::vector<PollRecord> polls{Closed(L"1", L"Which day?", true, kDays, 4)};
    std::wstring reportPath;
    // German has no stylesheet: the English one makes the report all the same.
    std::string html = Export(polls, 0x0407, &reportPath);
    EXPECT_EQ(fs::path(reportPath).filename(), "0409.html");
    EXPECT_NE(html.find("<html lang=\"en\">"), std::string::npos);
    EXPECT_NE(html.find("3 votes"), std::string::npos);
    html = Export(polls, 0x0804, &reportPath);
    EXPECT_EQ(fs::path(reportPath).filename(), "0804.html");
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

TEST_F(Report, HostileTextsStayTextInARealBrowser) {
    const std::vector<std::wstring> hostile = {
        L"<script>alert(1)</script>", L"\"><img src=x onerror=alert(2)>", L"]]>",
        L"</style><b>bold</b><!--", L"<iframe src=\"file:///etc/passwd\"></iframe>"};
    auto pollsOf = [](const std::vector<std::wstring>& texts) {
        std::vector<PollRecord> polls;
        for (size_t i = 0; i < texts.size(); ++i)
            polls.push_back(Closed(
                ToWide(static_cast<int>(i)), texts[i], true,
                {{L"", L"A", texts[i], 1, {texts[i]}}, {L"", texts[i], L"plain", 0, {}}}, 1));
        return polls;
    };
    std::vector<std::wstring> benign;
    for (size_t i = 0; i < hostile.size(); ++i) benign.push_back(L"plain text " + ToWide(i));

    std::wstring hostilePath, benignPath;
    Export(pollsOf(hostile), 0x0409, &hostilePath);
    const fs::path hostileCopy = root / "hostile.html";
    fs::copy_file(ToUtf8(hostilePath), hostileCopy);
    Export(pollsOf(benign), 0x0409, &benignPath);

    const std::string hostileDom = Chromium({"--dump-dom"}, hostileCopy);
    const std::string benignDom = Chromium({"--dump-dom"}, ToUtf8(benignPath));
    ASSERT_GT(Elements(benignDom), 50) << benignDom.substr(0, 300);
    EXPECT_EQ(Elements(hostileDom), Elements(benignDom));
    EXPECT_EQ(Count(hostileDom, "<script"), 0);
    EXPECT_EQ(Count(hostileDom, "<img"), 0);
    EXPECT_EQ(Count(hostileDom, "<iframe"), 0);
    EXPECT_EQ(Count(hostileDom, "&lt;script&gt;alert(1)&lt;/script&gt;"),
              4);  // question, choice, letter, voter
    EXPECT_EQ(Count(hostileDom, "\"&gt;&lt;img src=x onerror=alert(2)&gt;"), 4);
}

TEST(ReportScreenshot, SamplePollsRenderForReview) {
    // The sample poll file is a vote result document: made into reports as it stands.
    TempDir work;
    fs::copy(BinaryDir() / "bin" / "Poll", work.Path(), fs::copy_options::recursive);
    fs::copy_file(SourceDir() / "data" / "samples" / "Sample.pol", work / "ExportPoll.xml");
    const fs::path shots = BinaryDir() / "screenshots";
    fs::create_directories(shots);
    for (std::uint16_t lang : {std::uint16_t{0x0409}, std::uint16_t{0x0804}}) {
        ASSERT_TRUE(RunXslt(work.WPath(), lang));
        const std::string name = ToUtf8(LangIdHex(lang));
        const fs::path png = shots / ("poll-report-" + name + ".png");
        fs::remove(png);
        Chromium({"--window-size=1000,2400", "--hide-scrollbars",
                  QString::fromStdString("--screenshot=" + png.string())},
                 work / (name + ".html"));
        ASSERT_TRUE(fs::exists(png)) << png;
        EXPECT_GT(fs::file_size(png), 20000u) << "a blank page";
        std::cout << "report screenshot: " << png.string() << "\n";
    }
    // A failed transformation leaves no report behind.
    WriteFileBytes(work / "ExportPoll.xml", "<WendrakeVote><unclosed>");
    EXPECT_FALSE(RunXslt(work.WPath(), 0x0409));
    EXPECT_FALSE(fs::exists(work / "0409.html"));
}
