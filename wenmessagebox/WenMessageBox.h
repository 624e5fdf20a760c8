#pragma once

#include <QString>

class QMessageBox;

// Shows `text` in a modal message box on the calling (UI) thread and returns the
// button the user pressed (QMessageBox::StandardButton), or -1 when no Qt
// application is running or the caller is not on its thread. `value` 1 asks a
// question (Yes and No, No the default); any other value only informs (OK).
// The other three arguments are accepted and unused.
extern "C" __attribute__((visibility("default"))) int WenShowMessageBox(const wchar_t* text,
                                                                        int value, int reserved1,
                                                                        int reserved2,
                                                                        int reserved3);

namespace wenmessagebox {
// The box WenShowMessageBox shows, built but not run (the caller owns it).
__attribute__((visibility("default"))) QMessageBox* BuildMessageBox(const QString& text,
                                                                    int value = 0);
}  // namespace wenmessagebox
