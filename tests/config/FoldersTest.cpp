#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "config/Folders.h"
#include "support/TestSupport.h"
#include "xml/WideString.h"

TEST(Folders, SettingsAndDocumentsFoldersFollowTheXdgRulesAndAreCreated) {
    quibra::test::ScopedUser user;
    // A folder under the home as the functions spell it.
    auto W = [&](const char* name) { return quibra::FromUtf8((user.Home() / name).string()); };
    quibra::test::WriteFileBytes(user.Home() / "file", "x");
    const std::pair<std::optional<std::string>, std::wstring> roots[] = {
        {(user.Home() / "xdg").string() + "/", W("xdg")},  // no trailing separator
        {std::nullopt, W(".config")},
        {"", W(".config")},
        {"relative/cfg", W(".config")},  // the base directory rules ignore it
        {"//", L"/"},
        {(user.Home() / "file" / "cfg").string(), L""},  // cannot be made
    };
    for (const auto& [xdg, expected] : roots) {
        quibra::test::ScopedEnv env("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(quibra::GetAppDataFolder(), expected) << xdg.value_or("(unset)");
    }

    const std::wstring fallback = W("Documents");
    EXPECT_EQ(quibra::GetDocumentsFolder(), fallback) << "no user-dirs.dirs";
    const std::pair<std::string, std::wstring> userDirs[] = {
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n",
         W("Docs")},
        {"XDG_DOCUMENTS_DIR=\"" + (user.Home() / "My Papers").string() + "\"\n", W("My Papers")},
        {"XDG_DOCUMENTS_DIR=\"$HOME//Deep//Docs//\"\n", W("Deep/Docs")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/A\"\nXDG_DOCUMENTS_DIR=\"$HOME/B\"\n", W("B")},
        {" \tXDG_DOCUMENTS_DIR=$HOME/Bare \t\r\n", W("Bare")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/Say \\\"hi\\\"\" # note\n", W("Say \"hi\"")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/Open\\", W("Open\\")},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", fallback},     // switched off
        {"XDG_DOCUMENTS_DIR=\"Docs\"\n", fallback},       // relative: not allowed
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK\"\n", fallback},  // not the $HOME variable
        {"XDG_MUSIC_DIR=\"$HOME/Music\"\n", fallback},
    };
    for (const auto& [file, expected] : userDirs) {
        quibra::test::WriteFileBytes(user.ConfigRoot() / "user-dirs.dirs", file);
        EXPECT_EQ(quibra::GetDocumentsFolder(), expected) << file;
    }
}

TEST(Folders, DataIsBesideTheModuleInTheBuildTreeElseInTheInstalledDataFolder) {
    namespace fs = std::filesystem;
    quibra::test::TempDir dir;
    auto W = [](const fs::path& path) { return quibra::FromUtf8(path.string()); };
    // As build/bin: the language files beside the module.
    fs::create_directories(dir.Path() / "bin" / "Lang");
    // As an installed library: its folder has no data; the data folder is
    // where the build's install layout puts it relative to the library folder.
    const fs::path lib = dir.Path() / "usr" / "lib" / "triplet" / "deeper";
    const fs::path data = (lib / QUIBRA_DATA_FROM_LIB).lexically_normal();
    fs::create_directories(lib);
    fs::create_directories(data / "Lang");
    const fs::path bare = dir.Path() / "bare";
    fs::create_directories(bare);
    EXPECT_EQ(std::vector<std::wstring>(
                  {quibra::DataFolderFor(W(dir.Path() / "bin")), quibra::DataFolderFor(W(lib)),
                   quibra::DataFolderFor(W(bare)), quibra::DataFolderFor(L"")}),
              std::vector<std::wstring>({W(dir.Path() / "bin"), W(data), W(bare), L""}));

    // Linked into this test program, the module is the program itself, in the
    // build tree's bin folder with the data beside it.
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(quibra::GetModuleFolder(), W(exe.parent_path()));
    EXPECT_EQ(quibra::GetDataFolder(), W(exe.parent_path()));
    EXPECT_EQ(quibra::GetLangFolder(), W(exe.parent_path() / "Lang"));
}
