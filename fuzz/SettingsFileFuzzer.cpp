// The user's configuration file read through AppConfig, as the plug-in reads it
// at start and for every server address.
#include <cstdint>
#include <cstdlib>

#include "FuzzFiles.h"
#include "config/AppConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The application-data folder follows XDG_CONFIG_HOME.
    static const std::filesystem::path file = [] {
        const std::filesystem::path home = quibra::fuzz::WorkFolder();
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        std::filesystem::create_directories(home / "wendrake");
        return home / "wendrake" / "wenconfig.xml";
    }();
    quibra::fuzz::WriteBytes(file, data, size);
    AppConfig config;
    config.Load();
    config.GetSkinName();
    config.UseSSL();
    config.GetSettingInt(AppConfig::kSystemSettingPath, L"UseSSL", L"value");
    config.GetSetting(L"//Wendrake//WenConfig", L"SkinName", L"value");
    config.CloseAll();
    return 0;
}
