#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "config/Folders.h"
#include "support/TestSupport.h"
#include "xml/WideString.h"

using quibra::test::ScopedEnv;
using quibra::test::TempDir;
using quibra::test::WriteFileBytes;

namespace fs = std::filesystem;

namespace {
std::wstring W(const fs::path& path) {
    return quibra::FromUtf8(path.string());
}
}  // namespace

TEST(Folders, AppDataFolderFollowsXdgAndIsCreated) {
    TempDir dir;
    ScopedEnv home("HOME", dir.Path().string());
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", (dir.Path() / "xdg").string() + "/");
        EXPECT_EQ(quibra::GetAppDataFolder(), W(dir.Path() / "xdg")) << "no trailing separator";
        EXPECT_TRUE(fs::is_directory(dir.Path() / "xdg"));
    }
    for (std::optional<std::string> value :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/cfg")}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", value);
        EXPECT_EQ(quibra::GetAppDataFolder(), W(dir.Path() / ".config"))
            << value.value_or("(unset)");
    }
    EXPECT_TRUE(fs::is_directory(dir.Path() / ".config"));

    // A settings root that cannot be made gives the empty string.
    WriteFileBytes(dir.Path() / "file", "x");
    ScopedEnv blocked("XDG_CONFIG_HOME", (dir.Path() / "file" / "cfg").string());
    EXPECT_EQ(quibra::GetAppDataFolder(), L"");
}

TEST(Folders, DocumentsFolderComesFromUserDirsWithFallback) {
    TempDir dir;
    ScopedEnv home("HOME", dir.Path().string());
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir.Path() / "cfg").string());
    fs::create_directories(dir.Path() / "cfg");
    const fs::path userDirs = dir.Path() / "cfg" / "user-dirs.dirs";
    const std::wstring fallback = W(dir.Path() / "Documents");

    EXPECT_EQ(quibra::GetDocumentsFolder(), fallback) << "no user-dirs.dirs";
    EXPECT_TRUE(fs::is_directory(dir.Path() / "Documents"));

    struct Case {
        std::string file;
        std::wstring expected;
    };
    const std::string absolute = (dir.Path() / "My Papers").string();
    const Case cases[] = {
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n",
         W(dir.Path() / "Docs")},
        {"XDG_DOCUMENTS_DIR=\"" + absolute + "\"\n", W(absolute)},
        {"XDG_DOCUMENTS_DIR=\"$HOME//Deep//Docs//\"\n", W(dir.Path() / "Deep" / "Docs")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/A\"\nXDG_DOCUMENTS_DIR=\"$HOME/B\"\n", W(dir.Path() / "B")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", fallback},     // switched off
        {"XDG_DOCUMENTS_DIR=\"Docs\"\n", fallback},       // relative: not allowed
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK\"\n", fallback},  // not the $HOME variable
        {"XDG_MUSIC_DIR=\"$HOME/Music\"\n", fallback},
    };
    for (const auto& c : cases) {
        WriteFileBytes(userDirs, c.file);
        EXPECT_EQ(quibra::GetDocumentsFolder(), c.expected) << c.file;
    }
    EXPECT_TRUE(fs::is_directory(dir.Path() / "Deep" / "Docs"));
}

TEST(Folders, ExecutableAndSkinFolders) {
    const fs::path exeFolder = fs::canonical("/proc/self/exe").parent_path();
    EXPECT_EQ(quibra::GetExeFolder(), W(exeFolder));
    EXPECT_EQ(quibra::GetSkinFolder(L"blue"), W(exeFolder) + L"/skin/blue");
    EXPECT_EQ(quibra::GetSkinFolder(L""), W(exeFolder) + L"/skin/");
    EXPECT_EQ(quibra::GetLangFolder(), W(exeFolder) + L"/Lang");
}
