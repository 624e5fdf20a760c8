#pragma once

#include <QPixmap>
#include <string>

namespace quibra {

// Pictures of the skin, read from files.
class SkinImage {
public:
    // The whole file decoded (BMP, GIF, JPEG, PNG): a null pixmap for an empty
    // path, a missing file, a read error or an undecodable file. Needs a
    // QGuiApplication; "\" in the path counts as "/".
    static QPixmap Load(const std::wstring& path);
};

}  // namespace quibra
