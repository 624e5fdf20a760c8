#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "UiTestSupport.h"
#include "support/TestSupport.h"
#include "ui/controls/CColorRadioButton.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CPictureView.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/DialogFont.h"
#include "ui/controls/DialogTemplate.h"

using namespace quibra;
using namespace quibra::test;

namespace {

constexpr TemplateItem kItems[] = {
    {4005, ControlKind::Edit, 54, 8, 174, 12},
    {4008, ControlKind::ColorRadio, 6, 25, 8, 10},
    {4009, ControlKind::ColorRadio, 80, 25, 8, 10},
    {4043, ControlKind::TransparentStatic, 91, 25, 62, 8, "Multiple answers"},
    {4046, ControlKind::Separator, 7, 28, 305, 1, nullptr, 0, false},
    {4019, ControlKind::ImageButton, 97, 144, 23, 11},
};

}  // namespace

TEST(SkinDialog, TemplatePlacesNamedControlsAndRoutesTheirCommands) {
    CSkinDialog dialog;
    DialogTemplate::Apply(dialog, {245, 169, kItems});
    DialogTemplate::Apply(dialog, {245, 169, kItems});  // nothing made twice
    const QSize base = DialogFont::BaseUnits();
    EXPECT_EQ(dialog.size(), QSize((245 * base.width() + 2) / 4, (169 * base.height() + 4) / 8));
    EXPECT_EQ(dialog.findChildren<QLineEdit*>().size(), 1);
    ASSERT_NE(dialog.ItemAs<QLineEdit>(4005), nullptr);
    EXPECT_EQ(dialog.Item(4005)->geometry(), DialogTemplate::ToPixels(54, 8, 174, 12));
    EXPECT_TRUE(dialog.Item(4046)->isHidden());
    EXPECT_EQ(dialog.Item(9999), nullptr);
    dialog.NameAfterLabel(4009, 4043);
    EXPECT_EQ(dialog.Item(4009)->accessibleName(), "Multiple answers");

    ShowAndExpose(dialog);
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QSignalSpy commands(&dialog, &CSkinDialog::commandTriggered);
    auto* ok = dialog.ItemAs<CImageButton>(4019);
    ok->setFocus();
    // The focused picture button shows a ring in the highlight colour; its
    // tip wakes up after 150 ms, the application's after Qt's 700.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dialog.FocusRing() && dialog.FocusRing()->isVisible(); }));
    EXPECT_EQ(dialog.grab().toImage().pixelColor(ok->x() - 1, ok->geometry().center().y()),
              ok->palette().color(QPalette::Highlight));
    EXPECT_EQ(ok->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, ok), 150);
    EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 700);
    QTest::keyClick(ok, Qt::Key_Space);
    QTest::keyClick(ok, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(commands.count(), 2);
    EXPECT_EQ(commands[1][0].toInt(), 4019);
    // Radio buttons of the template exclude each other, on a background of
    // the colour they were given (red in the low byte).
    auto* colour = dialog.ItemAs<CColorRadioButton>(4008);
    colour->SetBackgroundColour(0x00336699);
    colour->resize(60, 30);
    QStyleOptionButton option;  // a radio's round indicator leaves its corner to the background
    option.initFrom(colour);
    const QRect indicator =
        colour->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, colour);
    for (const QPoint at : {QPoint(58, 2), indicator.topLeft()})
        EXPECT_EQ(colour->grab().toImage().pixelColor(at), QColor(0x99, 0x66, 0x33)) << at.x();
    QTest::mouseClick(dialog.Item(4008), Qt::LeftButton);
    QTest::mouseClick(dialog.Item(4009), Qt::LeftButton);
    EXPECT_FALSE(dialog.ItemAs<CColorRadioButton>(4008)->isChecked());
}

TEST(SkinDialog, DragsByItsBodyButNotByAControlAndPaintsItsBackground) {
    CSkinDialog dialog;
    dialog.setWindowFlag(Qt::FramelessWindowHint);
    dialog.setGeometry(100, 100, 200, 100);
    auto* button = new CImageButton(&dialog);
    button->setGeometry(150, 60, 40, 30);
    ShowAndExpose(dialog);
    EXPECT_EQ(CentreColour(dialog), QColor(0xEF, 0xF7, 0xFF));  // no picture: 0xFFF7EF
    const QPoint start = dialog.pos();

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(button, QPoint(25, 15));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(25, 15));
    EXPECT_EQ(dialog.pos(), start);

    QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(&dialog, QPoint(40, 30));
    EXPECT_EQ(dialog.pos(), start + QPoint(30, 20));
    // The window followed the pointer, which is over the same point of it again.
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(dialog.pos(), start + QPoint(30, 20));

    // Only a held button moves it, not a move after a release that went elsewhere.
    QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent lost(QEvent::MouseMove, QPointF(60, 40), dialog.mapToGlobal(QPointF(60, 40)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &lost);
    EXPECT_EQ(dialog.pos(), start + QPoint(30, 20));

    // A background picture is tiled from the dialog's origin.
    dialog.Background().SetPicture(QuarterStrip(8, 8));
    const QImage shot = dialog.grab().toImage();
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(8 + 6, 3), QColor(Qt::yellow));
}

// An end ellipsis draws the text its font elides, a plain line the text as it is.
TEST(SkinDialog, AStaticWithAnEllipsisDrawsTheElidedText) {
    const QString text = "An end ellipsis cuts this long line of text";
    CTransparentStatic elided(nullptr, CTransparentStatic::EndEllipsis),
        plain(nullptr, CTransparentStatic::LeftNoWordWrap);
    elided.resize(120, 20);
    plain.resize(120, 20);
    elided.setText(text);
    plain.setText(elided.fontMetrics().elidedText(text, Qt::ElideRight, 120));
    EXPECT_EQ(elided.grab().toImage(), plain.grab().toImage());
}

TEST(SkinDialog, PictureViewShowsFilesByType) {
    TempDir dir;
    QuarterStrip(8, 4).save(QString::fromStdString((dir / "t.jpg").string()), "PNG");
    WriteFileBytes(dir / "page.htm", "<p>Results</p>");
    const QString picture = QString::fromStdString((dir / "t.jpg").string());
    CPictureView view;
    view.resize(16, 8);
    struct Case {
        bool tile, stretch;
        QColor at12x6;  // natural leaves white outside the picture
    } cases[] = {{false, false, Qt::white}, {false, true, Qt::yellow}, {true, false, Qt::blue}};
    for (const Case& c : cases) {
        view.ShowFile(picture, "JPG", false, c.tile, c.stretch);
        EXPECT_EQ(view.grab().toImage().pixelColor(12, 6), c.at12x6);
        EXPECT_EQ(view.grab().toImage().pixelColor(0, 0), QColor(Qt::red));
    }
    view.ShowFile(QString::fromStdString((dir / "page.htm").string()), "htm");
    ASSERT_NE(view.Browser(), nullptr);
    EXPECT_TRUE(view.Browser()->toPlainText().contains("Results"));
    view.ShowFile("movie.swf", "swf");
    EXPECT_TRUE(view.Picture().isNull() && view.Browser()->isHidden());
    view.ShowFile(picture + ".missing", "jpg");
    EXPECT_EQ(view.grab().toImage().pixelColor(1, 1), QColor(Qt::white));
}
