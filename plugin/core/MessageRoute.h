#pragma once

#include <cstddef>
#include <string>

#include "quibra/CWenNode.h"
#include "xml/WideString.h"

namespace quibra {

// One row of a message table: a lower-case path and what it leads to.
template <typename Route>
struct MessageRoute {
    const wchar_t* path;
    Route route;
};

// Matches a message path the way both tables do: the path is lower-cased (ASCII
// letters only, whatever the locale: "/POLLİNG/..." is not "/polling/...") and
// compared exactly with each row in order; the first match wins, and anything
// else (null, unknown, trailing characters) gives `none`.
template <typename Route, size_t N>
Route MatchRoute(const wchar_t* path, const MessageRoute<Route> (&rows)[N], Route none) {
    if (path == nullptr) return none;
    const std::wstring lower = AsciiLower(path);
    for (const MessageRoute<Route>& row : rows)
        if (lower == row.path) return row.route;
    return none;
}

// The XML payload of a message: a `const CWenNode*`, where null reads as the
// empty handle so that handlers find nothing and open nothing.
inline const CWenNode& XmlPayload(void* payload) {
    static const CWenNode kEmpty;
    return payload != nullptr ? *static_cast<const CWenNode*>(payload) : kEmpty;
}

}  // namespace quibra
