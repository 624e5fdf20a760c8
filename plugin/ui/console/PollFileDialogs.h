#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace quibra {

// The open and save dialogs of the console's file commands. Tests replace
// them with choosers of their own, so no real dialog has to be driven.
class PollFileDialogs {
public:
    // Answers the chosen path, or the empty string for cancel.
    using OpenChooser = std::function<QString(QWidget* parent)>;
    using SaveChooser = std::function<QString(QWidget* parent, const QString& initialPath)>;

    // Empty choosers bring the real dialogs back.
    static void Replace(OpenChooser open, SaveChooser save);

    // An existing poll file ("pol" by default, any file allowed).
    static QString ChoosePollFile(QWidget* parent);
    // The report's target ("html" by default); an existing file is replaced
    // without a question, as the presenter chose it.
    static QString ChooseReportTarget(QWidget* parent, const QString& initialPath);
};

}  // namespace quibra
