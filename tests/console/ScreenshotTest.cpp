#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
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
using Editor = CPollQuestionDlg;

std::filesystem::path ShotFolder() {
    const std::filesystem::path folder = BinaryDir() / "screenshots" / "console";
    std::filesystem::create_directories(folder);
    return folder;
}

void Save(QWidget& widget, const std::string& name) {
    QCoreApplication::processEvents();
    const QString path = QString::fromStdString((ShotFolder() / name).string());
    EXPECT_TRUE(widget.grab().save(path)) << path.toStdString();
}

std::string Voters(int from, int count) {
    std::string xml;
    for (int i = 0; i < count; ++i)
        xml += "<User UserName=\"Voter " + std::to_string(from + i) + "\"/>";
    return xml;
}

// A list a presenter has after a morning of polls, in the given language's titles.
std::string MorningList(bool chinese) {
    const auto t = [chinese](const char* en, const char* zh) { return chinese ? zh : en; };
    return PollXml(
               "41", t("Which day suits the team offsite best?", "团队外出活动哪天最合适？"), 'C',
               std::string("<Item ItemName=\"A\" Content=\"") + t("Thursday", "星期四") +
                   "\" PostCount=\"3\">" + Voters(1, 3) + "</Item><Item ItemName=\"B\" Content=\"" +
                   t("Friday", "星期五") + "\" PostCount=\"5\">" + Voters(4, 5) +
                   "</Item><Item ItemName=\"C\" Content=\"" + t("Next Monday", "下周一") +
                   "\" PostCount=\"0\"/>",
               8) +
           PollXml("42", t("Coffee or tea in the afternoon break?", "下午茶歇喝咖啡还是喝茶？"),
                   'O') +
           PollXml(
               "43",
               t("Shall the quarterly review move to the larger meeting room on the third floor "
                 "from next month onwards?",
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
    ClickItem(0);
    Save(*console, "console-filled-en.png");
    ClickItem(2);
    QTest::mouseMove(console->Tree()->viewport(),
                     console->Tree()->visualItemRect(Item(2)).center());
    Save(*console, "console-long-title-tip.png");

    OnNextModal([](QDialog& editor) {
        Save(editor, "editor-editing.png");
        QTest::keyClick(&editor, Qt::Key_Escape);
    });
    ClickButton(Dlg::kModifyButtonId);

    ClickButton(Dlg::kPostButtonId);
    Save(*console, "console-locked.png");

    // A validation failure: the editor with the box the user sees over it.
    SetMessageBoxHookForTesting([](const std::wstring& text, int) {
        QDialog* editor = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        std::unique_ptr<QMessageBox> box(
            wenmessagebox::BuildMessageBox(QString::fromStdWString(text)));
        box->adjustSize();
        QPixmap shot = editor->grab();
        QPainter painter(&shot);
        const QPixmap boxShot = box->grab();
        painter.drawPixmap((shot.width() - boxShot.width()) / 2,
                           (shot.height() - boxShot.height()) / 2, boxShot);
        painter.end();
        shot.save(QString::fromStdString((ShotFolder() / "editor-validation.png").string()));
        return 1;
    });
    ApplyList(MorningList(false));
    OnNextPopup([](QMenu& menu) { ClickMenuItem(menu, Dlg::kNewPollCommand); });
    OnNextModal([](QDialog& editor) {
        Save(editor, "editor-new.png");
        QTest::keyClicks(editor.findChild<QLineEdit*>(QString::number(Editor::kTitleId)),
                         "Where shall we meet?");
        auto* ok = editor.findChild<QAbstractButton*>(QString::number(Editor::kOkId));
        QTest::mouseClick(ok, Qt::LeftButton, {}, ok->rect().center());
        QTest::keyClick(&editor, Qt::Key_Escape);
    });
    ClickButton(Dlg::kCreateButtonId);

    // Simplified Chinese: a console made after the language was loaded.
    CWenMsg::GetInstance().Load((BinaryDir() / "bin" / "Lang" / "0804.xml").wstring());
    CWenDoc doc;
    CWenNode init = doc.LoadXml("<init/>");
    manager->Notify(L"/polling/in/init", &init);
    console = dynamic_cast<Dlg*>(manager->ManagerWindow());
    ASSERT_NE(console, nullptr);
    console->Show();
    ApplyList(MorningList(true));
    ClickItem(0);
    Save(*console, "console-filled-zh.png");
    CWenMsg::GetInstance().Load((BinaryDir() / "bin" / "Lang" / "0409.xml").wstring());
}
