#include "ui/controls/CPictureView.h"

#include <QFileInfo>
#include <QPainter>
#include <QTextBrowser>
#include <QUrl>

#include "ui/controls/SkinImage.h"

namespace quibra {

CPictureView::CPictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPictureView::ShowFile(const QString& path, const QString& type, bool browser, bool tile,
                            bool stretch) {
    m_path = path;
    m_type = type.toLower();
    m_tile = tile;
    m_stretch = stretch;
    m_picture = QPixmap();
    const bool page = browser || m_type == QLatin1String("html") || m_type == QLatin1String("htm");
    if (page) {
        if (!m_browser) {
            m_browser = new QTextBrowser(this);
            m_browser->setFrameShape(QFrame::NoFrame);
            m_browser->setOpenLinks(false);
        }
        m_browser->setGeometry(rect());
        m_browser->show();
        if (QFileInfo::exists(path))
            m_browser->setSource(QUrl::fromLocalFile(path));
        else
            m_browser->clear();
    } else if (m_browser) {
        m_browser->hide();
    }
    static const QStringList kPictureTypes = {"jpeg", "jpg", "gif", "bmp", "png"};
    if (!page && kPictureTypes.contains(m_type)) m_picture = SkinImage::Load(path.toStdWString());
    update();
}

void CPictureView::resizeEvent(QResizeEvent*) {
    if (m_browser && m_browser->isVisible()) m_browser->setGeometry(rect());
}

void CPictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (m_picture.isNull()) return;
    if (m_tile)
        painter.drawTiledPixmap(rect(), m_picture);
    else if (m_stretch)
        painter.drawPixmap(rect(), m_picture);
    else
        painter.drawPixmap(0, 0, m_picture);
}

}  // namespace quibra
