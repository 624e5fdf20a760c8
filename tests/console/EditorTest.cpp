#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>

#include "console/ConsoleFixture.h"
#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"
#include "ui/console/CPollQuestionDlg.h"
#include "ui/controls/CImageButton.h"

using namespace quibra;
using namespace quibra::test;

namespace {

using Editor = CPollQuestionDlg;

std::wstring Msg(int id) {
    return CWenMsg::GetInstance().GetMsg(id);
}

// The radio pair and the identify box as "single multiple identify" flags.
std::string Choices(QDialog& editor) {
    std::string flags;
    for (int id : {Editor::kSingleId, Editor::kMultipleId, Editor::kIdentifyId})
        flags += editor.findChild<QAbstractButton*>(QString::number(id))->isChecked() ? '1' : '0';
    return flags;
}

QString Text(QDialog& editor, int id) {
    return editor.findChild<QLineEdit*>(QString::number(id))->text();
}

}  // namespace

// A new poll: the title, then the choices, then a repeated choice are refused,
// the editor staying open; choices typed into B and F become A and B.
TEST_F(ConsoleFixture, TheEditorValidatesInOrderAndLettersTheChoicesAgain) {
    ApplyList("");
    std::vector<std::wstring> refusals;
    bool stillOpen = false;
    OnNextPopup([](QMenu& menu) { ClickMenuItem(menu, CPollManagerDlg::kNewPollCommand); });
    OnNextModal([&](QDialog& editor) {
        EXPECT_EQ(editor.windowTitle().toStdWString(), Msg(msg::kEditorCaptionNew));
        EXPECT_EQ(Choices(editor), "011");
        Click(editor, Editor::kOkId);
        Type(editor, Editor::kTitleId, "Where shall we meet?");
        Click(editor, Editor::kOkId);
        Type(editor, Editor::kChoiceIds[0], "Hall");  // two empty choices between
        Type(editor, Editor::kChoiceIds[3], "Hall");
        Click(editor, Editor::kOkId);
        refusals = boxes;
        stillOpen = editor.isVisible();
        Type(editor, Editor::kChoiceIds[0], "");
        Type(editor, Editor::kChoiceIds[3], "");
        Type(editor, Editor::kChoiceIds[1], "Red room");
        Type(editor, Editor::kChoiceIds[5], "Blue room");
        Click(editor, Editor::kSingleId);
        Click(editor, Editor::kIdentifyId);
        Click(editor, Editor::kOkId);
    });
    Click(*console, CPollManagerDlg::kCreateButtonId);
    EXPECT_EQ(refusals,
              (std::vector<std::wstring>{Msg(msg::kTitleMissing), Msg(msg::kChoicesMissing),
                                         Msg(msg::kChoiceRepeated)}));
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(SentSince(0), std::vector<std::string>{
                                "/polling/out/creaenewpolling Quibrant[CreatePolling]{Polling{"
                                "title=Where shall we meet?;type=S;issign=0;itemcount=2;"
                                "content_0=Red room;itemname_0=A;content_1=Blue room;"
                                "itemname_1=B;};}"});
    EXPECT_FALSE(console->ButtonsEnabled());
}

// Editing a multiple-answer poll opens on its values; texts stop at 255
// characters; Cancel sends nothing and leaves the buttons alone.
TEST_F(ConsoleFixture, EditingOpensOnThePollAndCancelSendsNothing) {
    ApplyList(
        "<Record PollingId=\"31\" Type=\"M\" IsSign=\"0\" Title=\"Snacks?\" Status=\"N\"><Items>"
        "<Item ItemName=\"A\" Content=\"Nuts\"/><Item ItemName=\"B\" Content=\"Fruit\"/>"
        "</Items></Record>");
    OnNextModal([&](QDialog& editor) {
        EXPECT_EQ(editor.windowTitle().toStdWString(), Msg(msg::kEditorCaptionEdit));
        EXPECT_EQ(Choices(editor), "010");
        EXPECT_EQ(Text(editor, Editor::kTitleId), "Snacks?");
        EXPECT_EQ(Text(editor, Editor::kChoiceIds[1]), "Fruit");
        EXPECT_EQ(Text(editor, Editor::kChoiceIds[2]), "");
        Click(editor, Editor::kCancelId);
    });
    Click(*console, CPollManagerDlg::kModifyButtonId);
    EXPECT_TRUE(worker.calls.empty());
    EXPECT_TRUE(console->Button(CPollManagerDlg::kModifyButtonId)->isEnabled());

    OnNextModal([&](QDialog& editor) {
        Type(editor, Editor::kTitleId, QString(300, 't'));
        Type(editor, Editor::kChoiceIds[6], QString(300, 'g'));
        EXPECT_EQ(Text(editor, Editor::kTitleId).size(), 255);
        EXPECT_EQ(Text(editor, Editor::kChoiceIds[6]).size(), 255);
        Type(editor, Editor::kChoiceIds[6], "");
        Type(editor, Editor::kTitleId, "Snacks today?");
        Click(editor, Editor::kOkId);
    });
    Click(*console, CPollManagerDlg::kModifyButtonId);
    EXPECT_EQ(SentSince(0), std::vector<std::string>{
                                "/polling/out/updatecontant Quibrant[UpdateContant]{Polling{"
                                "pollid=31;title=Snacks today?;type=M;issign=0;itemcount=2;"
                                "content_0=Nuts;itemname_0=A;content_1=Fruit;itemname_1=B;};}"});
}
