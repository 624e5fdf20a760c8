#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/CoreFakes.h"
#include "core/PollManager.h"
#include "support/TestSupport.h"
#include "ui/voting/CPollVoteDlg.h"

namespace quibra::test {

// Plays the host's main window: records each closing notice with whether the
// dialog that sent it was still shown while the notice was handled.
class NoticeSink : public QWidget {
public:
    struct Notice {
        long long wParam;
        long long lParam;
        bool senderVisible;
    };
    bool event(QEvent* event) override;

    std::vector<Notice> notices;
    QPointer<QWidget> watched;
    std::function<void()> onNotice;  // a host may answer the notice with a message of its own
};

// An attendee's plug-in side: a manager with the real window factory, a
// recording worker, the default skin and recorded message boxes.
class VotingFixture : public ::testing::Test {
protected:
    VotingFixture();
    ~VotingFixture() override;

    int32_t Send(const wchar_t* path, const std::string& xml);
    // Sends the poll info (or, with `result`, the poll result) reply and
    // returns the dialog it opened.
    CPollVoteDlg* Open(const std::string& records, bool result = false);
    // The widget of the dialog named after item id `id`.
    template <typename T = QWidget>
    T* Item(CPollVoteDlg* dialog, int id) const {
        return dialog->findChild<T*>(QString::number(id));
    }
    std::vector<std::wstring> WorkerPaths() const;
    // Switches the process-wide message table to language file `file`.
    static void UseLanguage(const char* file);

    TempDir work;
    ScopedEnv env;
    RecordingWorker worker;
    NoticeSink host;
    std::unique_ptr<PollManager> manager;
    std::vector<std::wstring> boxes;
};

// An XDG_CONFIG_HOME of `work` whose configuration names the shipped default
// skin (and plain HTTP), loaded; and that skin's folder.
void UseDefaultSkin(const TempDir& work);
std::string SkinFolder();

// The text a row, the summary or the question shows.
QString TextOf(const QWidget* widget);

// A poll record element of a poll info or result reply.
std::string RecordXml(const std::string& id, bool single, const std::string& title,
                      const std::vector<std::string>& contents, const std::vector<int>& counts = {},
                      int voters = -1);

}  // namespace quibra::test
