#include <gtest/gtest.h>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <climits>

#include "UiTestSupport.h"
#include "i18n/CWenMsg.h"
#include "support/TestSupport.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CPictureView.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/skin/CSkinLayout.h"

using namespace quibra;
using namespace quibra::test;

namespace {

constexpr const char* kLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<Wendrake><windowposition>
 <dialog>
  <item name="300*200_dlg" left="0" top="0" right="300" bottom="200" image="back.png"/>
  <item name="no_image_dlg" left="0" top="0" right="100" bottom="80" image="missing.png"/>
  <item name="huge_dlg" left="-2147483648" top="0" right="2147483647" bottom="480"/>
 </dialog>
 <window_control>
  <item name="title_picture" belong_to="test_dlg" control_id="-5" create="1" left="0" top="0" right="50" bottom="20" image="title.png"/>
  <item name="title_picture" belong_to="test_dlg" control_id="70" create="1" left="0" top="0" right="60" bottom="20" image="title.png"/>
  <item name="title_picture_descriptioin" tip_msg_id="15041" belong_to="test_dlg" control_id="71" create="1" left="5" top="2" right="55" bottom="18"/>
  <item name="close_button" tip_msg_id="15040" belong_to="test_dlg" control_id="9" create="1" left="270" top="2" right="298" bottom="30" image="strip.png"/>
  <item name="plain_btn" belong_to="test_dlg" control_id="80" create="1" left="10" top="100" right="50" bottom="130" image="strip.png"/>
  <item name="image_btn" belong_to="test_dlg" control_id="81" create="1" left="60" top="100" right="100" bottom="130" image="strip.png"/>
  <item name="moved" belong_to="test_dlg" control_id="82" left="5" top="150" right="95" bottom="170"/>
  <item name="moved" belong_to="Test_Dlg" control_id="83" left="1" top="1" right="9" bottom="9"/>
  <item name="m" belong_to="huge_dlg" control_id="82" left="-2147483648" top="-2147483648" right="2147483647" bottom="2147483647"/>
 </window_control>
 <color><item name="hot" r="300" g="0" b="1"/><item name="none"/></color>
</windowposition></Wendrake>)";

struct LayoutFiles {
    TempDir dir;
    CSkinLayout layout;
    LayoutFiles() {
        std::filesystem::create_directories(dir / "image");
        WriteFileBytes(dir / "DialogSkinConfig.xml", kLayout);
        QuarterStrip(112, 28).save(QString::fromStdString((dir / "image/strip.png").string()));
        QuarterStrip(8, 8).save(QString::fromStdString((dir / "image/back.png").string()));
        QuarterStrip(60, 20).save(QString::fromStdString((dir / "image/title.png").string()));
        layout.SetFolder(dir.WPath());
    }
};

}  // namespace

TEST(SkinLayout, LoadsEntriesByTheFileRules) {
    LoadShippedMessages();
    LayoutFiles files;
    CSkinLayout& layout = files.layout;
    ASSERT_TRUE(layout.Open());
    ASSERT_TRUE(layout.Open());  // again: every list is refilled, not doubled
    EXPECT_EQ(layout.Dialogs().size(), 3u);
    EXPECT_EQ(layout.Controls().size(), 9u);
    ASSERT_EQ(layout.Colors().size(), 2u);
    EXPECT_EQ(layout.Colors()[0].colour, 44u | (1u << 16));  // r=300 keeps its low byte
    EXPECT_EQ(layout.Colors()[1].colour, 0xFFFFFFu);         // absent bytes read as -1

    const ControlEntry* first = layout.FindControl(L"title_picture");
    ASSERT_NE(first, nullptr);
    // The first of two entries of a name; its id of -5 reads as 0.
    EXPECT_EQ(std::tuple(first->controlId, first->rect.right, first->create, first->tipText),
              std::tuple(0, 50, true, std::wstring()));
    EXPECT_EQ(first->image, files.dir.WPath() + L"/image/title.png");
    EXPECT_EQ(layout.FindControl(L"title_picture_descriptioin")->tipText, L"Poll Manager");
    EXPECT_FALSE(layout.FindControl(L"moved")->create);
    EXPECT_EQ(layout.FindDialog(L"300*200_DLG"), nullptr);
    EXPECT_EQ(layout.FindDialog(L"300*200_dlg")->rect.bottom, 200);

    layout.Close();
    EXPECT_TRUE(layout.Controls().empty());
    CSkinLayout missing;
    missing.SetFolder((files.dir / "nowhere").wstring());
    EXPECT_TRUE(!missing.Open() && missing.Dialogs().empty() && !missing.Save());
}

