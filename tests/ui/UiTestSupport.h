#pragma once

#include <gtest/gtest.h>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include "i18n/CWenMsg.h"
#include "support/TestSupport.h"

// Helpers of the control tests; header only.
namespace quibra::test {

// Four quarters in red, green, blue and yellow: normal, pressed, hot, disabled.
inline QPixmap QuarterStrip(int width, int height) {
    QPixmap strip(width, height);
    QPainter painter(&strip);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < 4; ++i) painter.fillRect(i * width / 4, 0, width / 4, height, colours[i]);
    return strip;
}

// The colour in the middle of a freshly painted widget.
inline QColor CentreColour(QWidget& widget) {
    const QImage image = widget.grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// Shows a top-level widget and waits until it is exposed.
inline void ShowAndExpose(QWidget& window) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
}

// Loads the English messages that ship with the build, once.
inline void LoadShippedMessages() {
    static const bool loaded =
        CWenMsg::GetInstance().Load((BinaryDir() / "bin/Lang/0409.xml").wstring());
    ASSERT_TRUE(loaded);
}

}  // namespace quibra::test
