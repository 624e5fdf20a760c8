#pragma once

#include <gtest/gtest.h>

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/CoreFakes.h"
#include "core/PollManager.h"
#include "support/TestSupport.h"
#include "ui/console/CPollManagerDlg.h"

class QDialog;
class QMenu;
class QTreeWidgetItem;

namespace quibra::test {

// Runs `act` on the next popup menu or modal dialog once it is open: both run
// their own event loop, so the test acts from inside it.
void OnNextPopup(std::function<void(QMenu&)> act);
void OnNextModal(std::function<void(QDialog&)> act);
// Clicks the menu item of `command` as a user would.
void ClickMenuItem(QMenu& menu, int command);
// Each item's command and whether it is enabled, in menu order.
using MenuState = std::vector<std::pair<int, bool>>;
MenuState MenuItems(const QMenu& menu);
// Clicks the button, or replaces the text of the edit, whose item id is `id`.
void Click(QWidget& window, int id);
void Type(QWidget& window, int id, const QString& text);
// A settings folder whose configuration picks the shipped skin and plain HTTP.
void WriteUserConfig(const std::filesystem::path& configHome);

// The host's main window: records the closing notices it receives.
class RecordingHostWindow : public QWidget {
public:
    bool event(QEvent* event) override;
    std::vector<std::pair<long long, long long>> notices;  // wParam, lParam
};

// A presenter's plug-in with the shipped skin and English texts: a manager
// that made its console through the window factory on init, a recording worker
// in place of the transport, a host window, and message boxes recorded.
class ConsoleFixture : public ::testing::Test {
protected:
    ConsoleFixture();
    ~ConsoleFixture() override;

    // Applies a poll list reply of these records (inner XML of "Records").
    void ApplyList(const std::string& records);
    QTreeWidgetItem* Item(int row) const;
    void ClickItem(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Enabled flags of the modify, publish, delete, post and stop buttons.
    std::string ButtonStates() const;
    // The paths the worker was handed since call `from`, each with its XML.
    std::vector<std::string> SentSince(std::size_t from) const;

    TempDir work;
    ScopedEnv config;
    std::unique_ptr<RecordingHostWindow> host = std::make_unique<RecordingHostWindow>();
    RecordingWorker worker;
    std::unique_ptr<PollManager> manager;
    CPollManagerDlg* console = nullptr;
    std::vector<std::wstring> boxes;  // texts of the message boxes shown
};

// A record element of a poll list reply: single answer, identified, not published.
std::string PollXml(
    const std::string& id, const std::string& title, char status,
    const std::string& items = "<Item ItemName=\"A\" Content=\"Yes\" PostCount=\"0\"/>",
    int userCount = 0);

}  // namespace quibra::test