TEST(SkinLayout, AppliesDialogEntriesAndCreatesEachControlOnce) {
    LoadShippedMessages();
    LayoutFiles files;
    ASSERT_TRUE(files.layout.Open());
    CSkinDialog dialog;
    dialog.resize(120, 90);
    auto* plain = new QPushButton(&dialog);
    plain->setObjectName("80");
    auto* image = new CImageButton(&dialog);
    image->setObjectName("81");
    auto* moved = new QWidget(&dialog);
    moved->setObjectName("82");
    auto* other = new QWidget(&dialog);
    other->setObjectName("83");
    other->setGeometry(20, 20, 30, 30);

    files.layout.ApplyDialogEntry(dialog, L"unknown_dlg");
    EXPECT_EQ(dialog.size(), QSize(120, 90));
    EXPECT_FALSE(dialog.windowFlags() & Qt::FramelessWindowHint);
    files.layout.ApplyDialogEntry(dialog, L"300*200_dlg");
    EXPECT_EQ(dialog.size(), QSize(300, 200));
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog.Background().Picture().size(), QSize(8, 8));
    files.layout.ApplyDialogEntry(dialog, L"no_image_dlg");  // the old background stays
    EXPECT_EQ(dialog.Background().Picture().size(), QSize(8, 8));
    files.layout.ApplyDialogEntry(dialog, L"300*200_dlg");

    for (int pass = 0; pass < 2; ++pass) files.layout.ApplyWindowControls(dialog, L"test_dlg");
    EXPECT_EQ(dialog.findChildren<CPictureView*>().size(), 1);
    EXPECT_EQ(dialog.findChildren<CTransparentStatic*>().size(), 1);
    EXPECT_EQ(dialog.findChildren<CImageButton*>().size(), 3);  // close, 80 made over, 81
    EXPECT_EQ(dialog.PictureControl(0), nullptr);
    ASSERT_NE(dialog.PictureControl(70), nullptr);
    EXPECT_EQ(dialog.PictureControl(70)->geometry(), QRect(0, 0, 60, 20));
    EXPECT_FALSE(dialog.PictureControl(70)->Picture().isNull());
    EXPECT_EQ(dialog.TextControl(71)->text(), "Poll Manager");
    EXPECT_EQ(dialog.Item(71), dialog.TextControl(71));
    EXPECT_EQ(moved->geometry(), QRect(5, 150, 90, 20));
    EXPECT_EQ(other->geometry(), QRect(20, 20, 30, 30));  // "Test_Dlg" is another dialog

    auto* madeOver = dialog.ItemAs<CImageButton>(80);
    ASSERT_NE(madeOver, nullptr);
    EXPECT_EQ(madeOver->geometry(), QRect(10, 100, 40, 30));
    EXPECT_EQ(madeOver->Picture(CImageButton::State::Normal).size(), QSize(28, 28));
    EXPECT_EQ(image->Picture(CImageButton::State::Normal).size(), QSize(28, 28));
    EXPECT_EQ(dialog.Background().Buttons().size(), 3u);

    // The windows' own button set-up: one state's size, named after the entry's tip.
    CImageButton own(&dialog);
    EXPECT_FALSE(files.layout.SetUpButton(own, L"no_such_btn", false));
    EXPECT_FALSE(files.layout.SetUpButton(own, L"moved", false));  // no image
    ASSERT_TRUE(files.layout.SetUpButton(own, L"close_button", false));
    EXPECT_TRUE(own.size() == QSize(28, 28) && own.toolTip().isEmpty() &&
                own.accessibleName() == "Close");
    ASSERT_TRUE(files.layout.SetUpButton(own, L"plain_btn", true, "New poll"));
    EXPECT_EQ(own.geometry(), QRect(10, 100, 40, 30));
    EXPECT_EQ(own.toolTip(), "New poll");

    auto* close = dialog.ItemAs<CImageButton>(CSkinDialog::kCancel);
    ASSERT_NE(close, nullptr);
    EXPECT_TRUE(close->toolTip() == "Close" && close->accessibleName() == "Close");
    ShowAndExpose(dialog);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QSignalSpy commands(&dialog, &CSkinDialog::commandTriggered);
    QTest::mouseClick(madeOver, Qt::LeftButton);
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands[0][0].toInt(), 80);
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_TRUE(rejected.count() == 1 && !dialog.isVisible());
}

// A layout file may give any two 32-bit numbers; found by fuzz_skin_layout.
TEST(SkinLayout, RectanglesOfExtremeNumbersApplyWithoutOverflow) {
    const std::tuple<SkinRect, int, int> spans[] = {
        {{0, 0, 300, 200}, 300, 200},
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, INT_MAX, INT_MAX},
        {{INT_MAX, 5, INT_MIN, -3}, INT_MIN, -8}};
    EXPECT_TRUE((SkinRect{0, 0, 10, 0}.IsEmpty() && SkinRect{0, 0, 0, 10}.IsEmpty()));
    for (const auto& [rect, width, height] : spans) {
        EXPECT_EQ(rect.Width(), width) << rect.left;
        EXPECT_EQ(rect.Height(), height) << rect.left;
    }
    LayoutFiles files;
    ASSERT_TRUE(files.layout.Open());
    CSkinDialog dialog;
    auto* moved = new QWidget(&dialog);
    moved->setObjectName("82");
    files.layout.ApplyDialogEntry(dialog, L"huge_dlg");
    files.layout.ApplyWindowControls(dialog, L"huge_dlg");
    EXPECT_EQ(dialog.size(), QSize(QWIDGETSIZE_MAX, 480));
    EXPECT_EQ(moved->size(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}
