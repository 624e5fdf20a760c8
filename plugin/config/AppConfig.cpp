#include "config/AppConfig.h"

#include "config/Folders.h"
#include "quibra/CWenXmlError.h"

namespace {

// The user's configuration file is the one settings file written back.
class ConfigSettingsFile : public CXmlSettingsFile {
public:
    ConfigSettingsFile() : CXmlSettingsFile(AppConfig::kConfigFileName) {}
    bool Save() override { return WriteDocument(); }
};

}  // namespace

AppConfig::AppConfig()
    : m_config(std::make_unique<ConfigSettingsFile>()),
      m_skinLayout(std::make_unique<CXmlSettingsFile>(kSkinLayoutFileName)) {}

AppConfig::~AppConfig() = default;

AppConfig& AppConfig::Instance() {
    static AppConfig instance;
    return instance;
}

bool AppConfig::Load() {
    // Without an application-data folder this is "/wendrake", as the load goes on regardless.
    m_config->SetFolder(quibra::GetAppDataFolder() + L"/wendrake");
    if (!m_config->Open()) return false;
    m_skinLayout->SetFolder(quibra::GetSkinFolder(GetSkinName()));
    return m_skinLayout->Open();
}

std::wstring AppConfig::GetSetting(const std::wstring& path, const std::wstring& element,
                                   const std::wstring& attribute) const {
    if (!m_config->IsLoaded()) return {};
    try {
        return m_config->GetRoot().SelectSingleNode(path).GetChild(element).GetAttribute(attribute);
    } catch (const CWenXmlError&) {
        return {};  // an expression the parser rejects finds nothing
    }
}

int AppConfig::GetSettingInt(const std::wstring& path, const std::wstring& element,
                             const std::wstring& attribute) const {
    if (!m_config->IsLoaded()) return -1;
    try {
        return m_config->GetRoot().SelectSingleNode(path).GetChild(element).GetAttributeInt(
            attribute);
    } catch (const CWenXmlError&) {
        return -1;
    }
}

std::wstring AppConfig::GetSkinName() const {
    return GetSetting(kSystemSettingPath, L"SkinName", L"value");
}

bool AppConfig::UseSSL() const {
    const uint64_t count = m_config->LoadCount();
    const uint64_t kept = m_useSsl.load(std::memory_order_relaxed);
    if (kept != kNoAnswer && (kept >> 1) == count) return (kept & 1) != 0;
    const bool useSsl = GetSettingInt(kSystemSettingPath, L"UseSSL", L"value") != 0;
    m_useSsl.store((count << 1) | (useSsl ? 1 : 0), std::memory_order_relaxed);
    return useSsl;
}

void AppConfig::SetSkinLayout(std::unique_ptr<CXmlSettingsFile> layout) {
    if (layout) m_skinLayout = std::move(layout);
}

void AppConfig::CloseAll() {
    m_config->Close();
    m_skinLayout->Close();
}
