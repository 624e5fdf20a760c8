#pragma once

#include <QString>

// Where quibra-host finds what it loads and starts. In the build tree all of it
// lies beside the executable (build/bin); installed, the plug-in is in the
// library folder and the data in the data folder, at the same places relative
// to the executable's folder as the build's install layout puts them
// (/usr/bin -> /usr/lib/<triplet>, /usr/share/quibra). The PollServer is beside
// the host in both.
namespace InstallLayout {

// The plug-in library: <exe folder>/libQuibra.so when it is there, else the
// installed libQuibra.so.<soversion> in the library folder.
QString PluginPath(const QString& exeFolder);
// The folder with skin/ and samples/: the executable's when it has skin/,
// else the installed data folder.
QString DataFolder(const QString& exeFolder);
// The PollServer program.
QString PollServerPath(const QString& exeFolder);

}  // namespace InstallLayout
