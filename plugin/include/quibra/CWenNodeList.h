#pragma once

#include <memory>
#include <string>

#include "quibra/QuibraApi.h"

class CWenNode;

// Walks a list of nodes, returning only elements (and only those named like the
// filter, when one is set). Copies share the list and its cursor; every
// construction and copy moves the cursor back to the start.
class QUIBRA_API CWenNodeList {
public:
    struct Items;

    CWenNodeList();
    CWenNodeList(std::shared_ptr<Items> items, std::wstring filter);
    CWenNodeList(const CWenNodeList&);
    CWenNodeList& operator=(const CWenNodeList&);
    ~CWenNodeList();

    // The next matching element (level 1), or the empty handle at the end.
    CWenNode Next();
    // Matching elements from the cursor to the end; then back to the start.
    int GetCount();
    void Reset();

private:
    std::shared_ptr<Items> m_items;
    std::wstring m_filter;
};
