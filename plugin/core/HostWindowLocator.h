#pragma once

#include <string>

class QWidget;

namespace quibra {

// Hosts name their main window by the decimal address of its QWidget. Such a
// value is only trusted once it is found among the application's live widgets.
class HostWindowLocator {
public:
    // The live widget `decimalAddress` names, or null for anything else
    // (empty, garbage, a stale or foreign address, no QApplication).
    static QWidget* Find(const std::wstring& decimalAddress);
    // `candidate` when it is a live widget of this application, else null.
    static QWidget* Live(const QWidget* candidate);
};

}  // namespace quibra
