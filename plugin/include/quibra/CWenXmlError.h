#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "quibra/QuibraApi.h"

// The one error the XML classes raise: a status code in the platform's HRESULT
// values and the operation that failed. Create, Load and Save never raise it.
class QUIBRA_API CWenXmlError : public std::runtime_error {
public:
    static constexpr int32_t kPointer = static_cast<int32_t>(0x80004003);      // E_POINTER
    static constexpr int32_t kFail = static_cast<int32_t>(0x80004005);         // E_FAIL
    static constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000E);  // E_OUTOFMEMORY

    CWenXmlError(int32_t code, const std::string& where);
    ~CWenXmlError() override;

    int32_t Code() const noexcept { return m_code; }
    // The operation that failed, for example "CWenNode::SelectNodes".
    const std::string& Where() const noexcept { return m_where; }

private:
    int32_t m_code;
    std::string m_where;
};
