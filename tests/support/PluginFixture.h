#pragma once

// The plug-in's windows under test: a manager with the real window factory, a
// recording worker in place of the transport, the shipped default skin and
// English texts, a host window and recorded message boxes. Header only: it
// needs the plug-in, which the support library does not link.
#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "config/AppConfig.h"
#include "core/CoreFakes.h"
#include "core/PollManager.h"
#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "quibra/CWenDoc.h"
#include "quibra/WindowClosedNotice.h"
#include "support/TestSupport.h"
#include "ui/PollWindowFactory.h"
#include "xml/WideString.h"

namespace quibra::test {

// Plays the host's main window: records each closing notice with whether the
// window it watches was still shown while the notice was handled.
class NoticeSink : public QWidget {
public:
    struct Notice {
        long long wParam, lParam;
        bool senderVisible;
        bool operator==(const Notice&) const = default;
    };
    bool event(QEvent* event) override {
        if (event->type() != WindowClosedNotice::kType) return QWidget::event(event);
        const auto* notice = static_cast<const WindowClosedNotice*>(event);
        notices.push_back({notice->wParam(), notice->lParam(), watched && watched->isVisible()});
        if (onNotice) onNotice();
        return true;
    }

    std::vector<Notice> notices;
    QPointer<QWidget> watched;
    std::function<void()> onNotice;  // a host may answer the notice with a message of its own
};

inline QString Msg(int id) {
    return QString::fromStdWString(CWenMsg::GetInstance().GetMsg(id));
}
inline void UseLanguage(const char* file) {
    CWenMsg::GetInstance().Load((BinaryDir() / "bin" / "Lang" / file).wstring());
}

// The widget of `window` named after item id `id`; a click on its middle; the
// text of an edit replaced by typing.
template <typename T = QWidget>
T* Item(const QWidget* window, int id) {
    return window->findChild<T*>(QString::number(id));
}
inline void Click(const QWidget* window, int id) {
    QWidget* widget = Item(window, id);
    ASSERT_NE(widget, nullptr) << id;
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}
inline void Type(const QWidget* window, int id, const QString& text) {
    auto* edit = Item<QLineEdit>(window, id);
    ASSERT_NE(edit, nullptr) << id;
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// A picture of these windows as they stand on the screen, later ones on top,
// also saved as <build>/screenshots/NAME.png for a reviewer to look at.
inline QImage Screenshot(const std::string& name, std::initializer_list<QWidget*> windows) {
    QRect area;
    for (const QWidget* window : windows) area |= window->geometry();
    QImage shot(area.size(), QImage::Format_RGB32);
    shot.fill(Qt::darkGray);
    QPainter painter(&shot);
    for (QWidget* window : windows)
        painter.drawPixmap(window->geometry().topLeft() - area.topLeft(), window->grab());
    painter.end();
    const std::filesystem::path folder = BinaryDir() / "screenshots";
    std::filesystem::create_directories(folder);
    shot.save(QString::fromStdString((folder / (name + ".png")).string()));
    return shot;
}

class PluginFixture : public ::testing::Test {
protected:
    PluginFixture() : config("XDG_CONFIG_HOME", (work / "config").string()) {
        std::filesystem::create_directories(work / "config" / "wendrake");
        WriteFileBytes(work / "config" / "wendrake" / "wenconfig.xml",
                       "<Wendrake><WenConfig><SystemSetting><SkinName value=\"default\"/><UseSSL "
                       "value=\"0\"/></SystemSetting></WenConfig></Wendrake>");
        AppConfig::Instance().CloseAll();
        AppConfig::Instance().Load();
        SetMessageBoxHookForTesting([this](const std::wstring& text, int kind) {
            boxes.push_back(QString::fromStdWString(text) + (kind == kMessageBoxAsk ? " ?" : ""));
            return answer;
        });
        manager->SetWorker(&worker);
        // The manager loads the user's language; the tests read English.
        UseLanguage("0409.xml");
        Send(L"/polling/in/init",
             "<init><mainhwnd>" + std::to_string(reinterpret_cast<uintptr_t>(host.get())) +
                 "</mainhwnd><skincfg dlg_background_color=\"16777215\">"
                 "<item id=\"ok_btn\" tip_msg_id=\"15050\" image=\"ok.bmp\"/>"
                 "<item id=\"poll_post_btn\" tip_msg_id=\"15058\" image=\"post.bmp\"/>"
                 "<item id=\"poll_disclaim_btn\" tip_msg_id=\"15059\" image=\"no.bmp\"/>"
                 "</skincfg><userid>u1</userid></init>");
        worker.calls.clear();
    }
    ~PluginFixture() override {
        manager.reset();
        SetMessageBoxHookForTesting({});
        UseLanguage("0409.xml");
        AppConfig::Instance().CloseAll();
    }

    int32_t Send(const wchar_t* path, const std::string& xml) {
        CWenDoc doc;
        CWenNode node = doc.LoadXml(xml);
        return manager->Notify(path, &node);
    }
    // What reached the worker since call `from`: each path with its XML.
    std::vector<std::string> Sent(std::size_t from = 0) const {
        std::vector<std::string> sent;
        for (std::size_t i = from; i < worker.calls.size(); ++i)
            sent.push_back(ToUtf8(worker.calls[i].path) + " " + worker.calls[i].xml);
        return sent;
    }

    TempDir work;
    ScopedEnv config;
    std::unique_ptr<NoticeSink> host = std::make_unique<NoticeSink>();
    RecordingWorker worker;
    std::unique_ptr<PollManager> manager =
        std::make_unique<PollManager>(std::make_shared<PollWindowFactory>());
    QStringList boxes;  // texts of the message boxes shown, a question's ending in " ?"
    int answer = 1;     // what every box answers
};

// A record of a poll list, info or result reply; `items` is the inner XML of "Items".
inline std::string RecordXml(const std::string& id, const std::string& title,
                             const std::string& attributes, const std::string& items) {
    return "<Record PollingId=\"" + id + "\" Title=\"" + title + "\" " + attributes + "><Items>" +
           items + "</Items></Record>";
}

// What a poll record of a reply says besides its id, title and items; a
// status of 0 leaves the status out.
struct PollFacts {
    bool single = true, identified = false;
    char status = 0;
    bool published = false;
    int voters = 0;
};
inline std::string PollRecordXml(const std::string& id, const std::string& title,
                                 const PollFacts& facts, const std::string& items) {
    std::string attributes = std::string("Type=\"") + (facts.single ? "S" : "M") + "\" IsSign=\"" +
                             (facts.identified ? "1" : "0") + "\" IsPublish=\"" +
                             (facts.published ? "1" : "0") + "\" UserCount=\"" +
                             std::to_string(facts.voters) + "\"";
    if (facts.status != 0) attributes += std::string(" Status=\"") + facts.status + "\"";
    return RecordXml(id, title, attributes, items);
}

// Items lettered A, B, ... with these contents and, where given, counts.
inline std::string ItemsXml(const std::vector<std::string>& contents,
                            const std::vector<int>& counts = {}) {
    std::string xml;
    for (std::size_t i = 0; i < contents.size(); ++i) {
        xml += "<Item ItemName=\"" + std::string(1, static_cast<char>('A' + i)) + "\" Content=\"" +
               contents[i] + "\"";
        if (i < counts.size()) xml += " PostCount=\"" + std::to_string(counts[i]) + "\"";
        xml += "/>";
    }
    return xml;
}

}  // namespace quibra::test
