#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/controls/CImageButton.h"

using quibra::CImageButton;
using namespace quibra::test;

// A strip gives each state its quarter.
TEST(ImageButton, EachStateShowsItsPictureThroughRealInput) {
    QWidget window;
    window.resize(300, 100);
    CImageButton button(&window);
    button.SetStrip(QuarterStrip(200, 30));
    button.setGeometry(10, 10, 50, 30);
    EXPECT_EQ(button.Picture(CImageButton::State::Normal).size(), QSize(50, 30));
    EXPECT_EQ(button.sizeHint(), QSize(50, 30));
    ShowAndExpose(window);
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    EXPECT_EQ(CentreColour(button), QColor(Qt::red));

    QTest::mouseMove(&button, QPoint(25, 15));
    QTRY_VERIFY(button.underMouse());
    EXPECT_EQ(CentreColour(button), QColor(Qt::blue));  // hot

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(25, 15));
    EXPECT_EQ(CentreColour(button), QColor(Qt::green));  // pressed
    // Dragged off: the normal look comes back, and releasing there is no click.
    QTest::mouseMove(&button, QPoint(120, 15));
    EXPECT_FALSE(button.isDown());
    EXPECT_EQ(CentreColour(button), QColor(Qt::red));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(120, 15));
    EXPECT_EQ(clicks.count(), 0);

    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(25, 15));
    EXPECT_TRUE(clicks.count() == 1 && !button.isChecked());  // a push button never stays checked

    button.setEnabled(false);
    EXPECT_EQ(CentreColour(button), QColor(Qt::yellow));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(25, 15));
    EXPECT_EQ(clicks.count(), 1);

    // A strip that cannot be cut leaves no picture: the button face shows.
    button.SetStrip(QuarterStrip(200, 30), 4, 60, 30);
    EXPECT_TRUE(button.Picture(CImageButton::State::Normal).isNull());
    EXPECT_FALSE(button.SetStrip(QPixmap()));
}
