#include "InstallLayout.h"

#include <QDir>
#include <QFileInfo>

namespace InstallLayout {

QString PluginPath(const QString& exeFolder) {
    const QString beside = exeFolder + QStringLiteral("/libQuibra.so");
    if (QFileInfo::exists(beside)) return beside;
    return QDir::cleanPath(exeFolder + QStringLiteral("/" QUIBRA_LIB_FROM_BIN "/") +
                           QStringLiteral(QUIBRA_PLUGIN_SONAME));
}

QString DataFolder(const QString& exeFolder) {
    if (QFileInfo(exeFolder + QStringLiteral("/skin")).isDir()) return exeFolder;
    return QDir::cleanPath(exeFolder + QStringLiteral("/" QUIBRA_DATA_FROM_BIN));
}

QString PollServerPath(const QString& exeFolder) {
    return exeFolder + QStringLiteral("/pollserver");
}

}  // namespace InstallLayout
