#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace quibra::fuzz {

// A folder made once per run (in /dev/shm where it can) and removed at exit.
const std::filesystem::path& WorkFolder();
// Replaces `path` with exactly these bytes.
void WriteBytes(const std::filesystem::path& path, const uint8_t* data, size_t size);

}  // namespace quibra::fuzz
