#include "UiTestSupport.h"

#include <gtest/gtest.h>
#include <QPainter>
#include <QTest>

#include "i18n/CWenMsg.h"
#include "support/TestSupport.h"

namespace quibra::test {

QPixmap QuarterStrip(int width, int height) {
    QPixmap strip(width, height);
    QPainter painter(&strip);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < 4; ++i) painter.fillRect(i * width / 4, 0, width / 4, height, colours[i]);
    return strip;
}

QColor CentreColour(QWidget& widget) {
    const QImage image = widget.grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

void ShowAndExpose(QWidget& window) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
}

void LoadShippedMessages() {
    static const bool loaded =
        CWenMsg::GetInstance().Load((BinaryDir() / "bin/Lang/0409.xml").wstring());
    ASSERT_TRUE(loaded);
}

std::filesystem::path GalleryDir() {
    const std::filesystem::path dir = BinaryDir() / "gallery";
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace quibra::test
