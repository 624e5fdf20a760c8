#include <gtest/gtest.h>

#include "config/CXmlSettingsFile.h"
#include "support/TestSupport.h"

using quibra::test::TempDir;
using quibra::test::WriteFileBytes;

TEST(CXmlSettingsFile, FullPathAcceptsEitherSlashAsTheTrailingSeparator) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\a\\", L"C:\\a\\x.xml"},
        {L"C:/a/", L"C:/a/x.xml"},
        {L"/home/u/skin", L"/home/u/skin/x.xml"},
        {L"/", L"/x.xml"},
        {L"", L""},
    };
    for (const auto& [folder, expected] : cases) {
        CXmlSettingsFile file(L"x.xml");
        file.SetFolder(folder);
        EXPECT_EQ(file.GetFullPath(), expected);
    }
}

TEST(CXmlSettingsFile, OpenRetriesUntilLoadedAndReadsAgainOnlyAfterClose) {
    TempDir dir;
    CXmlSettingsFile unnamed(L"");
    unnamed.SetFolder(dir.WPath());
    EXPECT_FALSE(unnamed.Open());

    CXmlSettingsFile file(L"s.xml");
    EXPECT_FALSE(file.Open()) << "no folder yet";
    file.SetFolder(dir.WPath());
    EXPECT_FALSE(file.Open()) << "no file yet";
    WriteFileBytes(dir / "s.xml", "<Wendrake><Half>");
    EXPECT_FALSE(file.Open()) << "malformed";
    EXPECT_FALSE(file.IsLoaded());
    EXPECT_TRUE(file.GetRoot().IsNull());
    const unsigned before = file.LoadCount();
    file.Close();  // closing a file that is not loaded does nothing

    WriteFileBytes(dir / "s.xml", "<Wendrake a=\"1\"/>");
    ASSERT_TRUE(file.Open());
    WriteFileBytes(dir / "s.xml", "<Wendrake a=\"2\"/>");
    EXPECT_TRUE(file.Open());
    EXPECT_EQ(file.GetRoot().GetAttribute(L"a"), L"1");
    EXPECT_EQ(file.LoadCount(), before + 1) << "failed and repeated opens change nothing";

    file.Close();
    EXPECT_FALSE(file.IsLoaded());
    EXPECT_TRUE(file.GetRoot().IsNull());
    file.Close();
    EXPECT_EQ(file.LoadCount(), before + 2);
    ASSERT_TRUE(file.Open());
    EXPECT_EQ(file.GetRoot().GetAttribute(L"a"), L"2");

    EXPECT_FALSE(file.Save()) << "the base file is read-only";
    EXPECT_EQ(quibra::test::ReadFileBytes(dir / "s.xml"), "<Wendrake a=\"2\"/>");
}
