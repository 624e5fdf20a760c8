#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include "console/ConsoleFixture.h"
#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"
#include "ui/console/CPollQuestionDlg.h"

using namespace quibra;
using namespace quibra::test;

namespace {

using Editor = CPollQuestionDlg;

std::wstring Msg(int id) {
    return CWenMsg::GetInstance().GetMsg(id);
}

template <typename T = QWidget>
T* Control(QDialog& dialog, int id) {
    T* control = dialog.findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

void Type(QDialog& dialog, int id, const QString& text) {
    auto* edit = Control<QLineEdit>(dialog, id);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void Click(QDialog& dialog, int id) {
    auto* button = Control<QAbstractButton>(dialog, id);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

}  // namespace

// A new poll: empty fields are refused in the order title, choices, repeated
// choice, with the editor left open; choices typed into B and F become A and B.
TEST_F(ConsoleFixture, TheEditorValidatesInOrderAndLettersTheChoicesAgain) {
    ApplyList("");
    std::vector<std::wstring> seen;
    bool stillOpen = true;
    OnNextPopup([](QMenu& menu) { ClickMenuItem(menu, CPollManagerDlg::kNewPollCommand); });
    OnNextModal([&](QDialog& editor) {
        EXPECT_EQ(editor.windowTitle().toStdWString(), Msg(msg::kEditorCaptionNew));
        EXPECT_TRUE(Control<QAbstractButton>(editor, Editor::kMultipleId)->isChecked());
        EXPECT_FALSE(Control<QAbstractButton>(editor, Editor::kSingleId)->isChecked());
        EXPECT_TRUE(Control<QAbstractButton>(editor, Editor::kIdentifyId)->isChecked());
        Click(editor, Editor::kOkId);
        Type(editor, Editor::kTitleId, "Where shall we meet?");
        Click(editor, Editor::kOkId);
        // Two empty choices and two equal ones: the repetition is what is reported.
        Type(editor, Editor::kChoiceIds[0], "Hall");
        Type(editor, Editor::kChoiceIds[3], "Hall");
        Click(editor, Editor::kOkId);
        seen = boxes;
        stillOpen = editor.isVisible();
        Type(editor, Editor::kChoiceIds[0], "");
        Type(editor, Editor::kChoiceIds[3], "");
        Type(editor, Editor::kChoiceIds[1], "Red room");
        Type(editor, Editor::kChoiceIds[5], "Blue room");
        Click(editor, Editor::kSingleId);
        Click(editor, Editor::kIdentifyId);
        Click(editor, Editor::kOkId);
    });
    ClickButton(CPollManagerDlg::kCreateButtonId);
    EXPECT_EQ(seen, (std::vector<std::wstring>{Msg(msg::kTitleMissing), Msg(msg::kChoicesMissing),
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
        "<Record PollingId=\"31\" Type=\"M\" IsSign=\"0\" Title=\"Snacks?\" Status=\"N\">"
        "<Items><Item ItemName=\"A\" Content=\"Nuts\"/><Item ItemName=\"B\" Content=\"Fruit\"/>"
        "</Items></Record>");
    const auto edit = [&](std::function<void(QDialog&)> act) {
        OnNextModal(std::move(act));
        ClickButton(CPollManagerDlg::kModifyButtonId);
    };
    edit([&](QDialog& editor) {
        EXPECT_EQ(editor.windowTitle().toStdWString(), Msg(msg::kEditorCaptionEdit));
        EXPECT_TRUE(Control<QAbstractButton>(editor, Editor::kMultipleId)->isChecked());
        EXPECT_FALSE(Control<QAbstractButton>(editor, Editor::kSingleId)->isChecked());
        EXPECT_FALSE(Control<QAbstractButton>(editor, Editor::kIdentifyId)->isChecked());
        EXPECT_EQ(Control<QLineEdit>(editor, Editor::kTitleId)->text(), "Snacks?");
        EXPECT_EQ(Control<QLineEdit>(editor, Editor::kChoiceIds[1])->text(), "Fruit");
        EXPECT_EQ(Control<QLineEdit>(editor, Editor::kChoiceIds[2])->text(), "");
        Click(editor, Editor::kCancelId);
    });
    EXPECT_TRUE(worker.calls.empty());
    EXPECT_TRUE(console->ButtonsEnabled());
    EXPECT_TRUE(IsEnabled(CPollManagerDlg::kModifyButtonId));

    edit([&](QDialog& editor) {
        Type(editor, Editor::kTitleId, QString(300, QLatin1Char('t')));
        EXPECT_EQ(Control<QLineEdit>(editor, Editor::kTitleId)->text().size(), 255);
        Type(editor, Editor::kChoiceIds[6], QString(300, 'g'));
        EXPECT_EQ(Control<QLineEdit>(editor, Editor::kChoiceIds[6])->text().size(), 255);
        Type(editor, Editor::kChoiceIds[6], "");
        Type(editor, Editor::kTitleId, "Snacks today?");
        Click(editor, Editor::kOkId);
    });
    EXPECT_EQ(SentSince(0), std::vector<std::string>{
                                "/polling/out/updatecontant Quibrant[UpdateContant]{Polling{"
                                "pollid=31;title=Snacks today?;type=M;issign=0;itemcount=2;"
                                "content_0=Nuts;itemname_0=A;content_1=Fruit;itemname_1=B;};}"});
}
