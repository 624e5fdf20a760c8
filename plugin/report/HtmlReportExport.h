#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "polldata/PollRecord.h"
#include "polldata/VoteResultWriter.h"

namespace quibra {

// The file side of exporting polls as an HTML report: a fresh copy of the
// installed stylesheets in a work folder, the export file, the transformation,
// and at the end the copy to the user's target and the work folder removed.
// The console asks for the target in between. Blocks while xsltproc runs.
class HtmlReportExport {
public:
    // The stylesheets installed beside the host's executable ("Poll").
    static std::wstring TemplateFolder();
    // "Wendrake Directory/Poll" in the user's documents folder.
    static std::wstring WorkFolder();

    HtmlReportExport(std::wstring templateFolder, std::wstring workFolder,
                     std::uint16_t userLangId);

    // ShownPoll first deletes a work folder left by an earlier export (AllPolls
    // copies over it); then copies the stylesheets, writes "ExportPoll.xml" and
    // runs the transformation. False only when the export file could not be
    // written (the work folder then stays): a failed transformation still
    // answers true and simply leaves no report to deliver.
    bool Prepare(const std::vector<PollRecord>* polls, const PollRecord* shown,
                 VoteResultMode mode);
    // The report in the work folder, named after the stylesheet's language.
    std::wstring ReportPath() const;
    // Copies the report over `target`, then deletes the work folder either
    // way. Whether the report was copied.
    bool Deliver(const std::wstring& target);

private:
    std::wstring m_templateFolder;
    std::wstring m_workFolder;
    std::uint16_t m_userLangId;
    std::uint16_t m_reportLangId;
};

}  // namespace quibra
