#pragma once

namespace quibra {

class CPollManagerDlg;

// The console's file commands: importing a poll file and exporting polls as an
// HTML report. The console owns one and calls it for its import and export
// commands; file dialogs open over the console's window.
class PollFileCommands {
public:
    explicit PollFileCommands(CPollManagerDlg& console);

    // Chooses a poll file, locks the console and creates its polls.
    void ImportPollFile();
    // Exports the poll of the shown details panel to an HTML report.
    void ExportShownPoll();
    // Exports every closed poll of the list to one HTML report.
    void ExportAllPolls();

private:
    CPollManagerDlg& m_console;
};

}  // namespace quibra
