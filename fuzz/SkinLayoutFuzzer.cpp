// A skin's layout file read by CSkinLayout, every lookup the windows make, and
// the layout applied to a dialog holding items of every id the file names.
#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "FuzzFiles.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/skin/CSkinLayout.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(*argc, *argv);
    // One picture the file's images can name: a strip of four 2x2 states.
    const std::filesystem::path images = quibra::fuzz::WorkFolder() / "image";
    std::filesystem::create_directories(images);
    QImage strip(8, 2, QImage::Format_RGB32);
    strip.fill(Qt::red);
    if (!strip.save(QString::fromStdString((images / "strip.png").string()))) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quibra;
    static const std::filesystem::path folder = fuzz::WorkFolder();
    fuzz::WriteBytes(folder / "DialogSkinConfig.xml", data, size);
    CSkinLayout layout;
    layout.SetFolder(folder.wstring());
    const bool opened = layout.Open();
    if (opened &&
        (layout.Dialogs().empty() || layout.Controls().empty() || layout.Colors().empty()))
        std::abort();

    // The names the windows ask for, and every name the file holds.
    std::set<std::wstring> dialogNames{L"640*480_dlg", L"480*360_dlg", L"480*480_dlg", L""};
    std::set<std::wstring> controlNames{L"close_button", L"title_picture", L""};
    std::set<std::wstring> owners{L"create_poll_dlg", L"input_poll_question_dlg", L"poll_dlg"};
    for (const DialogEntry& entry : layout.Dialogs()) dialogNames.insert(entry.name);
    for (const ControlEntry& entry : layout.Controls()) {
        controlNames.insert(entry.name);
        owners.insert(entry.belongTo);
    }
    for (const std::wstring& name : dialogNames) {
        const DialogEntry* entry = layout.FindDialog(name);
        if (entry != nullptr && entry->name != name) std::abort();
    }
    for (const std::wstring& name : controlNames) {
        const ControlEntry* entry = layout.FindControl(name);
        if (entry != nullptr && (entry->name != name || entry->controlId < 0)) std::abort();
    }
    for (const ColorEntry& entry : layout.Colors())
        if (entry.colour > 0xFFFFFF) std::abort();

    // A file that gave no entry leaves a dialog as it is; most inputs end here.
    if (layout.Dialogs().empty() && layout.Controls().empty()) return 0;
    CSkinDialog dialog;
    std::set<int> ids;
    for (const ControlEntry& entry : layout.Controls()) ids.insert(entry.controlId);
    for (const int id : ids) {
        if (id == 0) continue;
        auto* item =
            id % 2 ? static_cast<QWidget*>(new QPushButton(&dialog)) : new QWidget(&dialog);
        item->setObjectName(QString::number(id));
    }
    for (const std::wstring& name : dialogNames) layout.ApplyDialogEntry(dialog, name);
    for (const std::wstring& owner : owners) layout.ApplyWindowControls(dialog, owner);
    for (const std::wstring& name : controlNames) {
        CImageButton button(&dialog);
        layout.SetUpButton(button, name, true);
    }
    return 0;
}
