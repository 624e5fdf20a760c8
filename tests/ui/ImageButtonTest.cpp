#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/controls/CColorRadioButton.h"
#include "ui/controls/CImageButton.h"

using quibra::CColorRadioButton;
using quibra::CImageButton;
using namespace quibra::test;

namespace {

struct ButtonWindow {
    QWidget window;
    std::vector<CImageButton*> buttons;
    explicit ButtonWindow(CImageButton::Type type, int count = 1) {
        window.resize(300, 100);
        for (int i = 0; i < count; ++i) {
            auto* button = new CImageButton(&window, type);
            button->SetStrip(QuarterStrip(200, 30));
            button->setGeometry(10 + 60 * i, 10, 50, 30);
            buttons.push_back(button);
        }
    }
};

}  // namespace

TEST(ImageButton, StripGivesEachStateItsQuarter) {
    CImageButton button;
    button.SetStrip(QuarterStrip(200, 30));
    EXPECT_EQ(button.Picture(CImageButton::State::Normal).size(), QSize(50, 30));
    EXPECT_EQ(button.sizeHint(), QSize(50, 30));
    // A strip that cannot be cut leaves no picture: the button face shows.
    button.SetStrip(QuarterStrip(200, 30), 4, 60, 30);
    EXPECT_TRUE(button.Picture(CImageButton::State::Normal).isNull());
    EXPECT_FALSE(button.SetStrip(QPixmap()));
}

TEST(ImageButton, EachStateShowsItsPictureThroughRealInput) {
    ButtonWindow w(CImageButton::Type::Push);
    CImageButton& button = *w.buttons[0];
    ShowAndExpose(w.window);
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
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(button.isChecked());  // a push button never stays checked

    button.setEnabled(false);
    EXPECT_EQ(CentreColour(button), QColor(Qt::yellow));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(25, 15));
    EXPECT_EQ(clicks.count(), 1);
}

TEST(ImageButton, CheckBoxAndRadioTypesByMouseAndKeys) {
    ButtonWindow boxes(CImageButton::Type::CheckBox);
    CImageButton& box = *boxes.buttons[0];
    ShowAndExpose(boxes.window);
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Space);
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(CentreColour(box), QColor(Qt::green));  // checked shows the pressed picture
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isChecked());
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(25, 15));
    EXPECT_TRUE(box.isChecked());

    ButtonWindow radios(CImageButton::Type::Radio, 3);
    ShowAndExpose(radios.window);
    QTest::mouseClick(radios.buttons[1], Qt::LeftButton, {}, QPoint(25, 15));
    radios.buttons[2]->setFocus();
    QTest::keyClick(radios.buttons[2], Qt::Key_Space);
    EXPECT_FALSE(radios.buttons[0]->isChecked());
    EXPECT_FALSE(radios.buttons[1]->isChecked());
    EXPECT_TRUE(radios.buttons[2]->isChecked());
    // A checked radio stays checked when clicked again.
    QTest::mouseClick(radios.buttons[2], Qt::LeftButton, {}, QPoint(25, 15));
    EXPECT_TRUE(radios.buttons[2]->isChecked());
}

TEST(ImageButton, ColourRadioPaintsItsBackgroundAndKeepsItsGroup) {
    QWidget window;
    window.resize(200, 60);
    CColorRadioButton first(&window);
    CColorRadioButton second(&window);
    CColorRadioButton identify(&window, CColorRadioButton::Kind::CheckBox);
    first.setGeometry(0, 0, 60, 30);
    second.setGeometry(60, 0, 60, 30);
    identify.setGeometry(120, 0, 60, 30);
    first.SetBackgroundColour(0x00336699);  // red in the low byte
    ShowAndExpose(window);
    EXPECT_EQ(first.grab().toImage().pixelColor(58, 2), QColor(0x99, 0x66, 0x33));
    QTest::mouseClick(&first, Qt::LeftButton);
    QTest::mouseClick(&second, Qt::LeftButton);
    identify.setFocus();
    QTest::keyClick(&identify, Qt::Key_Space);
    EXPECT_FALSE(first.isChecked());
    EXPECT_TRUE(second.isChecked());
    EXPECT_TRUE(identify.isChecked());
}
