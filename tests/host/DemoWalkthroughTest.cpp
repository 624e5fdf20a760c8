#include <gtest/gtest.h>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>

#include "support/TestSupport.h"

using quibra::test::TempDir;

namespace {

// Distinct colours on a 16 x 16 grid of the picture: a blank (or one-colour)
// grab has one or two.
int Colours(const QImage& image) {
    QSet<QRgb> seen;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            seen.insert(image.pixel(x * image.width() / 16, y * image.height() / 16));
    return static_cast<int>(seen.size());
}

// The demo as a separate program with `extra` arguments: its exit code and output.
std::pair<int, QString> RunDemo(const TempDir& out, const QStringList& extra = {}) {
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    demo.setProcessEnvironment(env);
    demo.setProcessChannelMode(QProcess::MergedChannels);
    demo.start(QUIBRA_HOST_EXE, QStringList{"--demo", "--script", "--out",
                                            QString::fromStdString(out.Path().string())} +
                                    extra);
    if (!demo.waitForFinished(240000)) return {-1, "the demo did not end within four minutes"};
    return {demo.exitCode(), QString::fromUtf8(demo.readAll())};
}

QString Summary(const TempDir& out) {
    QFile file(QString::fromStdString((out / "summary.txt").string()));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The whole system end to end, secured as by default (tokens, the server's
// certificate verified): the real PollServer, the presenter's host with
// the plug-in's console, three attendees' hosts with their voting dialogs,
// the HTML report through xsltproc. The program's own verdict is checked, and
// so is what it wrote, the impostor's refusals included.
TEST(DemoWalkthrough, EveryStepIsDoneAndEveryCountMatches) {
    TempDir out;
    const auto [code, log] = RunDemo(out);
    EXPECT_EQ(code, 0) << log.right(3000).toStdString();
    EXPECT_TRUE(log.contains("output in " + QString::fromStdString(out.Path().string())));
    for (const char* stopped :
         {"stopped attendee .* \\(pid [0-9]+\\)", "stopped the PollServer \\(pid [0-9]+\\)"})
        EXPECT_TRUE(log.contains(QRegularExpression(stopped))) << stopped;

    const QString summary = Summary(out);
    // The console's close posts one notice to the presenter's host; each of the
    // fifteen result dialogs closed at the attendees sends one to its host.
    for (const char* line : {"result: PASS\n", "steps done: 12/12\n", "Every count matches: yes\n",
                             "Window closed notices: presenter 1, attendees 15\n",
                             "Impostor (Alice's token)\n  vote as 李明: refused (403)\n"
                             "  close a poll: refused (403)\n  counts unchanged: yes\n"})
        EXPECT_TRUE(summary.contains(line)) << line << summary.toStdString();
    EXPECT_FALSE(summary.contains("DIFFERENT"));
    // Five polls (four imported, one written), every choice with its three counts.
    const auto ballots =
        QRegularExpression("^    [A-G]  cast (\\d+)  server (\\d+)  shown (.*)  ok$",
                           QRegularExpression::MultilineOption);
    int choices = 0, ballotsCast = 0;
    for (const auto& match : ballots.globalMatch(summary)) {
        ++choices;
        ballotsCast += match.captured(1).toInt();
        EXPECT_EQ(match.captured(1), match.captured(2));
        EXPECT_EQ(match.captured(3), QString("%1 %1 %1").arg(match.captured(2)));
    }
    EXPECT_EQ(choices, 19);
    // Three attendees, five polls, one ballot each; the multiple-answer polls take two choices.
    EXPECT_GE(ballotsCast, 15);
    EXPECT_GT(QFile((out / "report.html").c_str()).size(), 1000);

    const auto shot = QRegularExpression("^  screens/(\\S+\\.png)  (\\d+)x(\\d+)$",
                                         QRegularExpression::MultilineOption);
    int shots = 0;
    QSet<QString> kinds;
    for (const auto& match : shot.globalMatch(summary)) {
        ++shots;
        const QString file = match.captured(1);
        const QImage image(QString::fromStdString((out / "screens").string()) + "/" + file);
        ASSERT_FALSE(image.isNull()) << file.toStdString();
        EXPECT_EQ(image.size(), QSize(match.captured(2).toInt(), match.captured(3).toInt()))
            << file.toStdString();
        EXPECT_GT(Colours(image), 4) << file.toStdString() << " looks blank";
        // The windows' sizes in the skin are the console's and voting tests'.
        for (const char* kind : {"vote", "results", "editor"})
            if (file.contains(QString("-%1-").arg(kind))) kinds.insert(kind);
        if (image.size() == QSize(640, 480)) kinds.insert("console");
    }
    EXPECT_GE(shots, 50);
    EXPECT_EQ(kinds, (QSet<QString>{"console", "editor", "vote", "results"}));
}

// --insecure: the demo as before tokens, without the impostor's step.
TEST(DemoWalkthrough, InsecureRunsWithoutTokens) {
    TempDir out;
    const auto [code, log] = RunDemo(out, {"--insecure"});
    EXPECT_EQ(code, 0) << log.right(3000).toStdString();
    const QString summary = Summary(out);
    EXPECT_TRUE(summary.contains("result: PASS\nattendees: 3") &&
                summary.contains("steps done: 11/11\n"))
        << summary.toStdString();
    EXPECT_FALSE(summary.contains("Impostor") || log.contains("secured:"));
}

}  // namespace
