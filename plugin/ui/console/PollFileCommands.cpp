#include "ui/console/PollFileCommands.h"

#include <QLoggingCategory>
#include <QPointer>
#include <string_view>

#include "config/Folders.h"
#include "core/PollManager.h"
#include "core/ShowMessageBox.h"
#include "i18n/LanguageId.h"
#include "i18n/MessageIds.h"
#include "polldata/PollFileReader.h"
#include "polldata/PollFileTrace.h"
#include "report/HtmlReportExport.h"
#include "ui/console/CPollManagerDlg.h"
#include "ui/console/CPollQuestionDlg.h"
#include "ui/console/PollFileDialogs.h"
#include "ui/controls/UiText.h"

// The poll file reader's numbered trace; silent unless debug output is switched
// on for it (QT_LOGGING_RULES="quibra.pollfile.debug=true").
Q_LOGGING_CATEGORY(lcPollFile, "quibra.pollfile", QtInfoMsg)

namespace quibra {

namespace {

void TraceToDebugLog(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    qCDebug(lcPollFile).noquote() << QLatin1StringView(line.data(), qsizetype(line.size()));
}

std::wstring ToWString(const QString& text) {
    return text.toStdWString();
}

}  // namespace

PollFileCommands::PollFileCommands(CPollManagerDlg& console) : m_console(console) {
    SetPollFileTraceSink(&TraceToDebugLog);
    m_importTimer.setInterval(kImportIntervalMs);
    QObject::connect(&m_importTimer, &QTimer::timeout, &m_importTimer,
                     [this] { CreateNextImported(); });
}

PollFileCommands::~PollFileCommands() = default;

void PollFileCommands::ImportPollFile() {
    if (ImportRunning()) return;
    const QString path = PollFileDialogs::ChoosePollFile(&m_console);
    if (path.isEmpty()) return;
    PollFileReader reader(ToWString(path));
    if (!reader.Read()) return;
    // A poll the editor could not show whole is refused by name; the others come in.
    std::vector<PollRecord> accepted;
    QStringList refused;
    for (const PollRecord& record : reader.GetRecords()) {
        if (record.items.size() > CPollQuestionDlg::kChoiceIds.size())
            refused.append(QString::fromStdWString(record.title));
        else
            accepted.push_back(record);
    }
    if (!refused.isEmpty()) {
        // The box runs its own event loop, in which the console may go.
        const QPointer<CPollManagerDlg> alive(&m_console);
        ShowMessageBox(
            (UiText::Msg(msg::kTooManyChoicesImport) + QLatin1Char('\n') + refused.join('\n'))
                .toStdWString(),
            0);
        if (!alive) return;
    }
    if (accepted.empty()) return;
    m_console.EnableAll(false);
    m_import = std::move(accepted);
    m_nextImported = 0;
    CreateNextImported();
    if (ImportRunning()) m_importTimer.start();
}

void PollFileCommands::CreateNextImported() {
    if (m_nextImported < m_import.size())
        m_console.Manager().CmdCreatePolling(m_import[m_nextImported++]);
    if (m_nextImported >= m_import.size()) {
        m_importTimer.stop();
        m_import.clear();
    }
}

void PollFileCommands::StopImport() {
    m_importTimer.stop();
    m_import.clear();
}

void PollFileCommands::ExportShownPoll() {
    Export(VoteResultMode::ShownPoll);
}

void PollFileCommands::ExportAllPolls() {
    Export(VoteResultMode::AllPolls);
}

void PollFileCommands::Export(VoteResultMode mode) {
    HtmlReportExport report(HtmlReportExport::TemplateFolder(), HtmlReportExport::WorkFolder(),
                            GetUserDefaultLangID());
    if (!report.Prepare(&m_console.Records(), m_console.ShownRecord(), mode)) return;
    const QString target = PollFileDialogs::ChooseReportTarget(
        &m_console, QString::fromStdWString(GetDocumentsFolder() + L"/ExportPoll"));
    if (target.isEmpty()) return;  // the work folder stays until the next export
    report.Deliver(ToWString(target));
}

}  // namespace quibra
