#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTest>
#include <QTreeWidget>

#include "WenMessageBox.h"
#include "console/ConsoleFixture.h"
#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "quibra/CWenDoc.h"
#include "ui/console/CPollQuestionDlg.h"

using namespace quibra;
using namespace quibra::test;

namespace {

using Dlg = CPollManagerDlg;

std::filesystem::path ShotPath(const std::string& name) {
    const std::filesystem::path folder = BinaryDir() / "screenshots" / "console";
    std::filesystem::create_directories(folder);
    return folder / name;
}

void Save(const QPixmap& shot, const std::string& name) {
    EXPECT_TRUE(shot.save(QString::fromStdString(ShotPath(name).string()))) << name;
}

void Save(QWidget& widget, const std::string& name) {
    QCoreApplication::processEvents();
    Save(widget.grab(), name);
}

// A morning's polls, with English or Simplified Chinese texts.
std::string MorningList(bool zh) {
    const auto t = [zh](const char* en, const char* cn) { return std::string(zh ? cn : en); };
    const std::string items = "<Item ItemName=\"A\" Content=\"" + t("Thursday", "星期四") +
                              "\" PostCount=\"2\"><User UserName=\"Ann\"/><User UserName=\"Bo\"/>"
                              "</Item><Item ItemName=\"B\" Content=\"" +
                              t("Friday", "星期五") + "\" PostCount=\"0\"/>";
    return PollXml("41", t("Which day suits the team offsite best?", "团队外出活动哪天最合适？"),
                   'C', items, 2) +
           PollXml("42", t("Coffee or tea in the afternoon break?", "下午茶歇喝咖啡还是喝茶？"),
                   'O') +
           PollXml("43",
                   t("Shall the quarterly review move to the larger meeting room on the third "
                     "floor from next month onwards?",
                     "从下个月开始，季度评审是否改在三楼的大会议室举行？"),
                   'N') +
           PollXml("44", t("Lunch order", "午餐订购"), 'N');
}

}  // namespace

// The console and the editor as a presenter sees them, written as PNG files
// under the build folder for review.
TEST_F(ConsoleFixture, ScreenshotsOfTheConsoleAndTheEditor) {
    ApplyList("");
    Save(*console, "console-empty.png");
    ApplyList(MorningList(false));
    Save(*console, "console-filled-en.png");
    ClickItem(2);
    QTest::mouseMove(console->Tree()->viewport(),
                     console->Tree()->visualItemRect(Item(2)).center());
    Save(*console, "console-long-title-tip.png");
    OnNextModal([](QDialog& editor) {
        Save(editor, "editor-editing.png");
        editor.reject();
    });
    Click(*console, Dlg::kModifyButtonId);
    Click(*console, Dlg::kPostButtonId);
    Save(*console, "console-locked.png");

    // A validation failure: the box the user sees over the editor.
    SetMessageBoxHookForTesting([](const std::wstring& text, int) {
        QPixmap shot = QApplication::activeModalWidget()->grab();
        std::unique_ptr<QMessageBox> box(
            wenmessagebox::BuildMessageBox(QString::fromStdWString(text)));
        box->adjustSize();
        const QPixmap boxShot = box->grab();
        QPainter(&shot).drawPixmap((shot.width() - boxShot.width()) / 2,
                                   (shot.height() - boxShot.height()) / 2, boxShot);
        Save(shot, "editor-validation.png");
        return 1;
    });
    ApplyList(MorningList(false));
    OnNextPopup([](QMenu& menu) { ClickMenuItem(menu, Dlg::kNewPollCommand); });
    OnNextModal([](QDialog& editor) {
        Save(editor, "editor-new.png");
        Type(editor, CPollQuestionDlg::kTitleId, "Where shall we meet?");
        Click(editor, CPollQuestionDlg::kOkId);
        editor.reject();
    });
    Click(*console, Dlg::kCreateButtonId);

    // Simplified Chinese: a console made after the language was loaded.
    CWenMsg::GetInstance().Load((BinaryDir() / "bin" / "Lang" / "0804.xml").wstring());
    CWenDoc doc;
    CWenNode init = doc.LoadXml("<init/>");
    manager->Notify(L"/polling/in/init", &init);
    console = dynamic_cast<Dlg*>(manager->ManagerWindow());
    ASSERT_NE(console, nullptr);
    console->Show();
    ApplyList(MorningList(true));
    Save(*console, "console-filled-zh.png");
    CWenMsg::GetInstance().Load((BinaryDir() / "bin" / "Lang" / "0409.xml").wstring());
}
