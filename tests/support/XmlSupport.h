#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "quibra/CWenDoc.h"
#include "quibra/CWenXmlError.h"

// For suites that link the XML module: documents from text, and the error the
// XML classes raise.
namespace quibra::test {

// The root of `xml`; the handle keeps its document alive. Fails the test when
// the text does not parse.
inline CWenNode ParseXml(const std::string& xml) {
    CWenDoc doc;
    CWenNode root = doc.LoadXml(xml);
    EXPECT_FALSE(root.IsNull()) << xml;
    return root;
}

// Runs `call` and expects it to raise CWenXmlError with `code` (E_POINTER or
// E_FAIL) from `where`, its message naming both.
inline void ExpectXmlError(const std::function<void()>& call, int32_t code,
                           const std::string& where) {
    try {
        call();
        ADD_FAILURE() << where << " did not raise";
    } catch (const CWenXmlError& e) {
        EXPECT_EQ(e.Code(), code) << where;
        EXPECT_EQ(e.Where(), where);
        const char* hex = code == CWenXmlError::kPointer ? "0x80004003" : "0x80004005";
        EXPECT_EQ(e.what(), where + " failed with " + hex);
    }
}

}  // namespace quibra::test
