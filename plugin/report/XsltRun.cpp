#include "report/XsltRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "i18n/LanguageId.h"
#include "xml/WideString.h"

extern char** environ;

namespace quibra {

namespace {

namespace fs = std::filesystem;

// Frees the spawn attributes however the start ends.
class SpawnActions {
public:
    SpawnActions() { m_ok = posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnActions() {
        if (m_ok) posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    bool ok() const { return m_ok; }
    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
    bool m_ok = false;
};

}  // namespace

std::wstring LangIdHex(std::uint16_t langId) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring hex(4, L'0');
    for (int i = 3; i >= 0; --i, langId = static_cast<std::uint16_t>(langId >> 4))
        hex[static_cast<size_t>(i)] = kDigits[langId & 0xF];
    return hex;
}

std::uint16_t ReportLangId(const std::wstring& workFolder, std::uint16_t userLangId) {
    std::error_code ec;
    const fs::path own = fs::path(ToUtf8(workFolder)) / ToUtf8(LangIdHex(userLangId) + L".xsl");
    return fs::is_regular_file(own, ec) ? userLangId : kDefaultLangId;
}

bool RunXslt(const std::wstring& workFolder, std::uint16_t langId) {
    const std::string folder = ToUtf8(workFolder);
    const std::string hex = ToUtf8(LangIdHex(langId));
    std::string output = hex + ".html";
    std::string stylesheet = hex + ".xsl";
    std::string input = "ExportPoll.xml";
    std::string program = "xsltproc";
    std::string outputFlag = "-o";
    char* argv[] = {program.data(),    outputFlag.data(), output.data(),
                    stylesheet.data(), input.data(),      nullptr};

    SpawnActions actions;
    if (!actions.ok() || folder.empty() ||
        posix_spawn_file_actions_addchdir_np(actions.get(), folder.c_str()) != 0 ||
        posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) !=
            0 ||
        posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0) !=
            0 ||
        posix_spawn_file_actions_adddup2(actions.get(), STDOUT_FILENO, STDERR_FILENO) != 0)
        return false;
    pid_t pid = -1;
    if (posix_spawnp(&pid, program.c_str(), actions.get(), nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) == -1) {
        if (errno != EINTR) return false;
    }

    const fs::path report = fs::path(folder) / output;
    std::error_code ec;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return fs::is_regular_file(report, ec);
    fs::remove(report, ec);
    return false;
}

}  // namespace quibra
