#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <QTextBrowser>

namespace quibra {

// The title picture: a white area showing a picture file at its natural size
// from the top-left corner (clipped), stretched, or tiled; "html"/"htm" files
// in a QTextBrowser over the area; "swf" leaves the area empty (no player).
class CPictureView : public QWidget {
    Q_OBJECT
public:
    explicit CPictureView(QWidget* parent = nullptr);

    // Shows `path` as `type` (lower-case extension without the dot; compared
    // case-insensitively). With `browser` the path goes to the browser
    // whatever its type. A missing or undecodable picture leaves the area
    // white; calling again replaces what was shown.
    void ShowFile(const QString& path, const QString& type, bool browser = false, bool tile = false,
                  bool stretch = false);
    const QString& FilePath() const { return m_path; }
    const QString& FileType() const { return m_type; }
    // The decoded picture; null when none is shown.
    const QPixmap& Picture() const { return m_picture; }
    // The browser, once an html page was shown; null before.
    QTextBrowser* Browser() const { return m_browser; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_path;
    QString m_type;
    bool m_tile = false;
    bool m_stretch = false;
    QPixmap m_picture;
    QPointer<QTextBrowser> m_browser;
};

}  // namespace quibra
