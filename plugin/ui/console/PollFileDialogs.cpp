#include "ui/console/PollFileDialogs.h"

#include <QFileDialog>
#include <QStringList>
#include <utility>

namespace quibra {

namespace {

PollFileDialogs::OpenChooser& OpenOverride() {
    static PollFileDialogs::OpenChooser chooser;
    return chooser;
}

PollFileDialogs::SaveChooser& SaveOverride() {
    static PollFileDialogs::SaveChooser chooser;
    return chooser;
}

// The first chosen file of a dialog that ran, or the empty string.
QString Run(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

}  // namespace

void PollFileDialogs::Replace(OpenChooser open, SaveChooser save) {
    OpenOverride() = std::move(open);
    SaveOverride() = std::move(save);
}

QString PollFileDialogs::ChoosePollFile(QWidget* parent) {
    if (OpenOverride()) return OpenOverride()(parent);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("POL Files (*.pol)"), QStringLiteral("All Files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("pol"));
    return Run(dialog);
}

QString PollFileDialogs::ChooseReportTarget(QWidget* parent, const QString& initialPath) {
    if (SaveOverride()) return SaveOverride()(parent, initialPath);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters({QStringLiteral("HTML Files (*.html)"), QStringLiteral("All Files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("html"));
    dialog.selectFile(initialPath);
    return Run(dialog);
}

}  // namespace quibra
