#include "ui/console/PollFileCommands.h"

namespace quibra {

PollFileCommands::PollFileCommands(CPollManagerDlg& console) : m_console(console) {}

void PollFileCommands::ImportPollFile() {}

void PollFileCommands::ExportShownPoll() {}

void PollFileCommands::ExportAllPolls() {}

}  // namespace quibra
