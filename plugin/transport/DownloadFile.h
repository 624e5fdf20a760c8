#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace quibra {

// A file that a download is written into, closed in one place. Errors are kept
// as errno values for the caller to report.
class DownloadFile {
public:
    DownloadFile() = default;
    ~DownloadFile();
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    // Creates (or truncates) `path` for binary writing.
    bool Create(const std::string& path);
    bool IsOpen() const { return m_file != nullptr; }
    bool Write(const char* data, size_t size);
    // Flushes and closes; false when the data could not be written out.
    bool Close();
    // errno of the last failed call.
    int Error() const { return m_error; }

private:
    std::FILE* m_file = nullptr;
    int m_error = 0;
};

}  // namespace quibra
