#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "config/CXmlSettingsFile.h"

// The plug-in's two settings files: the user's "wenconfig.xml" (skin name,
// HTTPS switch) in GetAppDataFolder() + "/wendrake", and the skin's layout file
// in the skin folder. One instance serves the process (Instance()); further
// instances exist only for tests.
// Holds no lock: loading (by the windows) and reading (by the windows and the
// server jobs) must not overlap.
class AppConfig {
public:
    static constexpr const wchar_t* kConfigFileName = L"wenconfig.xml";
    static constexpr const wchar_t* kSkinLayoutFileName = L"DialogSkinConfig.xml";
    static constexpr const wchar_t* kSystemSettingPath = L"//Wendrake//WenConfig//SystemSetting";

    AppConfig();
    ~AppConfig();
    AppConfig(const AppConfig&) = delete;
    AppConfig& operator=(const AppConfig&) = delete;

    // The process-wide instance, made on first use and destroyed at unload.
    static AppConfig& Instance();

    // Opens the configuration file (not parsed again while loaded), then the
    // skin layout in GetDataFolder() + "/skin/" + skin name. False when the
    // configuration file cannot be opened (the layout is then left alone);
    // otherwise the layout's Open result.
    bool Load();
    // Attribute `attribute` of the child `element` of the first node `path`
    // selects; empty for any missing step or while not loaded.
    std::wstring GetSetting(const std::wstring& path, const std::wstring& element,
                            const std::wstring& attribute) const;
    // As GetSetting, read by the integer rule: -1 for any missing step.
    int GetSettingInt(const std::wstring& path, const std::wstring& element,
                      const std::wstring& attribute) const;
    // SystemSetting/SkinName/@value; empty when absent.
    std::wstring GetSkinName() const;
    // False only for SystemSetting/UseSSL/@value equal to 0, so true before any
    // Load and for an absent or empty value. Asked for every server address, so
    // the answer is read from the document once per opening of the file and
    // kept until the file is opened or closed again (an edit of the loaded
    // document in memory is seen after the next Close and Load).
    bool UseSSL() const;

    // The configuration file; its Save writes the document back.
    CXmlSettingsFile& ConfigFile() { return *m_config; }
    // The skin layout file: a plain settings file until the UI installs its own.
    CXmlSettingsFile& SkinLayout() { return *m_skinLayout; }
    // Replaces the skin layout object (the old one is closed with itself). The
    // new one must carry the layout file name; null is ignored.
    void SetSkinLayout(std::unique_ptr<CXmlSettingsFile> layout);
    // Closes both files; used when the manager goes away. Closing a file that
    // is not loaded does nothing.
    void CloseAll();

private:
    std::unique_ptr<CXmlSettingsFile> m_config;
    std::unique_ptr<CXmlSettingsFile> m_skinLayout;
    // UseSSL's answer with the configuration file's LoadCount it was read at:
    // (count << 1) | answer, or kNoAnswer before the first reading.
    static constexpr uint64_t kNoAnswer = UINT64_MAX;
    mutable std::atomic<uint64_t> m_useSsl{kNoAnswer};
};
