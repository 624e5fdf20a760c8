#include "console/ConsoleFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "config/AppConfig.h"
#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "quibra/CWenDoc.h"
#include "quibra/WindowClosedNotice.h"
#include "ui/PollWindowFactory.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CSkinMenu.h"
#include "xml/WideString.h"

namespace quibra::test {

namespace {

// Polls the application for a widget `find` returns, then hands it to `act`
// once. A widget that never opens fails the test instead of waiting for the next one.
void WhenOpen(std::function<QWidget*()> find, std::function<void(QWidget&)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    QObject::connect(timer, &QTimer::timeout,
                     [timer, deadline, find = std::move(find), act = std::move(act)] {
                         QWidget* widget = find();
                         const bool open = widget != nullptr && widget->isVisible();
                         if (!open && std::chrono::steady_clock::now() < deadline) return;
                         timer->stop();
                         timer->deleteLater();
                         if (open)
                             act(*widget);
                         else
                             ADD_FAILURE() << "the expected menu or dialog never opened";
                     });
    timer->start();
}

}  // namespace

void OnNextPopup(std::function<void(QMenu&)> act) {
    WhenOpen([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
             [act = std::move(act)](QWidget& menu) { act(static_cast<QMenu&>(menu)); });
}

void OnNextModal(std::function<void(QDialog&)> act) {
    WhenOpen([] { return qobject_cast<QDialog*>(QApplication::activeModalWidget()); },
             [act = std::move(act)](QWidget& dialog) { act(static_cast<QDialog&>(dialog)); });
}

MenuState MenuItems(const QMenu& menu) {
    MenuState items;
    for (const QAction* action : menu.actions())
        items.emplace_back(CSkinMenu::CommandId(action), action->isEnabled());
    return items;
}

void ClickMenuItem(QMenu& menu, int command) {
    for (QAction* action : menu.actions()) {
        if (CSkinMenu::CommandId(action) != command) continue;
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
        return;
    }
    ADD_FAILURE() << "no menu item " << command;
    menu.close();
}

void Click(QWidget& window, int id) {
    auto* button = window.findChild<QAbstractButton*>(QString::number(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

void Type(QWidget& window, int id, const QString& text) {
    auto* edit = window.findChild<QLineEdit*>(QString::number(id));
    ASSERT_NE(edit, nullptr) << id;
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void WriteUserConfig(const std::filesystem::path& configHome) {
    std::filesystem::create_directories(configHome / "wendrake");
    WriteFileBytes(configHome / "wendrake" / "wenconfig.xml",
                   "<Wendrake><WenConfig><SystemSetting><SkinName value=\"default\"/>"
                   "<UseSSL value=\"0\"/></SystemSetting></WenConfig></Wendrake>");
    AppConfig::Instance().CloseAll();
}

bool RecordingHostWindow::event(QEvent* event) {
    if (event->type() == WindowClosedNotice::kType) {
        const auto* notice = static_cast<const WindowClosedNotice*>(event);
        notices.emplace_back(notice->wParam(), notice->lParam());
    }
    return QWidget::event(event);
}

std::string PollXml(const std::string& id, const std::string& title, char status,
                    const std::string& items, int userCount) {
    return "<Record PollingId=\"" + id + "\" Type=\"S\" IsSign=\"1\" Title=\"" + title +
           "\" IsPublish=\"0\" Status=\"" + std::string(1, status) + "\" UserCount=\"" +
           std::to_string(userCount) + "\"><Items>" + items + "</Items></Record>";
}

ConsoleFixture::ConsoleFixture() : config("XDG_CONFIG_HOME", (work / "config").string()) {
    WriteUserConfig(work / "config");
    SetMessageBoxHookForTesting([this](const std::wstring& text, int) {
        boxes.push_back(text);
        return 1;
    });
    manager = std::make_unique<PollManager>(std::make_shared<PollWindowFactory>());
    // The manager loads the user's language; the tests read English.
    CWenMsg::GetInstance().Load((BinaryDir() / "bin" / "Lang" / "0409.xml").wstring());
    manager->SetWorker(&worker);
    CWenDoc doc;
    CWenNode init =
        doc.LoadXml("<init><mainhwnd>" + std::to_string(reinterpret_cast<quintptr>(host.get())) +
                    "</mainhwnd><skincfg dlg_background_color=\"16777215\">"
                    "<item id=\"poll_new_btn\" tip_msg_id=\"21060\"/></skincfg></init>");
    EXPECT_EQ(manager->Notify(L"/polling/in/init", &init), 0);
    console = dynamic_cast<CPollManagerDlg*>(manager->ManagerWindow());
    if (console == nullptr) throw std::runtime_error("the factory made no console");
    worker.calls.clear();
    console->Show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(console));
}

ConsoleFixture::~ConsoleFixture() {
    manager.reset();
    SetMessageBoxHookForTesting({});
}

void ConsoleFixture::ApplyList(const std::string& records) {
    CWenDoc doc;
    CWenNode node = doc.LoadXml("<Wendrake><Records>" + records + "</Records></Wendrake>");
    manager->Notify(L"/polling/in/updating", &node);
}

QTreeWidgetItem* ConsoleFixture::Item(int row) const {
    return console->Tree()->topLevelItem(row);
}

void ConsoleFixture::ClickItem(int row, Qt::KeyboardModifiers modifiers) {
    QTreeWidget* tree = console->Tree();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, modifiers,
                      tree->visualItemRect(Item(row)).center());
}

std::string ConsoleFixture::ButtonStates() const {
    std::string states;
    for (int id : {CPollManagerDlg::kModifyButtonId, CPollManagerDlg::kPublishButtonId,
                   CPollManagerDlg::kDeleteButtonId, CPollManagerDlg::kPostButtonId,
                   CPollManagerDlg::kOverButtonId})
        states += console->Button(id)->isEnabled() ? '1' : '0';
    return states;
}

std::vector<std::string> ConsoleFixture::SentSince(std::size_t from) const {
    std::vector<std::string> sent;
    for (std::size_t i = from; i < worker.calls.size(); ++i)
        sent.push_back(ToUtf8(worker.calls[i].path) + " " + worker.calls[i].xml);
    return sent;
}

}  // namespace quibra::test
