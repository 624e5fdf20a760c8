#include "ui/controls/SkinImage.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>

namespace quibra {

QPixmap SkinImage::Load(const std::wstring& path) {
    if (path.empty() || qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return {};
    QString name = QString::fromStdWString(path);
    name.replace('\\', '/');
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) return {};
    QImage image;
    if (!image.loadFromData(bytes)) return {};
    return QPixmap::fromImage(std::move(image));
}

}  // namespace quibra
