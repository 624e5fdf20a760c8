#pragma once

class QEvent;
class QWidget;

// Payload of "/polling/in/trnaswinmsg": a keyboard event the host received for
// one of the plug-in's windows. Both pointers stay owned by the host.
struct WindowMessageRecord {
    QWidget* target;
    QEvent* event;
};
