#pragma once

#include <optional>
#include <string>

// The user's "wenconfig.xml", which the plug-in reads for the skin name and
// the HTTPS switch. The host creates it when missing and writes only the one
// setting it was told to change; every other setting of the user is kept.
class UserConfig {
public:
    // $XDG_CONFIG_HOME (when absolute) or ~/.config, + "/wendrake/wenconfig.xml",
    // where the plug-in looks for it.
    static std::string DefaultPath();

    explicit UserConfig(std::string path = DefaultPath()) : m_path(std::move(path)) {}

    // Reads the file (a new one when missing, with SkinName "default"), sets
    // UseSSL when `useSsl` is given and adds a missing SkinName, in memory.
    // False with a message when the file cannot be read as a settings file:
    // a file the host does not understand is left exactly as it was.
    bool Prepare(std::optional<bool> useSsl, std::string& message);
    // Before Prepare: ServerCAFile and ServerPin to write, each when not empty
    // (the plug-in then verifies the server); empty ones are left as they are.
    void SetServerIdentity(std::string caFile, std::string pin) {
        m_serverCa = std::move(caFile);
        m_serverPin = std::move(pin);
    }
    // Writes what Prepare changed (whole, through a temporary file renamed
    // over it); nothing when nothing changed.
    bool Save(std::string& message);

    // What the plug-in will read, valid after Prepare.
    bool UseSsl() const { return m_useSsl; }
    const std::string& SkinName() const { return m_skinName; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    bool m_useSsl = true;
    std::string m_skinName;
    std::string m_serverCa;
    std::string m_serverPin;
    std::string m_pending;  // the new file's bytes, when it changes
};
