#include "transport/DownloadFile.h"

#include <cerrno>

namespace quibra {

DownloadFile::~DownloadFile() {
    if (m_file != nullptr) std::fclose(m_file);
}

bool DownloadFile::Create(const std::string& path) {
    if (m_file != nullptr) std::fclose(m_file);
    errno = 0;
    m_file = std::fopen(path.c_str(), "wb");
    if (m_file == nullptr) m_error = errno;
    return m_file != nullptr;
}

bool DownloadFile::Write(const char* data, size_t size) {
    if (m_file == nullptr) return false;
    errno = 0;
    if (std::fwrite(data, 1, size, m_file) == size) return true;
    m_error = errno != 0 ? errno : EIO;
    return false;
}

bool DownloadFile::Close() {
    if (m_file == nullptr) return true;
    errno = 0;
    const int rc = std::fclose(m_file);
    m_file = nullptr;
    if (rc == 0) return true;
    m_error = errno != 0 ? errno : EIO;
    return false;
}

}  // namespace quibra
