#include <gtest/gtest.h>

#include <QString>
#include <filesystem>
#include <string>

#include "config/Folders.h"
#include "report/ReportFolders.h"
#include "support/TestSupport.h"
#include "xml/WideString.h"

using namespace quibra;
using namespace quibra::test;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// A home with its documents folder and a temporary folder of its own, beside
// a folder that is below neither.
class Folders : public ::testing::Test {
protected:
    Folders()
        : home(root / "home"),
          temp(root / "tmp"),
          outside(root / "outside"),
          homeEnv("HOME", home.string()),
          configEnv("XDG_CONFIG_HOME", std::nullopt),
          tempEnv("TMPDIR", temp.string()) {
        for (const fs::path& folder : {home / "Documents", temp, outside / "keep"})
            fs::create_directories(folder);
    }

    static std::wstring W(const fs::path& path) { return path.wstring(); }

    TempDir root;
    fs::path home, temp, outside;
    ScopedEnv homeEnv, configEnv, tempEnv;
};

}  // namespace

TEST_F(Folders, DeleteFolderRefusesEverythingNotBelowDocumentsOrTemp) {
    const fs::path documents = fs::path(GetDocumentsFolder());
    ASSERT_EQ(documents, home / "Documents");
    fs::create_directories(documents / "Wendrake Directory" / "Poll");
    fs::create_directories(root / "HOME" / "DOCUMENTS" / "x");  // a case twin that really exists
    fs::create_directory_symlink(outside, documents / "link");

    const std::string upperHome = QString::fromStdString(home.string()).toUpper().toStdString();
    // Long but real: nested folders below the documents folder, 1023 characters in all.
    fs::path deep = documents;
    while (deep.string().size() + 101 < 1000) deep /= std::string(100, 'd');
    deep /= std::string(1023 - deep.string().size() - 1, 'e');
    ASSERT_EQ(deep.string().size(), 1023u);
    fs::create_directories(deep);

    // Below the root: the home and documents folders themselves, the temporary
    // folder itself, a case twin, the outside, a link (not a folder) and below it.
    for (const char* below :
         {"/home", "/home/", "/home//", "/home/Documents", "/home/Documents/", "/home/Documents/.",
          "/home/Documents/Wendrake Directory/../..", "/tmp/", "/outside", "/HOME/DOCUMENTS/x",
          "/home/Documents/link", "/home/Documents/link/keep"})
        EXPECT_FALSE(DeleteFolder(W(root.Path()) + FromUtf8(below))) << below;
    for (const std::string& path :
         {"/"s, "//"s, "/."s, "/tmp/.."s, ""s, "Documents/Wendrake Directory"s, upperHome,
          upperHome + "/Documents/Wendrake Directory", deep.string()})
        EXPECT_FALSE(DeleteFolder(FromUtf8(path))) << path;
    {
        // A temporary folder that holds the home folder still keeps it.
        ScopedEnv wideTemp("TMPDIR", root.Path().parent_path().string());
        EXPECT_FALSE(DeleteFolder(W(root.Path())));
    }
    for (const fs::path& kept : {outside / "keep", documents / "Wendrake Directory" / "Poll",
                                 root / "HOME" / "DOCUMENTS" / "x", deep, temp})
        EXPECT_TRUE(fs::is_directory(kept)) << kept;

    // Real deletions: a folder with content below each allowed folder, named
    // with a trailing separator and a detour.
    WriteFileBytes(documents / "Wendrake Directory" / "Poll" / "0409.html", "<p>report</p>");
    fs::create_directories(temp / "work" / "sub");
    EXPECT_TRUE(DeleteFolder(W(documents / "Wendrake Directory" / "Poll" / "..") + L"/Poll/"));
    EXPECT_FALSE(fs::exists(documents / "Wendrake Directory" / "Poll"));
    EXPECT_TRUE(fs::is_directory(documents / "Wendrake Directory"));
    EXPECT_TRUE(DeleteFolder(W(temp / "work")));
    EXPECT_FALSE(fs::exists(temp / "work"));
    EXPECT_FALSE(DeleteFolder(W(temp / "work")));  // nothing left to delete
    EXPECT_TRUE(fs::is_directory(outside / "keep"));
    // One character shorter than the refused path, the deep folder goes.
    EXPECT_TRUE(DeleteFolder(W(deep.parent_path())));
}

TEST_F(Folders, CopiesMergeFoldersAndReplaceReportsWhole) {
    const fs::path source = root / "template";
    fs::create_directories(source / "img");
    WriteFileBytes(source / "0409.xsl", "new sheet");
    WriteFileBytes(source / "img" / "bar.svg", "<svg/>");
    const fs::path target = temp / "a" / "b" / "Poll";
    ASSERT_TRUE(CopyFolder(W(source), W(target)));
    EXPECT_EQ(ReadFileBytes(target / "img" / "bar.svg"), "<svg/>");

    // Over an earlier copy: same names replaced, other files kept.
    WriteFileBytes(target / "0409.xsl", "old sheet");
    WriteFileBytes(target / "ExportPoll.xml", "<WendrakeVote/>");
    ASSERT_TRUE(CopyFolder(W(source), W(target)));
    EXPECT_EQ(ReadFileBytes(target / "0409.xsl"), "new sheet");
    EXPECT_EQ(ReadFileBytes(target / "ExportPoll.xml"), "<WendrakeVote/>");
    EXPECT_TRUE(FolderExists(W(target / "ExportPoll.xml")));
    EXPECT_FALSE(FolderExists(W(target / "missing")));

    EXPECT_FALSE(CopyFolder(W(root / "missing"), W(temp / "c")));
    EXPECT_FALSE(CopyFolder(W(source), std::wstring(1023, L'x')));
    EXPECT_FALSE(fs::exists(temp / "c"));

    const fs::path report = outside / "report.html";
    WriteFileBytes(report, "old report");
    EXPECT_TRUE(CopyReport(W(target / "0409.xsl"), W(report)));
    EXPECT_EQ(ReadFileBytes(report), "new sheet");
    EXPECT_FALSE(CopyReport(W(target / "0407.html"), W(report)));
    EXPECT_EQ(ReadFileBytes(report), "new sheet");
    EXPECT_FALSE(CopyReport(W(target / "0409.xsl"), W(outside / "no-such-folder" / "r.html")));
    // Nothing but the report itself is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 2);
}
