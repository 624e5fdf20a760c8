#include "i18n/LanguageId.h"

#include <cstdlib>
#include <string>

#include "xml/WideString.h"

namespace quibra {

namespace {

struct LocaleLangId {
    std::string_view language;
    std::string_view territory;
    uint16_t langId;
};

// Windows language ids of the common locales. The first row of each language
// is its primary form, used when the territory is missing or not listed.
// clang-format off
constexpr LocaleLangId kLocales[] = {
    {"en", "US", 0x0409}, {"en", "GB", 0x0809}, {"en", "AU", 0x0c09}, {"en", "CA", 0x1009},
    {"en", "NZ", 0x1409}, {"en", "IE", 0x1809}, {"en", "ZA", 0x1c09}, {"en", "PH", 0x3409},
    {"en", "IN", 0x4009}, {"en", "MY", 0x4409}, {"en", "SG", 0x4809},
    {"zh", "CN", 0x0804}, {"zh", "TW", 0x0404}, {"zh", "HK", 0x0c04}, {"zh", "SG", 0x1004},
    {"zh", "MO", 0x1404},
    {"de", "DE", 0x0407}, {"de", "CH", 0x0807}, {"de", "AT", 0x0c07}, {"de", "LU", 0x1007},
    {"de", "LI", 0x1407},
    {"fr", "FR", 0x040c}, {"fr", "BE", 0x080c}, {"fr", "CA", 0x0c0c}, {"fr", "CH", 0x100c},
    {"fr", "LU", 0x140c}, {"fr", "MC", 0x180c},
    {"es", "ES", 0x0c0a}, {"es", "MX", 0x080a}, {"es", "GT", 0x100a}, {"es", "CR", 0x140a},
    {"es", "PA", 0x180a}, {"es", "DO", 0x1c0a}, {"es", "VE", 0x200a}, {"es", "CO", 0x240a},
    {"es", "PE", 0x280a}, {"es", "AR", 0x2c0a}, {"es", "EC", 0x300a}, {"es", "CL", 0x340a},
    {"es", "UY", 0x380a}, {"es", "PY", 0x3c0a}, {"es", "BO", 0x400a}, {"es", "SV", 0x440a},
    {"es", "HN", 0x480a}, {"es", "NI", 0x4c0a}, {"es", "PR", 0x500a}, {"es", "US", 0x540a},
    {"it", "IT", 0x0410}, {"it", "CH", 0x0810},
    {"ja", "JP", 0x0411},
    {"ko", "KR", 0x0412},
    {"pt", "BR", 0x0416}, {"pt", "PT", 0x0816},
    {"ru", "RU", 0x0419},
    {"nl", "NL", 0x0413}, {"nl", "BE", 0x0813},
    {"nb", "NO", 0x0414}, {"no", "NO", 0x0414}, {"nn", "NO", 0x0814},
    {"sv", "SE", 0x041d}, {"sv", "FI", 0x081d},
    {"da", "DK", 0x0406}, {"fi", "FI", 0x040b}, {"is", "IS", 0x040f},
    {"pl", "PL", 0x0415}, {"cs", "CZ", 0x0405}, {"sk", "SK", 0x041b}, {"hu", "HU", 0x040e},
    {"ro", "RO", 0x0418}, {"bg", "BG", 0x0402}, {"hr", "HR", 0x041a}, {"sl", "SI", 0x0424},
    {"sq", "AL", 0x041c}, {"mk", "MK", 0x042f}, {"el", "GR", 0x0408}, {"tr", "TR", 0x041f},
    {"uk", "UA", 0x0422}, {"be", "BY", 0x0423}, {"et", "EE", 0x0425}, {"lv", "LV", 0x0426},
    {"lt", "LT", 0x0427}, {"ca", "ES", 0x0403}, {"eu", "ES", 0x042d}, {"gl", "ES", 0x0456},
    {"ar", "SA", 0x0401}, {"ar", "IQ", 0x0801}, {"ar", "EG", 0x0c01}, {"ar", "AE", 0x3801},
    {"he", "IL", 0x040d}, {"fa", "IR", 0x0429}, {"ur", "PK", 0x0420},
    {"hi", "IN", 0x0439}, {"bn", "IN", 0x0445}, {"ta", "IN", 0x0449}, {"te", "IN", 0x044a},
    {"mr", "IN", 0x044e},
    {"th", "TH", 0x041e}, {"vi", "VN", 0x042a}, {"id", "ID", 0x0421}, {"ms", "MY", 0x043e},
    {"hy", "AM", 0x042b}, {"ka", "GE", 0x0437}, {"kk", "KZ", 0x043f}, {"af", "ZA", 0x0436},
    {"sw", "KE", 0x0441},
};
// clang-format on

}  // namespace

uint16_t LangIdFromLocaleName(std::string_view locale) {
    // language[_territory][.codeset][@modifier]; some systems write "-" for "_".
    locale = locale.substr(0, locale.find_first_of(".@"));
    size_t split = locale.find_first_of("_-");
    std::string language(locale.substr(0, split));
    std::string territory(split == std::string_view::npos ? std::string_view()
                                                          : locale.substr(split + 1));
    for (char& c : language) c = quibra::AsciiLower(c);
    for (char& c : territory)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (language.empty()) return kDefaultLangId;

    for (const auto& row : kLocales)
        if (row.language == language && row.territory == territory) return row.langId;
    for (const auto& row : kLocales)
        if (row.language == language) return row.langId;
    return kDefaultLangId;  // C, POSIX and languages without a Windows id here
}

uint16_t GetUserDefaultLangID() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return LangIdFromLocaleName(value);
    }
    return kDefaultLangId;
}

}  // namespace quibra
