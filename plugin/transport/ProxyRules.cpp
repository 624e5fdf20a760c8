#include "transport/ProxyRules.h"

#include <vector>

#include "xml/WideString.h"

namespace quibra::proxy_rules {

namespace {

std::vector<std::wstring_view> SplitEntries(std::wstring_view list) {
    std::vector<std::wstring_view> entries;
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() &&
               (list[i] == L';' || list[i] == L',' || list[i] == L' ' || list[i] == L'\t'))
            ++i;
        size_t end = i;
        while (end < list.size() && list[end] != L';' && list[end] != L',' && list[end] != L' ' &&
               list[end] != L'\t')
            ++end;
        if (end > i) entries.push_back(list.substr(i, end - i));
        i = end;
    }
    return entries;
}

wchar_t Lower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// "*" matches any run of characters, everything else itself (case-insensitive).
bool WildcardMatch(std::wstring_view pattern, std::wstring_view text) {
    size_t p = 0, t = 0, starP = std::wstring_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && Lower(pattern[p]) == Lower(text[t])) {
            ++p;
            ++t;
        } else if (starP != std::wstring_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

// The characters of a token of an HTTP header (RFC 9110).
bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    for (const char allowed : std::string_view("!#$%&'*+-.^_`|~"))
        if (c == allowed) return true;
    return false;
}

// A leading "*." (or ".") is a domain suffix that libcurl expresses itself.
bool IsCurlExpressible(std::wstring_view entry) {
    if (entry == L"*") return true;
    if (entry.substr(0, 2) == L"*.") entry.remove_prefix(2);
    return entry.find(L'*') == std::wstring_view::npos && entry != L"<local>";
}

}  // namespace

std::string ChooseProxy(std::wstring_view proxyList, bool secure) {
    const std::wstring_view own = secure ? L"https" : L"http";
    for (std::wstring_view entry : SplitEntries(proxyList)) {
        const size_t eq = entry.find(L'=');
        if (eq != std::wstring_view::npos) {
            if (!EqualsNoCase(entry.substr(0, eq), own)) continue;
            entry.remove_prefix(eq + 1);
        }
        if (!entry.empty()) return ToUtf8(entry);
    }
    return {};
}

bool IsBypassedByPattern(std::wstring_view bypassList, std::wstring_view host) {
    const bool dotless =
        host.find(L'.') == std::wstring_view::npos && host.find(L':') == std::wstring_view::npos;
    for (std::wstring_view entry : SplitEntries(bypassList)) {
        if (EqualsNoCase(entry, L"<local>")) {
            if (dotless) return true;
            continue;
        }
        if (IsCurlExpressible(entry)) continue;
        if (WildcardMatch(entry, host)) return true;
    }
    return false;
}

std::string ToCurlNoProxy(std::wstring_view bypassList) {
    std::string out;
    for (std::wstring_view entry : SplitEntries(bypassList)) {
        if (!IsCurlExpressible(entry)) continue;
        if (entry != L"*" && entry.substr(0, 2) == L"*.") entry.remove_prefix(1);
        if (!out.empty()) out += ',';
        out += ToUtf8(entry);
    }
    return out;
}

bool FromPacAnswer(std::string_view answer, std::wstring& proxyList, bool& direct) {
    proxyList.clear();
    direct = false;
    bool any = false;
    while (!answer.empty()) {
        const size_t semi = answer.find(';');
        std::string_view item = answer.substr(0, semi);
        answer = semi == std::string_view::npos ? std::string_view() : answer.substr(semi + 1);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (item.empty()) continue;
        const size_t space = item.find_first_of(" \t");
        const std::wstring keyword = AsciiLower(FromUtf8(item.substr(0, space)));
        std::wstring address;
        if (space != std::string_view::npos) {
            std::string_view rest = item.substr(space);
            while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
                rest.remove_prefix(1);
            address = FromUtf8(rest);
        }
        if (keyword == L"direct") {
            if (!any) direct = true;
            return true;
        }
        std::wstring entry;
        if (address.empty()) continue;
        if (keyword == L"proxy" || keyword == L"http")
            entry = address;
        else if (keyword == L"https")
            entry = L"https://" + address;
        else if (keyword == L"socks" || keyword == L"socks4")
            entry = L"socks4://" + address;
        else if (keyword == L"socks5")
            entry = L"socks5://" + address;
        else
            continue;
        if (!proxyList.empty()) proxyList += L';';
        proxyList += entry;
        any = true;
    }
    return any;
}

std::vector<std::string> OfferedSchemes(std::string_view challenge) {
    std::vector<std::string> schemes;
    const size_t n = challenge.size();
    size_t i = 0;
    while (i < n) {
        while (i < n && (challenge[i] == ' ' || challenge[i] == '\t' || challenge[i] == ',')) ++i;
        const size_t start = i;
        while (i < n && IsTokenChar(challenge[i])) ++i;
        size_t next = i;
        while (next < n && (challenge[next] == ' ' || challenge[next] == '\t')) ++next;
        // "name=value" is a parameter of the challenge before it, not a scheme.
        if (i > start && (next == n || challenge[next] != '=')) {
            std::string scheme(challenge.substr(start, i - start));
            for (char& c : scheme) c = AsciiLower(c);
            schemes.push_back(std::move(scheme));
        }
        // The rest of the element, up to a comma outside a quoted string.
        bool quoted = false;
        for (; i < n; ++i) {
            const char c = challenge[i];
            if (quoted) {
                if (c == '\\')
                    ++i;
                else if (c == '"')
                    quoted = false;
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                break;
            }
        }
    }
    return schemes;
}

}  // namespace quibra::proxy_rules
