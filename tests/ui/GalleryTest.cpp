// Writes pictures of every control in each state and of the three skinned
// dialogs to <build>/gallery, for a reviewer to look at.
#include <gtest/gtest.h>
#include <QMenu>
#include <QPainter>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "config/AppConfig.h"
#include "i18n/CWenMsg.h"
#include "support/TestSupport.h"
#include "ui/console/CPollQuestionDlg.h"
#include "ui/controls/CColorRadioButton.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CPictureView.h"
#include "ui/controls/CReadOnlyText.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/controls/CSkinMenu.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/DialogFont.h"
#include "ui/controls/DialogTemplate.h"
#include "ui/controls/SkinImage.h"
#include "ui/skin/CSkinLayout.h"

using namespace quibra;
using namespace quibra::test;

namespace {

std::filesystem::path ImageFolder() {
    return BinaryDir() / "bin/skin/default/image";
}

bool Save(const QPixmap& picture, const char* name) {
    return picture.save(QString::fromStdString((GalleryDir() / name).string()));
}

constexpr TemplateItem kConsoleItems[] = {
    {4000, ControlKind::Tree, 1, 24, 294, 86},
    {4017, ControlKind::ImageButton, 59, 4, 23, 12},
    {4019, ControlKind::ImageButton, 91, 4, 23, 12},
    {4018, ControlKind::ImageButton, 123, 4, 23, 12},
    {4016, ControlKind::ImageButton, 155, 4, 23, 12},
    {4003, ControlKind::ImageButton, 186, 4, 23, 12},
    {4004, ControlKind::ImageButton, 218, 4, 23, 12},
    {4015, ControlKind::Frame, 1, 112, 294, 120},
};

constexpr TemplateItem kVoteItems[] = {
    {4028, ControlKind::ReadOnlyText, 14, 8, 289, 18, "Which day suits the next review?"},
    {4046, ControlKind::Separator, 7, 28, 305, 1, nullptr, 0, false},
    {4027, ControlKind::Frame, 12, 34, 296, 10, nullptr, 0, false},
    {4018, ControlKind::ImageButton, 115, 197, 23, 12},
    {4019, ControlKind::ImageButton, 137, 197, 23, 12, nullptr, 0, false},
    {4020, ControlKind::ImageButton, 162, 197, 23, 12},
};

void SetUpButtons(CSkinDialog& dialog, std::initializer_list<std::pair<int, const wchar_t*>> list) {
    for (const auto& [id, entry] : list)
        if (auto* button = dialog.ItemAs<CImageButton>(id)) {
            EXPECT_TRUE(CSkinLayout::Current().SetUpButton(*button, entry, true));
        }
}

QPixmap Dialog(const DialogTemplateSpec& spec, const wchar_t* entry, const wchar_t* owner,
               const std::function<void(CSkinDialog&)>& fill) {
    CSkinDialog dialog;
    DialogTemplate::Apply(dialog, spec);
    CSkinLayout::Current().ApplyDialogEntry(dialog, entry);
    CSkinLayout::Current().ApplyWindowControls(dialog, owner);
    fill(dialog);
    ShowAndExpose(dialog);
    return dialog.grab();
}

}  // namespace

