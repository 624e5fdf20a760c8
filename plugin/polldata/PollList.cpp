#include "polldata/PollList.h"

#include "polldata/PollRecordReader.h"

namespace quibra {

PollList::PollList(IPollListView* view) : m_view(view) {}

void PollList::Apply(const CWenNode& payload) {
    const std::vector<CWenNode> elements = PollRecordReader::RecordElements(payload);
    Clear();
    m_records.reserve(elements.size());
    for (const CWenNode& element : elements) ParseRecord(element);
    if (m_view) m_view->FillPresentation(m_records, m_rememberedPollId);
    m_rememberedPollId.clear();
}

void PollList::Clear() {
    // The view goes first: its panels refer to the records dropped below.
    if (m_view) {
        if (auto shown = m_view->ClearPresentation()) m_rememberedPollId = std::move(*shown);
    }
    m_records.clear();
}

PollRecord& PollList::ParseRecord(const CWenNode& element) {
    PollRecord& record = m_records.emplace_back();
    PollRecordReader::ReadListRecord(element, record);
    return record;
}

}  // namespace quibra
