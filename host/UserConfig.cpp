#include "UserConfig.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

using DocPtr = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

std::string Attribute(xmlNodePtr node, const char* name) {
    xmlChar* value = xmlGetProp(node, X(name));
    std::string text = value != nullptr ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

bool HasAttribute(xmlNodePtr node, const char* name) {
    return xmlHasProp(node, X(name)) != nullptr;
}

// The plug-in reads the value as an integer the way atoi does (an empty value
// counts as -1), and only 0 switches HTTPS off: "0", "00", "-0", "off".
bool ReadsAsOff(const std::string& value) {
    if (value.empty()) return false;
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        if (value[i] != '0') return false;
    return true;
}

xmlNodePtr Find(xmlNodePtr parent, const char* name) {
    for (xmlNodePtr child = parent->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE && xmlStrcmp(child->name, X(name)) == 0) return child;
    return nullptr;
}

// The first child element named `name`, created (at the end) when missing.
xmlNodePtr Child(xmlNodePtr parent, const char* name, bool& changed) {
    if (xmlNodePtr found = Find(parent, name)) return found;
    changed = true;
    return xmlNewChild(parent, nullptr, X(name), nullptr);
}

}  // namespace

std::string UserConfig::DefaultPath() {
    std::string root;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        root = xdg;
    } else {
        const char* home = std::getenv("HOME");
        root = std::string(home != nullptr ? home : "") + "/.config";
    }
    return root + "/wendrake/wenconfig.xml";
}

bool UserConfig::Prepare(std::optional<bool> useSsl, std::string& message) {
    namespace fs = std::filesystem;
    std::error_code error;
    const bool exists = fs::exists(m_path, error);
    DocPtr doc(nullptr, &xmlFreeDoc);
    bool changed = !exists;
    if (exists) {
        doc.reset(xmlReadFile(m_path.c_str(), nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
        if (!doc || xmlDocGetRootElement(doc.get()) == nullptr ||
            xmlStrcmp(xmlDocGetRootElement(doc.get())->name, X("Wendrake")) != 0) {
            message = m_path + " is not a Wendrake settings file; it was left alone";
            return false;
        }
    } else {
        doc.reset(xmlNewDoc(X("1.0")));
        xmlAddChild(reinterpret_cast<xmlNodePtr>(doc.get()),
                    xmlNewDocComment(doc.get(), X("Generate by Wendrake application.")));
        xmlDocSetRootElement(doc.get(), xmlNewDocNode(doc.get(), nullptr, X("Wendrake"), nullptr));
    }
    xmlNodePtr system = Child(Child(xmlDocGetRootElement(doc.get()), "WenConfig", changed),
                              "SystemSetting", changed);
    xmlNodePtr skin = Child(system, "SkinName", changed);
    if (!HasAttribute(skin, "value") || Attribute(skin, "value").empty()) {
        xmlSetProp(skin, X("value"), X("default"));
        changed = true;
    }
    if (useSsl) {
        xmlNodePtr ssl = Child(system, "UseSSL", changed);
        const char* wanted = *useSsl ? "1" : "0";
        if (Attribute(ssl, "value") != wanted) {
            xmlSetProp(ssl, X("value"), X(wanted));
            changed = true;
        }
    }
    for (const auto& [name, value] :
         {std::pair<const char*, const std::string&>{"ServerCAFile", m_serverCa},
          {"ServerPin", m_serverPin}}) {
        if (value.empty()) continue;
        xmlNodePtr setting = Child(system, name, changed);
        if (Attribute(setting, "value") != value) {
            xmlSetProp(setting, X("value"), X(value.c_str()));
            changed = true;
        }
    }
    m_skinName = Attribute(skin, "value");
    xmlNodePtr ssl = Find(system, "UseSSL");
    m_useSsl = ssl == nullptr || !ReadsAsOff(Attribute(ssl, "value"));
    if (!changed) return true;
    xmlChar* bytes = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc.get(), &bytes, &size, "UTF-8", 1);
    if (bytes == nullptr) {
        message = "cannot write " + m_path;
        return false;
    }
    m_pending.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    xmlFree(bytes);
    return true;
}

bool UserConfig::Save(std::string& message) {
    if (m_pending.empty()) return true;
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(fs::path(m_path).parent_path(), error);
    const std::string temporary = m_path + ".new";
    bool written = false;
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (file) {
            file.write(m_pending.data(), static_cast<std::streamsize>(m_pending.size()));
            file.flush();
            written = file.good();
        }
    }
    if (!written || std::rename(temporary.c_str(), m_path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        message = "cannot write " + m_path;
        return false;
    }
    m_pending.clear();
    return true;
}
