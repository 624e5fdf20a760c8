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
// The folder of the module this code is linked into: libQuibra.so's own folder
// (found with dladdr, whichever host loaded it), or the executable's when the
// code is linked into one (the tests).
std::wstring GetModuleFolder();
// Where the plug-in's files (Lang/, skin/, Poll/) lie for a module in
// `moduleFolder`: beside it when it has a Lang folder, as in the build tree
// (build/bin); else the installed data folder relative to the library folder
// (QUIBRA_DATA_FROM_LIB, e.g. /usr/lib/<triplet>/../../share/quibra) when that has
// one; else `moduleFolder` itself.
std::wstring DataFolderFor(const std::wstring& moduleFolder);
// DataFolderFor(GetModuleFolder()).
std::wstring GetDataFolder();
// GetDataFolder() + "/skin/" + skinName; an empty name leaves the trailing "/".
std::wstring GetSkinFolder(const std::wstring& skinName);
// As above with the skin name of AppConfig::Instance().
std::wstring GetSkinFolder();
// GetDataFolder() + "/Lang", where the language files lie.
std::wstring GetLangFolder();

}  // namespace quibra
