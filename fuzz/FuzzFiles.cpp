#include "FuzzFiles.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace quibra::fuzz {

namespace {

struct Folder {
    std::filesystem::path path;
    Folder() {
        // Memory-backed where there is such a folder: every input is written
        // once, and a disk file system would make the writes the bottleneck.
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0
                ? std::filesystem::path("/dev/shm")
                : std::filesystem::temp_directory_path();
        std::string pattern = base / "quibra-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path = pattern;
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

}  // namespace

const std::filesystem::path& WorkFolder() {
    static Folder folder;
    return folder.path;
}

void WriteBytes(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
}

}  // namespace quibra::fuzz
