#include "voting/VotingFixture.h"

#include <QLabel>
#include <QTextEdit>
#include <cstdint>

#include "config/AppConfig.h"
#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "quibra/CWenDoc.h"
#include "quibra/WindowClosedNotice.h"
#include "ui/PollWindowFactory.h"
#include "xml/WideString.h"

namespace quibra::test {

bool NoticeSink::event(QEvent* event) {
    if (event->type() != WindowClosedNotice::kType) return QWidget::event(event);
    auto* notice = static_cast<WindowClosedNotice*>(event);
    notices.push_back({notice->wParam(), notice->lParam(), watched && watched->isVisible()});
    if (onNotice) onNotice();
    return true;
}

void UseDefaultSkin(const TempDir& work) {
    std::filesystem::create_directories(work / "config" / "wendrake");
    WriteFileBytes(work / "config" / "wendrake" / "wenconfig.xml",
                   "<Wendrake><WenConfig><SystemSetting><SkinName value=\"default\"/><UseSSL "
                   "value=\"0\"/></SystemSetting></WenConfig></Wendrake>");
    AppConfig::Instance().CloseAll();
    AppConfig::Instance().Load();
}

std::string SkinFolder() {
    return (BinaryDir() / "bin" / "skin" / "default").string();
}

VotingFixture::VotingFixture() : env("XDG_CONFIG_HOME", (work / "config").string()) {
    UseDefaultSkin(work);
    manager = std::make_unique<PollManager>(std::make_shared<PollWindowFactory>());
    manager->SetWorker(&worker);
    SetMessageBoxHookForTesting([this](const std::wstring& text, int) {
        boxes.push_back(text);
        return 1;
    });
    const auto hostAddress = std::to_string(reinterpret_cast<uintptr_t>(&host));
    Send(L"/polling/in/init",
         "<init><skinfolder>" + SkinFolder() + "</skinfolder><mainhwnd>" + hostAddress +
             "</mainhwnd><skincfg dlg_background_color=\"16777215\">"
             "<item id=\"ok_btn\" tip_msg_id=\"15050\" image=\"ok.bmp\"/>"
             "<item id=\"poll_post_btn\" tip_msg_id=\"15058\" image=\"post.bmp\"/>"
             "<item id=\"poll_disclaim_btn\" tip_msg_id=\"15059\" image=\"no.bmp\"/>"
             "</skincfg><userid>u1</userid></init>");
    worker.calls.clear();
}

VotingFixture::~VotingFixture() {
    manager.reset();
    SetMessageBoxHookForTesting({});
    UseLanguage("0409.xml");
    AppConfig::Instance().CloseAll();
}

int32_t VotingFixture::Send(const wchar_t* path, const std::string& xml) {
    CWenDoc doc;
    CWenNode node = doc.LoadXml(xml);
    return manager->Notify(path, &node);
}

CPollVoteDlg* VotingFixture::Open(const std::string& records, bool result) {
    const auto& windows = result ? manager->ResultWindows() : manager->AnswerWindows();
    const std::size_t before = windows.size();
    Send(result ? L"/polling/in/clientshowpollresult" : L"/polling/in/clientgetpollinfo",
         "<Wendrake><Records>" + records + "</Records></Wendrake>");
    if (windows.size() != before + 1) return nullptr;
    return dynamic_cast<CPollVoteDlg*>(windows.back().get());
}

std::vector<std::wstring> VotingFixture::WorkerPaths() const {
    std::vector<std::wstring> paths;
    for (const Call& call : worker.calls) paths.push_back(call.path);
    return paths;
}

void VotingFixture::UseLanguage(const char* file) {
    CWenMsg::GetInstance().Load((BinaryDir() / "bin" / "Lang" / file).wstring());
}

QString TextOf(const QWidget* widget) {
    if (auto* edit = qobject_cast<const QTextEdit*>(widget)) return edit->toPlainText();
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    return QString();
}

std::string RecordXml(const std::string& id, bool single, const std::string& title,
                      const std::vector<std::string>& contents, const std::vector<int>& counts,
                      int voters) {
    std::string xml = "<Record PollingId=\"" + id + "\" Type=\"" + (single ? "S" : "M") +
                      "\" IsSign=\"0\" Title=\"" + title + "\"";
    if (voters >= 0) xml += " UserCount=\"" + std::to_string(voters) + "\"";
    xml += "><Items>";
    for (std::size_t i = 0; i < contents.size(); ++i) {
        xml += "<Item ItemName=\"" + std::string(1, static_cast<char>('A' + i)) + "\" Content=\"" +
               contents[i] + "\"";
        if (i < counts.size()) xml += " PostCount=\"" + std::to_string(counts[i]) + "\"";
        xml += "/>";
    }
    return xml + "</Items></Record>";
}

}  // namespace quibra::test
