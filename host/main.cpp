// quibra-host: the reference host of the polling plug-in. It plays the
// conferencing client (presenter or attendee) and, with --demo, runs a
// PollServer, a presenter and attendees together.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include <memory>

#include "DemoAgent.h"
#include "DemoRunner.h"
#include "HostApp.h"
#include "HostOptions.h"
#include "HostWindow.h"
#include "QuitOnSignal.h"
#include "quibra/Version.h"

namespace {

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    HostOptions options;
    std::string message;
    switch (HostOptions::Parse(args, options, message)) {
        case HostOptions::Outcome::Help:
            std::fputs(HostOptions::Usage().c_str(), stdout);
            return 0;
        case HostOptions::Outcome::Version:
            std::puts("quibra-host " QUIBRA_VERSION);
            return 0;
        case HostOptions::Outcome::Error:
            std::fprintf(stderr, "quibra-host: %s\nTry 'quibra-host --help'.\n", message.c_str());
            return 2;
        case HostOptions::Outcome::Run:
            break;
    }
    // Without a display the demo walks through on Qt's offscreen platform.
    const bool scripted = options.demo && (options.script || !HasDisplay());
    if (scripted || (!options.demo && !HasDisplay())) setenv("QT_QPA_PLATFORM", "offscreen", 0);

    QApplication app(argc, argv);
    // Read by the plug-in when it is created; set after Qt has taken its own
    // locale, so a language without an installed locale still works.
    if (!options.lang.empty()) setenv("LC_ALL", options.lang.c_str(), 1);
    QuitOnSignal quitOnSignal;

    if (options.demo) {
        DemoRunner demo(options, scripted);
        return demo.Run();
    }
    HostApp host(options);
    QString error;
    if (!host.Start(error)) {
        std::fprintf(stderr, "quibra-host: %s\n", error.toUtf8().constData());
        return 1;
    }
    // A signal during the start-up check came before any event loop ran.
    if (QuitOnSignal::Received() != 0) return 0;
    // The host window ends the host, also while the console or a dialog is open.
    QObject::connect(host.Window(), &HostWindow::Closing, qApp, [] { QuitNow(); });
    host.Window()->show();
    // Started by the demo's walkthrough: its hands at this attendee.
    std::unique_ptr<DemoAgent> agent;
    if (options.agent && !options.IsPresenter()) agent = std::make_unique<DemoAgent>(host);
    return app.exec();
}