TEST(Gallery, WritesEveryControlInEachStateAndTheThreeDialogs) {
    LoadShippedMessages();
    const char* const strips[] = {"new_btn",     "edit_btn",    "start_btn", "stop_btn",
                                  "publish_btn", "delete_btn",  "ok_btn",    "cancel_btn",
                                  "submit_btn",  "decline_btn", "close_btn"};
    // Buttons: a row per strip, columns normal, hot, pressed, disabled, checked.
    QPixmap sheet(5 * 72, 11 * 40);
    sheet.fill(QColor(0xEE, 0xF3, 0xF8));
    for (int row = 0; row < 11; ++row) {
        const QPixmap strip =
            SkinImage::Load((ImageFolder() / (std::string(strips[row]) + ".png")).wstring());
        ASSERT_FALSE(strip.isNull()) << strips[row];
        QWidget window;
        window.resize(200, 60);
        CImageButton button(&window, CImageButton::Type::CheckBox);
        button.SetStrip(strip);
        button.setGeometry(60, 10, strip.width() / 4, strip.height());
        ShowAndExpose(window);
        QPainter painter(&sheet);
        const QPoint centre = button.rect().center();
        for (int column = 0; column < 5; ++column) {
            if (column == 1) QTest::mouseMove(&button, centre);
            if (column == 2) QTest::mousePress(&button, Qt::LeftButton, {}, centre);
            if (column == 3) {
                QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(150, 50));
                button.setEnabled(false);
            }
            if (column == 4) {
                button.setEnabled(true);
                button.setChecked(true);
            }
            painter.drawPixmap(column * 72 + 4, row * 40 + 4, button.grab());
        }
        QTest::mouseMove(&window, QPoint(5, 5));  // the next row starts away from its button
    }
    ASSERT_TRUE(Save(sheet, "buttons.png"));

    // Radio buttons, check box, statics, read-only text and picture views.
    {
        CSkinDialog board;
        board.resize(460, 260);
        board.Background().SetPicture(
            SkinImage::Load((ImageFolder() / "background_editor.png").wstring()));
        const int y = 8;
        auto* r1 = new CColorRadioButton(&board);
        auto* r2 = new CColorRadioButton(&board);
        auto* c1 = new CColorRadioButton(&board, CColorRadioButton::Kind::CheckBox);
        auto* c2 = new CColorRadioButton(&board, CColorRadioButton::Kind::CheckBox);
        int x = 8;
        for (CColorRadioButton* b : {r1, r2, c1, c2}) {
            b->SetBackgroundColour(0x00EEF3F5);
            b->setGeometry(x, y, 18, 20);
            x += 30;
        }
        r2->setChecked(true);
        c2->setChecked(true);
        const std::pair<unsigned, const char*> statics[] = {
            {CTransparentStatic::Left,
             "Left aligned text that wraps at word boundaries in two lines"},
            {CTransparentStatic::Center | CTransparentStatic::CenterImage, "Centred 居中"},
            {CTransparentStatic::Right, "Right"},
            {CTransparentStatic::EndEllipsis, "An end ellipsis cuts this long line of text"},
            {CTransparentStatic::PathEllipsis, "/home/user/Documents/polls/export/report.html"},
        };
        int sy = 36;
        for (const auto& [style, text] : statics) {
            auto* label = new CTransparentStatic(&board, style);
            label->setText(QString::fromUtf8(text));
            label->setGeometry(8, sy, 200, 34);
            sy += 38;
        }
        auto* question = new CReadOnlyText(&board);
        question->SetText(QStringLiteral("Which day suits the next review?\n下一次评审哪天合适？"));
        question->setGeometry(220, 8, 230, 44);
        const char* modes[] = {"natural", "stretched", "tiled"};
        for (int i = 0; i < 3; ++i) {
            auto* view = new CPictureView(&board);
            view->setGeometry(220 + i * 78, 60, 72, 60);
            view->ShowFile(QString::fromStdString((ImageFolder() / "title_vote.jpg").string()),
                           "jpg", false, i == 2, i == 1);
            (void)modes;
        }
        auto* page = new CPictureView(&board);
        page->setGeometry(220, 130, 230, 60);
        const TempDir dir;
        WriteFileBytes(dir / "page.html", "<h3>Results</h3><p>A: 3 people</p>");
        page->ShowFile(QString::fromStdString((dir / "page.html").string()), "html");
        auto* empty = new CPictureView(&board);
        empty->setGeometry(220, 200, 230, 50);
        empty->ShowFile("movie.swf", "swf");
        ShowAndExpose(board);
        ASSERT_TRUE(Save(board.grab(), "controls.png"));
    }

    // The popup menu: normal, checked, highlighted, greyed and separator items.
    {
        CSkinMenu menu;
        menu.SetStyle(3);
        menu.SetItemSize(200, 20);
        menu.AddItem(CSkinMenu::Normal, 10003,
                     QString::fromStdWString(CWenMsg::GetInstance().GetMsg(21060)));
        menu.AddItem(CSkinMenu::Normal, 10002,
                     QString::fromStdWString(CWenMsg::GetInstance().GetMsg(21057)));
        menu.AddItem(CSkinMenu::Separator, 0, {});
        menu.AddItem(CSkinMenu::Checked, 10004, "Publish Results\tCtrl+P");
        menu.AddItem(CSkinMenu::Grayed, 10001, "Export All Closed Polls...");
        menu.AddItem(CSkinMenu::Normal, 10000, QString(120, QChar('w')));
        menu.Menu()->popup(QPoint(40, 40));
        QTRY_VERIFY(menu.Menu()->isVisible());
        QTest::mouseMove(menu.Menu(), menu.Menu()->actionGeometry(menu.Item(10002)).center());
        QTRY_COMPARE(menu.Menu()->activeAction(), menu.Item(10002));
        ASSERT_TRUE(Save(menu.Menu()->grab(), "menu.png"));
    }

    // The three dialogs with the shipped skin.
    const TempDir home;
    const ScopedEnv xdg("XDG_CONFIG_HOME", home.Path().string());
    std::filesystem::create_directories(home / "wendrake");
    WriteFileBytes(home / "wendrake/wenconfig.xml",
                   "<Wendrake><WenConfig><SystemSetting><SkinName value=\"default\"/>"
                   "</SystemSetting></WenConfig></Wendrake>");
    AppConfig::Instance().CloseAll();
    ASSERT_TRUE(AppConfig::Instance().Load());
    ASSERT_TRUE(
        Save(Dialog({299, 237, kConsoleItems}, L"640*480_dlg", L"create_poll_dlg",
                    [](CSkinDialog& d) {
                        SetUpButtons(d, {{4017, L"create_poll_btn"},
                                         {4019, L"modify_poll_btn"},
                                         {4018, L"post_poll_btn"},
                                         {4016, L"over_poll_btn"},
                                         {4003, L"publish_poll_btn"},
                                         {4004, L"delete_poll_btn"}});
                        d.Item(4019)->setEnabled(false);
                        d.Item(4003)->setEnabled(false);
                        auto* tree = d.ItemAs<QTreeWidget>(4000);
                        tree->setHeaderHidden(true);
                        for (const char* title : {"Which day suits the next review?",
                                                  "Lunch: pizza or noodles?", "下周的会议时间"})
                            tree->addTopLevelItem(new QTreeWidgetItem({QString::fromUtf8(title)}));
                    }),
             "dialog_console.png"));
    // The question editor itself, editing a poll, pictured from inside its modal loop.
    CPollQuestionDlg editor;
    PollRecord& poll = editor.Record();
    poll.pollId = L"1";
    poll.title = L"Which day suits the next review?";
    poll.singleChoice = false;
    poll.identified = true;
    poll.items = {
        {L"1", L"A", L"Yes", 0, {}}, {L"1", L"B", L"No", 0, {}}, {L"1", L"C", L"不确定", 0, {}}};
    QPixmap editorPicture;
    QTimer::singleShot(0, &editor, [&] {
        editorPicture = editor.grab();
        editor.reject();
    });
    editor.exec();
    ASSERT_TRUE(Save(editorPicture, "dialog_editor.png"));
    ASSERT_TRUE(Save(
        Dialog({318, 217, kVoteItems}, L"480*480_dlg", L"poll_dlg",
               [](CSkinDialog& d) {
                   SetUpButtons(d, {{4018, L"poll_dlg_ok_btn"}, {4020, L"poll_dlg_cancel_btn"}});
                   QRect row = d.Item(4027)->geometry();
                   row.setHeight(20);
                   const char* choices[] = {"A:Monday", "B:Wednesday", "C:星期五"};
                   for (const char* choice : choices) {
                       auto* radio = new QRadioButton(&d);
                       radio->setGeometry(row.left(), row.top(), 18, 20);
                       auto* text = new CReadOnlyText(&d);
                       text->setGeometry(row.left() + 22, row.top(), row.width() - 22, 40);
                       text->SetText(QString::fromUtf8(choice));
                       row.translate(0, 40);
                   }
               }),
        "dialog_vote.png"));
    AppConfig::Instance().CloseAll();
    std::printf("gallery: %s (dialog base units %dx%d)\n", GalleryDir().c_str(),
                quibra::DialogFont::BaseUnits().width(), quibra::DialogFont::BaseUnits().height());
}
