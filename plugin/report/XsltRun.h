#pragma once

#include <cstdint>
#include <string>

// The outside transformation that turns the export file into the HTML report:
// xsltproc, run in the work folder as "xsltproc -o XXXX.html XXXX.xsl
// ExportPoll.xml", XXXX being a language id in four lower-case hex digits.
namespace quibra {

// "%04x" of a language id, without the locale.
std::wstring LangIdHex(std::uint16_t langId);

// The language whose stylesheet the report uses: `userLangId` when the work
// folder has its stylesheet, else the fallback language of the message table,
// so a language without a stylesheet still gets a report.
std::uint16_t ReportLangId(const std::wstring& workFolder, std::uint16_t userLangId);

// Starts xsltproc without a shell, its output discarded, and waits for it
// without a time limit. True when it ended well and left the report file; a
// report from a failed run is removed, so no half page is handed on.
bool RunXslt(const std::wstring& workFolder, std::uint16_t langId);

}  // namespace quibra
