#include "report/HtmlReportExport.h"

#include <utility>

#include "config/Folders.h"
#include "report/ReportFolders.h"
#include "report/XsltRun.h"

namespace quibra {

std::wstring HtmlReportExport::TemplateFolder() {
    return GetDataFolder() + L"/Poll";
}

std::wstring HtmlReportExport::WorkFolder() {
    return GetDocumentsFolder() + L"/Wendrake Directory/Poll";
}

HtmlReportExport::HtmlReportExport(std::wstring templateFolder, std::wstring workFolder,
                                   std::uint16_t userLangId)
    : m_templateFolder(std::move(templateFolder)),
      m_workFolder(std::move(workFolder)),
      m_userLangId(userLangId),
      m_reportLangId(userLangId) {}

bool HtmlReportExport::Prepare(const std::vector<PollRecord>* polls, const PollRecord* shown,
                               VoteResultMode mode) {
    if (mode == VoteResultMode::ShownPoll && FolderExists(m_workFolder)) DeleteFolder(m_workFolder);
    // Unchecked: without stylesheets the transformation leaves no report.
    CopyFolder(m_templateFolder, m_workFolder);
    if (!VoteResultWriter(m_workFolder + L"/ExportPoll.xml", polls, shown, mode).Write())
        return false;
    m_reportLangId = ReportLangId(m_workFolder, m_userLangId);
    RunXslt(m_workFolder, m_reportLangId);
    return true;
}

std::wstring HtmlReportExport::ReportPath() const {
    return m_workFolder + L"/" + LangIdHex(m_reportLangId) + L".html";
}

bool HtmlReportExport::Deliver(const std::wstring& target) {
    const bool copied = CopyReport(ReportPath(), target);
    DeleteFolder(m_workFolder);
    return copied;
}

}  // namespace quibra
