#include "ui/console/PollFileCommands.h"

#include <QLoggingCategory>
#include <string_view>

#include "config/Folders.h"
#include "core/PollManager.h"
#include "i18n/LanguageId.h"
#include "polldata/PollFileReader.h"
#include "polldata/PollFileTrace.h"
#include "report/HtmlReportExport.h"
#include "ui/console/CPollManagerDlg.h"
#include "ui/console/PollFileDialogs.h"

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
    auto reader = std::make_unique<PollFileReader>(ToWString(path));
    if (!reader->Read()) return;
    m_console.EnableAll(false);
    m_import = std::move(reader);
    m_nextImported = 0;
    CreateNextImported();
    if (ImportRunning()) m_importTimer.start();
}

void PollFileCommands::CreateNextImported() {
    const std::vector<PollRecord>& records = m_import->GetRecords();
    if (m_nextImported < records.size()) {
        m_console.Manager().CmdCreatePolling(records[m_nextImported++]);
        // A list reply to an earlier poll may have unlocked the console meanwhile.
        m_console.EnableAll(false);
    }
    if (m_nextImported >= records.size()) {
        m_importTimer.stop();
        m_import.reset();
    }
}

void PollFileCommands::StopImport() {
    m_importTimer.stop();
    m_import.reset();
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
