#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <utility>

#include "config/Folders.h"
#include "support/TestSupport.h"
#include "xml/WideString.h"

using quibra::test::ScopedEnv;
using quibra::test::WriteFileBytes;

namespace fs = std::filesystem;

namespace {
std::wstring W(const fs::path& path) {
    return quibra::FromUtf8(path.string());
}
}  // namespace

TEST(Folders, AppDataFolderFollowsXdgAndIsCreated) {
    quibra::test::ScopedUser user;
    const fs::path home = user.Home();
    WriteFileBytes(home / "file", "x");
    const std::pair<std::optional<std::string>, std::wstring> cases[] = {
        {(home / "xdg").string() + "/", W(home / "xdg")},  // no trailing separator
        {std::nullopt, W(home / ".config")},
        {"", W(home / ".config")},
        {"relative/cfg", W(home / ".config")},  // the base directory rules ignore it
        {"//", L"/"},
        {(home / "file" / "cfg").string(), L""},  // cannot be made
    };
    for (const auto& [xdg, expected] : cases) {
        ScopedEnv env("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(quibra::GetAppDataFolder(), expected) << xdg.value_or("(unset)");
    }
    EXPECT_TRUE(fs::is_directory(home / "xdg"));
    EXPECT_TRUE(fs::is_directory(home / ".config"));
}

TEST(Folders, DocumentsFolderComesFromUserDirsWithFallback) {
    quibra::test::ScopedUser user;
    const fs::path home = user.Home();
    const fs::path userDirs = user.ConfigRoot() / "user-dirs.dirs";
    const std::wstring fallback = W(home / "Documents");
    EXPECT_EQ(quibra::GetDocumentsFolder(), fallback) << "no user-dirs.dirs";
    EXPECT_TRUE(fs::is_directory(home / "Documents"));

    struct Case {
        std::string file;
        std::wstring expected;
    };
    const std::string absolute = (home / "My Papers").string();
    const Case cases[] = {
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n",
         W(home / "Docs")},
        {"XDG_DOCUMENTS_DIR=\"" + absolute + "\"\n", W(absolute)},
        {"XDG_DOCUMENTS_DIR=\"$HOME//Deep//Docs//\"\n", W(home / "Deep" / "Docs")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/A\"\nXDG_DOCUMENTS_DIR=\"$HOME/B\"\n", W(home / "B")},
        {" \tXDG_DOCUMENTS_DIR=$HOME/Bare \t\r\n", W(home / "Bare")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/Say \\\"hi\\\"\" # note\n", W(home / "Say \"hi\"")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/Open\\", W(home / "Open\\")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", fallback},     // switched off
        {"XDG_DOCUMENTS_DIR=\"Docs\"\n", fallback},       // relative: not allowed
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK\"\n", fallback},  // not the $HOME variable
        {"XDG_MUSIC_DIR=\"$HOME/Music\"\n", fallback},
    };
    for (const auto& c : cases) {
        WriteFileBytes(userDirs, c.file);
        EXPECT_EQ(quibra::GetDocumentsFolder(), c.expected) << c.file;
    }
    EXPECT_TRUE(fs::is_directory(home / "Deep" / "Docs"));
}

TEST(Folders, ExecutableAndSkinFolders) {
    const fs::path exeFolder = fs::canonical("/proc/self/exe").parent_path();
    EXPECT_EQ(quibra::GetExeFolder(), W(exeFolder));
    EXPECT_EQ(quibra::GetSkinFolder(L"blue"), W(exeFolder) + L"/skin/blue");
    EXPECT_EQ(quibra::GetSkinFolder(L""), W(exeFolder) + L"/skin/");
    EXPECT_EQ(quibra::GetLangFolder(), W(exeFolder) + L"/Lang");
}
