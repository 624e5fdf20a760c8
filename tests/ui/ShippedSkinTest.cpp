#include <gtest/gtest.h>
#include <QTextLayout>
#include <map>

#include "UiTestSupport.h"
#include "config/AppConfig.h"
#include "core/WindowFactoryRegistry.h"
#include "quibra/CQuibraExport.h"
#include "quibra/CWenDoc.h"
#include "quibra/IFeedBackNotify.h"
#include "support/TestSupport.h"
#include "ui/PollWindowFactory.h"
#include "ui/controls/DialogBackgroundColor.h"
#include "ui/controls/DialogFont.h"
#include "ui/controls/SkinImage.h"
#include "ui/skin/CSkinLayout.h"
#include "ui/skin/SkinSettings.h"

using namespace quibra;
using namespace quibra::test;

namespace {

// The skin as the plug-in finds it: the user's wenconfig.xml names "default",
// looked for beside the executable.
struct ShippedSkin {
    TempDir home;
    ScopedEnv xdg{"XDG_CONFIG_HOME", home.Path().string()};
    ShippedSkin() {
        std::filesystem::create_directories(home / "wendrake");
        WriteFileBytes(home / "wendrake/wenconfig.xml",
                       "<Wendrake><WenConfig><SystemSetting><SkinName value=\"default\"/>"
                       "</SystemSetting></WenConfig></Wendrake>");
        AppConfig::Instance().CloseAll();
    }
    ~ShippedSkin() { AppConfig::Instance().CloseAll(); }
};

}  // namespace

TEST(ShippedSkin, HoldsEveryEntryTheWindowsLookUpWithPicturesThatLoad) {
    LoadShippedMessages();
    ShippedSkin skin;
    ASSERT_TRUE(AppConfig::Instance().Load());
    const CSkinLayout& layout = CSkinLayout::Current();

    const std::map<std::wstring, std::wstring> dialogs = {
        {L"create_poll_dlg", L"640*480_dlg"},
        {L"input_poll_question_dlg", L"480*360_dlg"},
        {L"poll_dlg", L"480*480_dlg"}};
    for (const auto& [owner, entryName] : dialogs) {
        const DialogEntry* dialog = layout.FindDialog(entryName);
        ASSERT_NE(dialog, nullptr) << entryName.size();
        EXPECT_FALSE(SkinImage::Load(dialog->image).isNull());
        int made = 0;
        for (const ControlEntry& control : layout.Controls()) {
            if (control.belongTo != owner) continue;
            // Every control lies inside its dialog.
            EXPECT_GE(control.rect.left, 0);
            EXPECT_LE(control.rect.right, dialog->rect.Width());
            EXPECT_LE(control.rect.bottom, dialog->rect.Height());
            if (control.create) ++made;
        }
        EXPECT_EQ(made, 3);  // title picture, its description, close button
    }
    for (const wchar_t* name :
         {L"create_poll_btn", L"modify_poll_btn", L"post_poll_btn", L"over_poll_btn",
          L"publish_poll_btn", L"delete_poll_btn", L"workspace_ctrl",
          L"input_poll_question_dlg_ok_btn", L"input_poll_question_dlg_cancel_btn",
          L"poll_dlg_ok_btn", L"poll_dlg_cancel_btn"})
        ASSERT_NE(layout.FindControl(name), nullptr) << QString::fromWCharArray(name).toStdString();
    int editorCaption = 0;
    for (const ControlEntry& control : layout.Controls()) {
        if (control.belongTo == L"input_poll_question_dlg" &&
            control.name == L"title_picture_descriptioin")
            editorCaption = control.controlId;
        if (control.image.empty()) continue;
        const QPixmap picture = SkinImage::Load(control.image);
        ASSERT_FALSE(picture.isNull()) << QString::fromStdWString(control.image).toStdString();
        EXPECT_TRUE(control.name == L"title_picture" || picture.width() % 4 == 0);
    }
    EXPECT_EQ(editorCaption, 32837);
}

TEST(ShippedSkin, DialogFontFindsGlyphsForLatinAndChinese) {
    const QFont* font = DialogFont::Get();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->family(), "Arial Unicode MS");
    const QSize units = DialogFont::BaseUnits();
    EXPECT_EQ(units.height(), 16);  // a 16-pixel character cell
    QTextLayout text(QStringLiteral("Poll 投票管理 发布结果"), *font);
    text.beginLayout();
    text.createLine();
    text.endLayout();
    int glyphs = 0;
    for (const QGlyphRun& run : text.glyphRuns()) {
        for (quint32 index : run.glyphIndexes()) {
            EXPECT_NE(index, 0u) << run.rawFont().familyName().toStdString();
            ++glyphs;
        }
    }
    EXPECT_GE(glyphs, 12);
}

// The host's "skincfg" (tooltips, picture names, the process-wide dialog
// colour) as the library's managers read it, through the registered factory.
TEST(ShippedSkin, LibraryManagersReadSkinSettingsThroughTheRegisteredFactory) {
    LoadShippedMessages();
    EXPECT_EQ(WindowFactoryRegistry::Get(), PollWindowFactory::Instance());
    DialogBackgroundColor::Reset();
    CWenDoc doc;
    SkinSettings unread;
    EXPECT_FALSE(unread.Read(doc.LoadXml("<init/>")));  // no "skincfg": nothing changes
    EXPECT_EQ(DialogBackgroundColor::Get(), 0xFFFFFFu);
    EXPECT_EQ(unread.TipId(SkinButton::Ok), 0);
    EXPECT_TRUE(unread.TipText(SkinButton::Ok).isEmpty()) << "id 0 names no text";

    CWenNode init = doc.LoadXml(
        "<init><skincfg background=\"back.bmp\" dlg_background_color=\"15660024\">"
        "<item id=\"ok_btn\" tip_msg_id=\"15050\" image=\"ok.bmp\"/>"
        "<item id=\"poll_disclaim_btn\" tip_msg_id=\"15059\"/></skincfg></init>");
    CQuibraExport exporter;
    exporter.CreateQuibraManager(POLLMODE_PRESENTER, nullptr)->Notify(L"/polling/in/init", &init);
    const SkinSettings& settings = PollWindowFactory::Instance()->Settings();
    EXPECT_EQ(settings.Background(), L"\\back.bmp");
    EXPECT_EQ(DialogBackgroundColor::Get(), 0x00EEF3F8u);
    EXPECT_EQ(DialogBackgroundColor::ToQColor(DialogBackgroundColor::Get()),
              QColor(0xF8, 0xF3, 0xEE));
    EXPECT_EQ(settings.Get(SkinButton::Ok).image, L"\\ok.bmp");
    EXPECT_TRUE(SkinSettings().Read(init));
    EXPECT_EQ(settings.TipId(SkinButton::Cancel), -1);  // an absent item
    EXPECT_EQ(settings.Get(SkinButton::Cancel).image, L"\\");
    exporter.FreeAllPollingObject();
    DialogBackgroundColor::Reset();
    EXPECT_EQ(DialogBackgroundColor::Get(), 0xFFFFFFu);
}
