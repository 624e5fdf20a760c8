// Writes pictures of every skinned control in each state and of the three
// windows (console, question editor, voting dialog) with the shipped skin, for
// a reviewer to look at: gallery [FOLDER], by default <build>/gallery.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>

#include "config/AppConfig.h"
#include "core/PollManager.h"
#include "i18n/CWenMsg.h"
#include "quibra/CWenDoc.h"
#include "ui/PollWindowFactory.h"
#include "ui/console/CPollQuestionDlg.h"
#include "ui/controls/CColorRadioButton.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CPictureView.h"
#include "ui/controls/CReadOnlyText.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/controls/CSkinMenu.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/DialogFont.h"
#include "ui/controls/SkinImage.h"

using namespace quibra;

namespace {

QString g_out;
QString g_images;  // the shipped skin's pictures
int g_failures = 0;

void Save(const QPixmap& picture, const char* name) {
    const QString path = g_out + "/" + name;
    if (picture.isNull() || !picture.save(path)) {
        std::fprintf(stderr, "gallery: could not write %s\n", qPrintable(path));
        ++g_failures;
    }
}

// Shows a top-level widget, waits until it is painted and pictures it.
QPixmap Shown(QWidget& window) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) ++g_failures;
    return window.grab();
}

void Send(PollManager& manager, const wchar_t* path, const std::string& xml) {
    CWenDoc doc;
    CWenNode node = doc.LoadXml(xml);
    manager.Notify(path, &node);
}

// Buttons: a row per strip; columns normal, hot, pressed, disabled, checked.
void ButtonSheet() {
    const char* const strips[] = {"new_btn",     "edit_btn",    "start_btn", "stop_btn",
                                  "publish_btn", "delete_btn",  "ok_btn",    "cancel_btn",
                                  "submit_btn",  "decline_btn", "close_btn"};
    QPixmap sheet(5 * 72, std::size(strips) * 40);
    sheet.fill(QColor(0xEE, 0xF3, 0xF8));
    QPainter painter(&sheet);
    int y = 4;
    for (const char* name : strips) {
        const QPixmap strip = SkinImage::Load((g_images + "/" + name + ".png").toStdWString());
        if (strip.isNull()) ++g_failures;
        QWidget window;
        window.resize(200, 60);
        CImageButton button(&window, CImageButton::Type::CheckBox);
        button.SetStrip(strip);
        button.setGeometry(60, 10, strip.width() / 4, strip.height());
        Shown(window);
        const QPoint centre = button.rect().center();
        const std::function<void()> states[] = {
            [] {}, [&] { QTest::mouseMove(&button, centre); },
            [&] { QTest::mousePress(&button, Qt::LeftButton, {}, centre); },
            [&] {
                QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(150, 50));
                button.setEnabled(false);
            },
            [&] {
                button.setEnabled(true);
                button.setChecked(true);
            }};
        for (int column = 0; column < 5; ++column) {
            states[column]();
            painter.drawPixmap(column * 72 + 4, y, button.grab());
        }
        QTest::mouseMove(&window, QPoint(5, 5));  // the next row starts away from its button
        y += 40;
    }
    Save(sheet, "buttons.png");
}

// Colour radios and check boxes, the static's styles, read-only text and the
// picture view's modes, on the editor's background.
void ControlBoard() {
    CSkinDialog board;
    board.resize(460, 260);
    board.Background().SetPicture(
        SkinImage::Load((g_images + "/background_editor.png").toStdWString()));
    for (int i = 0; i < 4; ++i) {
        auto* button = new CColorRadioButton(
            &board, i < 2 ? CColorRadioButton::Kind::Radio : CColorRadioButton::Kind::CheckBox);
        button->SetBackgroundColour(0x00EEF3F5);
        button->setGeometry(8 + 30 * i, 8, 18, 20);
        button->setChecked(i % 2 == 1);
    }
    const std::pair<unsigned, const char*> statics[] = {
        {CTransparentStatic::Left, "Left aligned text that wraps at word boundaries in two lines"},
        {CTransparentStatic::Center | CTransparentStatic::CenterImage, "Centred 居中"},
        {CTransparentStatic::Right, "Right"},
        {CTransparentStatic::EndEllipsis, "An end ellipsis cuts this long line of text"},
        {CTransparentStatic::PathEllipsis, "/home/user/Documents/polls/export/report.html"},
    };
    int y = 36;
    for (const auto& [style, text] : statics) {
        auto* label = new CTransparentStatic(&board, style);
        label->setText(QString::fromUtf8(text));
        label->setGeometry(8, y, 200, 34);
        y += 38;
    }
    auto* question = new CReadOnlyText(&board);
    question->SetText(QStringLiteral("Which day suits the next review?\n下一次评审哪天合适？"));
    question->setGeometry(220, 8, 230, 44);
    for (int i = 0; i < 3; ++i) {  // natural, stretched, tiled
        auto* view = new CPictureView(&board);
        view->setGeometry(220 + i * 78, 60, 72, 60);
        view->ShowFile(g_images + "/title_vote.jpg", "jpg", false, i == 2, i == 1);
    }
    const QTemporaryDir pages;
    QFile page(pages.filePath("page.html"));
    if (!page.open(QIODevice::WriteOnly) || page.write("<h3>Results</h3><p>A: 3 people</p>") < 0)
        ++g_failures;
    page.close();
    auto* html = new CPictureView(&board);
    html->setGeometry(220, 130, 230, 60);
    html->ShowFile(page.fileName(), "html");
    auto* empty = new CPictureView(&board);
    empty->setGeometry(220, 200, 230, 50);
    empty->ShowFile("movie.swf", "swf");
    Save(Shown(board), "controls.png");
}

