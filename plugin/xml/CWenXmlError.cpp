#include "quibra/CWenXmlError.h"

#include <cstdio>

namespace {
std::string Describe(int32_t code, const std::string& where) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    return where + " failed with " + hex;
}
}  // namespace

CWenXmlError::CWenXmlError(int32_t code, const std::string& where)
    : std::runtime_error(Describe(code, where)), m_code(code), m_where(where) {}

CWenXmlError::~CWenXmlError() = default;
