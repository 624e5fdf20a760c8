#pragma once

#include <string>

// The folders every part of the plug-in finds its files in. Each result has no
// trailing separator (except where a part of it is empty, as GetSkinFolder with
// no skin name), and the empty string means the folder could not be had.
namespace quibra {

// The user's settings root: $XDG_CONFIG_HOME when it is an absolute path, else
// ~/.config; created when missing.
std::wstring GetAppDataFolder();
// XDG_DOCUMENTS_DIR of the user-dirs.dirs file in the settings root ("$HOME"
// expanded; a relative value or the home folder itself is ignored), else
// ~/Documents; doubled separators are collapsed; created when missing.
std::wstring GetDocumentsFolder();
// The folder of the running executable (the host's, not this library's).
std::wstring GetExeFolder();
// GetExeFolder() + "/skin/" + skinName; an empty name leaves the trailing "/".
std::wstring GetSkinFolder(const std::wstring& skinName);
// As above with the skin name of AppConfig::Instance().
std::wstring GetSkinFolder();
// GetExeFolder() + "/Lang", where the language files lie.
std::wstring GetLangFolder();

}  // namespace quibra
