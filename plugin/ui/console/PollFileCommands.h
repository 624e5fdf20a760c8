#pragma once

#include <QTimer>
#include <vector>

#include "polldata/PollRecord.h"
#include "polldata/VoteResultWriter.h"

namespace quibra {

class CPollManagerDlg;

// The console's file commands: importing a poll file and exporting polls as an
// HTML report. The console owns one and calls it for its import and export
// commands; file dialogs open over the console's window (PollFileDialogs).
// User-interface thread only.
class PollFileCommands {
public:
    // Polls of an imported file are created this far apart, in file order.
    static constexpr int kImportIntervalMs = 100;

    explicit PollFileCommands(CPollManagerDlg& console);
    ~PollFileCommands();
    PollFileCommands(const PollFileCommands&) = delete;
    PollFileCommands& operator=(const PollFileCommands&) = delete;

    // Chooses a poll file, locks the console and creates its polls, one every
    // kImportIntervalMs on a timer so the window keeps answering meanwhile;
    // the console stays locked until the last one is sent. Polls of more than
    // seven choices are named in a message and left out. A file without a
    // usable poll changes nothing. Ignored while an import runs.
    void ImportPollFile();
    // Exports the poll of the shown details panel to an HTML report.
    void ExportShownPoll();
    // Exports every closed poll of the list to one HTML report.
    void ExportAllPolls();

    // Creates no more polls of the file being imported.
    void StopImport();
    // Whether polls of an imported file are still waiting to be created.
    bool ImportRunning() const { return !m_import.empty(); }

private:
    void CreateNextImported();
    void Export(VoteResultMode mode);

    CPollManagerDlg& m_console;
    // The polls being imported and the index of the next one.
    std::vector<PollRecord> m_import;
    std::size_t m_nextImported = 0;
    QTimer m_importTimer;
};

}  // namespace quibra
