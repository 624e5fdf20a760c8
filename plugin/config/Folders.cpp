#include "config/Folders.h"

#include <dlfcn.h>
#include <link.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "config/AppConfig.h"
#include "xml/WideString.h"

namespace quibra {

namespace {

namespace fs = std::filesystem;

std::string GetEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = GetEnv("HOME");
    if (!home.empty()) return home;
    // No HOME (daemons, stripped environments): ask the user database.
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

std::string TrimTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string CollapseSlashes(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out.push_back(c);
    }
    return out;
}

// The XDG settings root, not created.
std::string ConfigRoot() {
    std::string xdg = GetEnv("XDG_CONFIG_HOME");
    // The base directory rules ignore relative values.
    if (!xdg.empty() && xdg.front() == '/') return xdg;
    std::string home = HomeFolder();
    if (home.empty()) return {};
    return home + "/.config";
}

// Creates the folder when missing; empty when it does not exist afterwards.
std::wstring EnsureFolder(const std::string& path) {
    if (path.empty()) return {};
    std::error_code ec;
    fs::create_directories(path, ec);
    if (!fs::is_directory(path, ec)) return {};
    return FromUtf8(TrimTrailingSlashes(path));
}

// The value of a shell-style assignment: a double-quoted string with backslash
// escapes, or the bare rest of the line.
std::string UnquoteValue(std::string_view value) {
    if (value.empty() || value.front() != '"') {
        while (!value.empty() &&
               (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.remove_suffix(1);
        return std::string(value);
    }
    std::string out;
    for (size_t i = 1; i < value.size(); ++i) {
        char c = value[i];
        if (c == '"') break;
        if (c == '\\' && i + 1 < value.size()) c = value[++i];
        out.push_back(c);
    }
    return out;
}

// XDG_DOCUMENTS_DIR of user-dirs.dirs as an absolute path, or empty.
std::string DocumentsFromUserDirs(const std::string& home) {
    std::string root = ConfigRoot();
    if (root.empty()) return {};
    std::ifstream in(root + "/user-dirs.dirs");
    if (!in) return {};
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    std::string result;
    std::string line;
    while (std::getline(in, line)) {
        std::string_view view(line);
        while (!view.empty() && (view.front() == ' ' || view.front() == '\t'))
            view.remove_prefix(1);
        if (view.substr(0, kKey.size()) != kKey) continue;
        std::string value = UnquoteValue(view.substr(kKey.size()));
        constexpr std::string_view kHome = "$HOME";
        if (value.compare(0, kHome.size(), kHome) == 0 &&
            (value.size() == kHome.size() || value[kHome.size()] == '/')) {
            if (home.empty()) continue;
            value = home + value.substr(kHome.size());
        } else if (value.empty() || value.front() != '/') {
            continue;  // relative paths are not allowed in this file
        }
        result = value;  // as in the shell, the last assignment wins
    }
    // The home folder itself means the user switched the folder off.
    if (!result.empty() &&
        TrimTrailingSlashes(CollapseSlashes(result)) == TrimTrailingSlashes(home))
        return {};
    return result;
}

}  // namespace

std::wstring GetAppDataFolder() {
    return EnsureFolder(ConfigRoot());
}

std::wstring GetDocumentsFolder() {
    std::string home = HomeFolder();
    std::string documents = DocumentsFromUserDirs(home);
    if (documents.empty()) {
        if (home.empty()) return {};
        documents = home + "/Documents";
    }
    return EnsureFolder(CollapseSlashes(documents));
}

std::wstring GetModuleFolder() {
    // The link map tells a shared library (its path as loaded) from the
    // executable (an empty name), whose path only /proc has for sure.
    Dl_info info{};
    link_map* map = nullptr;
    std::string path;
    static const char anchor = 0;  // any object of this module names it
    if (dladdr1(&anchor, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) != 0 &&
        map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0')
        path = map->l_name;
    std::error_code ec;
    fs::path module = path.empty() ? fs::read_symlink("/proc/self/exe", ec) : fs::path(path);
    if (ec || module.empty()) return {};
    module = fs::absolute(module, ec).lexically_normal();
    const std::string& text = module.native();
    size_t slash = text.rfind('/');
    if (ec || slash == std::string::npos) return {};
    return FromUtf8(std::string_view(text).substr(0, slash == 0 ? 1 : slash));
}

std::wstring DataFolderFor(const std::wstring& moduleFolder) {
    if (moduleFolder.empty()) return {};
    const std::string folder = ToUtf8(moduleFolder);
    std::error_code ec;
    if (fs::is_directory(folder + "/Lang", ec)) return moduleFolder;
    const fs::path installed = (fs::path(folder) / QUIBRA_DATA_FROM_LIB).lexically_normal();
    if (fs::is_directory(installed / "Lang", ec))
        return FromUtf8(TrimTrailingSlashes(installed.native()));
    return moduleFolder;
}

std::wstring GetDataFolder() {
    return DataFolderFor(GetModuleFolder());
}

std::wstring GetSkinFolder(const std::wstring& skinName) {
    return GetDataFolder() + L"/skin/" + skinName;
}

std::wstring GetSkinFolder() {
    return GetSkinFolder(AppConfig::Instance().GetSkinName());
}

std::wstring GetLangFolder() {
    return GetDataFolder() + L"/Lang";
}

}  // namespace quibra
