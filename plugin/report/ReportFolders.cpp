#include "report/ReportFolders.h"

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "config/Folders.h"
#include "xml/WideString.h"

namespace quibra {

namespace {

namespace fs = std::filesystem;

bool Fits(const std::wstring& path) {
    return !path.empty() && path.size() <= kMaxFolderPathChars;
}

fs::path ToPath(const std::wstring& path) {
    return fs::path(ToUtf8(path));
}

// An absolute path with "." and ".." resolved and no trailing separator;
// symbolic links are followed on the way but not in the last part, which is
// what a delete acts on. Empty when the path is relative or cannot be had.
fs::path Resolve(const fs::path& path) {
    if (!path.is_absolute()) return {};
    fs::path normal = path.lexically_normal();
    if (!normal.has_filename() && normal.has_parent_path() && normal != normal.root_path())
        normal = normal.parent_path();  // "/a/b/" -> "/a/b"
    if (normal == normal.root_path()) return normal;
    std::error_code ec;
    fs::path parent = fs::weakly_canonical(normal.parent_path(), ec);
    if (ec) return {};
    return parent / normal.filename();
}

fs::path ResolveFolder(const std::wstring& folder) {
    if (folder.empty()) return {};
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(ToPath(folder), ec);
    return ec ? fs::path() : canonical.lexically_normal();
}

// ASCII letters only: paths never go through the locale.
bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Whether `path` lies strictly below `folder`, part by part.
bool StrictlyBelow(const fs::path& path, const fs::path& folder) {
    if (folder.empty() || folder == folder.root_path()) return false;
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty()) continue;  // a trailing separator
        if (p == path.end() || *p != *f) return false;
    }
    return p != path.end() && !p->empty();
}

fs::path HomeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? ResolveFolder(FromUtf8(home)) : fs::path();
}

}  // namespace

bool FolderExists(const std::wstring& path) {
    std::error_code ec;
    return !path.empty() && fs::exists(ToPath(path), ec);
}

bool CopyFolder(const std::wstring& source, const std::wstring& target) {
    if (!Fits(source) || !Fits(target)) return false;
    std::error_code ec;
    const fs::path from = ToPath(source);
    if (!fs::is_directory(from, ec)) return false;
    fs::create_directories(ToPath(target), ec);
    if (ec) return false;
    fs::copy(from, ToPath(target),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    return !ec;
}

bool CopyReport(const std::wstring& source, const std::wstring& target) {
    if (source.empty() || target.empty()) return false;
    const fs::path from = ToPath(source);
    const fs::path to = ToPath(target);
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) return false;
    // A copy beside the target, renamed over it: a failed copy leaves no half report.
    fs::path part = to;
    part += ".part" + std::to_string(::getpid());
    if (!fs::copy_file(from, part, fs::copy_options::overwrite_existing, ec)) {
        fs::remove(part, ec);
        return false;
    }
    fs::rename(part, to, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(part, ignored);
        return false;
    }
    return true;
}

bool DeleteFolder(const std::wstring& path) {
    if (!Fits(path)) return false;
    const fs::path target = Resolve(ToPath(path));
    if (target.empty() || target == target.root_path()) return false;
    // The home folder, and any folder holding it, whatever the case.
    const fs::path home = HomeFolder();
    if (!home.empty() &&
        (EqualIgnoringCase(target.string(), home.string()) || StrictlyBelow(home, target)))
        return false;
    if (!StrictlyBelow(target, ResolveFolder(GetDocumentsFolder()))) {
        std::error_code ec;
        const fs::path temp = fs::temp_directory_path(ec);
        if (ec || !StrictlyBelow(target, ResolveFolder(FromUtf8(temp.string())))) return false;
    }
    std::error_code ec;
    // Only a real folder: a link in its place would be removed, not what it points at.
    if (!fs::is_directory(fs::symlink_status(target, ec))) return false;
    fs::remove_all(target, ec);
    return !ec;
}

}  // namespace quibra
