#include "transport/CurlHeaderList.h"

namespace quibra {

CurlHeaderList::~CurlHeaderList() {
    if (m_list != nullptr) curl_slist_free_all(m_list);
}

bool CurlHeaderList::Append(const char* line) {
    curl_slist* grown = curl_slist_append(m_list, line);
    if (grown == nullptr) return false;
    m_list = grown;
    return true;
}

}  // namespace quibra
