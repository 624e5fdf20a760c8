#pragma once

#include <optional>
#include <string>
#include <vector>

// The command line of quibra-host. Everything is parsed without the locale:
// numbers by hand, names compared byte for byte.
struct HostOptions {
    enum class Role { Presenter, Attendee };
    enum class Outcome { Run, Help, Version, Error };

    Role role = Role::Presenter;
    std::string user;  // empty: taken from $USER
    std::string name;  // empty: the user id
    std::string session = "quibra";
    std::string module = "quibra";
    std::string lang;  // a locale name such as zh_CN, or empty for the user's own
    // The PollServer as host[:port], the way the plug-in's "managerip" wants it.
    std::string serverHost = "127.0.0.1";
    int serverPort = 0;        // 0: the scheme's own port
    bool serverGiven = false;  // else the local PollServer's default port
    // HTTPS on or off: --https/--http or the URL's scheme; unset leaves the
    // user's configuration as it is.
    std::optional<bool> useSsl;
    // A bearer token for the PollServer (--token TOKEN or --token @FILE); empty:
    // none. Handed to the plug-in only, never printed.
    std::string token;
    // The server's identity, saved to the user's configuration when given:
    // a CA file (--server-ca) and a public-key pin "sha256//..." (--server-pin).
    std::string serverCa;
    std::string serverPin;

    bool demo = false;
    // The demo as it ran before tokens: no keys, no tokens, any certificate.
    bool insecure = false;
    bool script = false;
    // Interactive demo: the attendees answer by hand instead of on their own.
    bool manual = false;
    int attendees = 3;
    std::string out = "quibra-demo";
    // Started by the demo's walkthrough: obeys its commands over the channel.
    bool agent = false;

    // `args` without the program name. On Error, `message` says what is wrong.
    static Outcome Parse(const std::vector<std::string>& args, HostOptions& options,
                         std::string& message);
    static std::string Usage();

    std::string ManagerIp(bool ssl) const;
    // The port a connection goes to: the given one or the scheme's.
    int EffectivePort(bool ssl) const;
    bool IsPresenter() const { return role == Role::Presenter; }
};
