#pragma once

#include <QEvent>

// What the plug-in tells the host's main window when one of its windows has
// gone away: event type 3024 with wParam 100 and lParam 0. Posted for the poll
// manager window, sent (and handled before the dialog hides) for a voting
// dialog. Hosts recognise it by type() == WindowClosedNotice::kType.
class WindowClosedNotice : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(3024);
    static constexpr long long kWParam = 100;
    static constexpr long long kLParam = 0;

    WindowClosedNotice() : QEvent(kType) {}

    long long wParam() const { return kWParam; }
    long long lParam() const { return kLParam; }
};
