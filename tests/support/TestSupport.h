#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace quibra::test {

// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    std::wstring WPath() const { return m_path.wstring(); }

private:
    std::filesystem::path m_path;
};

// Sets (or, with nullopt, unsets) an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// A user whose home is a fresh temporary folder and whose settings root
// (XDG_CONFIG_HOME) is its "config" folder, already made.
class ScopedUser {
public:
    ScopedUser();
    const std::filesystem::path& Home() const { return m_dir.Path(); }
    std::filesystem::path ConfigRoot() const { return m_dir.Path() / "config"; }

private:
    TempDir m_dir;
    ScopedEnv m_home;
    ScopedEnv m_xdg;
};

// Waits until `done` holds, delivering Qt's posted events meanwhile when a
// QCoreApplication exists. The limit only guards against a hung test; nothing
// waits on time itself. Returns whether `done` held.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = std::chrono::seconds(30));

std::string ReadFileBytes(const std::filesystem::path& path);
// What a shell command prints on standard output, less one final line break.
std::string CommandOutput(const std::string& command);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// The build tree of this build (the environment may override it).
std::filesystem::path BinaryDir();

}  // namespace quibra::test
