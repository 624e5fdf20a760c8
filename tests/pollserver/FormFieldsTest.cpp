// The form decoding in front of every job.
#include <gtest/gtest.h>

#include "FormFields.h"

namespace quibra::pollserver {
namespace {

TEST(FormFieldsTest, DecodesThePluginEncoding) {
    FormFields fields;
    std::string reason;
    ASSERT_TRUE(fields.Parse(
        "a=x+y&b=%E4%B8%AD%F0%9F%98%80%E0%A0%80&c=&d&e=%2B%26%3D%0A&_rnd=1&_rnd=2&&", reason))
        << reason;
    std::string shown;
    for (const char* name : {"a", "b", "c", "d", "e", "_rnd", "missing"})
        shown += fields.Get(name).value_or("<none>") + "|";
    EXPECT_EQ(shown, "x y|中😀\u0800|||+&=\n|<none>|<none>|");
    EXPECT_FALSE(fields.Has("_rnd"));
}

TEST(FormFieldsTest, RefusesWhatXmlCannotCarryOrWhatIsAmbiguous) {
    for (const char* form :
         {"a=%", "a=%4", "a=%zz", "a=%C3", "a=%C3%28", "a=%C0%AF", "a=%E0%80%AF", "a=%ED%A0%80",
          "a=%F4%90%80%80", "a=%EF%BF%BE", "a=%00", "a=%1B", "a%01=1", "a=1&a=2", "a=%FF"}) {
        FormFields fields;
        std::string reason;
        EXPECT_FALSE(fields.Parse(form, reason)) << form;
        EXPECT_FALSE(reason.empty()) << form;
    }
    FormFields fields;
    std::string reason;
    EXPECT_TRUE(fields.Parse("a=%09%0D%0A%F4%8F%BF%BF", reason)) << reason;
}

TEST(FormFieldsTest, NumbersAreStrictDecimals) {
    for (const auto& [text, value] : {std::pair{"64", 64}, {"0", 0}, {"007", 7}})
        EXPECT_EQ(FormFields::ParseNumber(text, 0, 64), value) << text;
    for (const char* bad :
         {"", "65", "-1", "+1", " 1", "1 ", "1e2", "0x10", "999999999999999999999"})
        EXPECT_FALSE(FormFields::ParseNumber(bad, 0, 64).has_value()) << bad;
    EXPECT_EQ(FormFields::CharacterCount("a中😀\n"), 4u);
}

}  // namespace
}  // namespace quibra::pollserver
