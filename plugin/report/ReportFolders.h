#pragma once

#include <cstddef>
#include <string>

// The folder work of the HTML export: the template folder copied to a work
// folder, the report copied out, the work folder deleted. Every helper is
// silent: no question, no message, just the result.
namespace quibra {

// Longer paths are refused whole (nothing copied or deleted), never cut short.
inline constexpr std::size_t kMaxFolderPathChars = 1022;

// Whether anything exists at the path.
bool FolderExists(const std::wstring& path);
// Copies the source folder's contents into the target folder, creating it and
// its parents as needed and replacing files of the same name. False when the
// source is no folder, a path is too long, or anything could not be copied.
bool CopyFolder(const std::wstring& source, const std::wstring& target);
// Copies one file over the target, which is replaced whole or not at all.
bool CopyReport(const std::wstring& source, const std::wstring& target);
// Deletes a folder with everything in it. Refuses (false, nothing deleted) the
// filesystem root, the home folder or one holding it, and every folder that is not strictly below
// the documents folder or the temporary folder, whatever the letter case,
// trailing separators, "." or ".." parts, or symbolic links on the way.
bool DeleteFolder(const std::wstring& path);

}  // namespace quibra