// The popup menu: normal, checked, highlighted, greyed, cut and separator items.
void Menu() {
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
    if (!QTest::qWaitForWindowExposed(menu.Menu())) ++g_failures;
    QTest::mouseMove(menu.Menu(), menu.Menu()->actionGeometry(menu.Item(10002)).center());
    if (!QTest::qWaitFor([&] { return menu.Menu()->activeAction() == menu.Item(10002); }))
        ++g_failures;
    Save(menu.Menu()->grab(), "menu.png");
}

// The three windows as the plug-in makes them, filled through its messages.
void Windows() {
    PollManager manager(std::make_shared<PollWindowFactory>());
    Send(manager, L"/polling/in/init", "<init/>");
    auto* console = dynamic_cast<QWidget*>(manager.ManagerWindow());
    if (console == nullptr) {
        ++g_failures;
        return;
    }
    manager.ManagerWindow()->Show();
    const auto record = [](const char* id, const char* title, const char* type, char status,
                           const char* items) {
        return std::string("<Record PollingId=\"") + id + "\" Type=\"" + type +
               "\" IsSign=\"1\" IsPublish=\"0\" Status=\"" + status +
               "\" UserCount=\"2\" Title=\"" + title + "\"><Items>" + items + "</Items></Record>";
    };
    const char* days =
        "<Item ItemName=\"A\" Content=\"Monday\" PostCount=\"2\"><User UserName=\"Ann\"/>"
        "<User UserName=\"Bo\"/></Item><Item ItemName=\"B\" Content=\"Wednesday\" PostCount=\"0\"/>"
        "<Item ItemName=\"C\" Content=\"星期五\" PostCount=\"0\"/>";
    Send(manager, L"/polling/in/updating",
         "<Wendrake><Records>" + record("1", "Which day suits the next review?", "S", 'N', days) +
             record("2", "Lunch: pizza or noodles?", "M", 'O', days) +
             record("3", "下周的会议时间", "S", 'C', days) + "</Records></Wendrake>");
    Save(Shown(*console), "dialog_console.png");

    // The question editor, editing a poll, pictured from inside its modal loop.
    CPollQuestionDlg editor;
    editor.Record().pollId = L"1";
    editor.Record().title = L"Which day suits the next review?";
    editor.Record().singleChoice = false;
    editor.Record().identified = true;
    editor.Record().items = {
        {L"1", L"A", L"Yes", 0, {}}, {L"1", L"B", L"No", 0, {}}, {L"1", L"C", L"不确定", 0, {}}};
    QTimer::singleShot(0, &editor, [&] {
        Save(editor.grab(), "dialog_editor.png");
        editor.reject();
    });
    editor.exec();

    // The voting dialog of an open poll, then the result of a closed one, with its bars.
    const auto pictureVoteWindow = [&](const wchar_t* path, const std::string& poll, bool result,
                                       const char* name) {
        Send(manager, path, "<Wendrake><Records>" + poll + "</Records></Wendrake>");
        const auto& windows = result ? manager.ResultWindows() : manager.AnswerWindows();
        auto* window = windows.empty() ? nullptr : dynamic_cast<QWidget*>(windows.back().get());
        if (window == nullptr)
            ++g_failures;
        else
            Save(Shown(*window), name);
    };
    pictureVoteWindow(L"/polling/in/clientgetpollinfo",
                      record("1", "Which day suits the next review?", "S", 'O', days), false,
                      "dialog_vote.png");
    pictureVoteWindow(L"/polling/in/clientshowpollresult",
                      record("3", "下周的会议时间", "S", 'C', days), true, "dialog_result.png");
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : bin + "/../gallery";
    g_images = bin + "/skin/default/image";
    if (!QDir().mkpath(g_out)) {
        std::fprintf(stderr, "gallery: cannot make %s\n", qPrintable(g_out));
        return 1;
    }
    // A settings folder of its own whose configuration picks the shipped skin.
    const QTemporaryDir home;
    QDir(home.path()).mkpath("wendrake");
    QFile config(home.filePath("wendrake/wenconfig.xml"));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write("<Wendrake><WenConfig><SystemSetting><SkinName value=\"default\"/>"
                     "</SystemSetting></WenConfig></Wendrake>") < 0)
        return 1;
    config.close();
    setenv("XDG_CONFIG_HOME", home.path().toLocal8Bit().constData(), 1);
    AppConfig::Instance().CloseAll();
    if (!AppConfig::Instance().Load() ||
        !CWenMsg::GetInstance().Load((bin + "/Lang/0409.xml").toStdWString())) {
        std::fprintf(stderr, "gallery: the shipped skin or texts do not load from %s\n",
                     qPrintable(bin));
        return 1;
    }

    ButtonSheet();
    ControlBoard();
    Menu();
    Windows();
    AppConfig::Instance().CloseAll();
    std::printf("gallery: %s (dialog base units %dx%d)%s\n",
                qPrintable(QDir(g_out).canonicalPath()), DialogFont::BaseUnits().width(),
                DialogFont::BaseUnits().height(), g_failures > 0 ? ", with failures" : "");
    return g_failures > 0 ? 1 : 0;
}
