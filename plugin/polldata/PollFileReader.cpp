#include "polldata/PollFileReader.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "polldata/PollFileTrace.h"
#include "quibra/CWenDoc.h"
#include "quibra/CWenNode.h"
#include "quibra/CWenNodeList.h"
#include "xml/WideString.h"

namespace quibra {

PollFileReader::PollFileReader(std::wstring path) : m_path(std::move(path)) {}

PollFileReader::~PollFileReader() {
    for (const PollRecord& record : m_records) {
        PollFileTrace(21);
        if (!record.items.empty()) {
            PollFileTrace(22);
            for (std::size_t i = 0; i < record.items.size(); ++i) {
                PollFileTrace(23);
                PollFileTrace(24);
            }
        }
        PollFileTrace(25);
        PollFileTrace(26);
    }
}

bool PollFileReader::Read() {
    if (m_path.empty()) return false;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(ToUtf8(m_path), ec);
    if (ec || size > kMaxFileBytes) return false;

    PollFileTrace(1);
    CWenDoc doc;
    const CWenNode root = doc.Load(m_path);
    PollFileTrace(2);
    if (root.IsNull()) return false;
    PollFileTrace(3);

    CWenNodeList voteItems = root.SelectNodes(L"//WendrakeVote//VoteItem");
    if (voteItems.GetCount() <= 0) return false;
    for (CWenNode voteItem = voteItems.Next(); !voteItem.IsNull(); voteItem = voteItems.Next()) {
        PollFileTrace(4);
        if (std::optional<PollRecord> record = ReadVoteItem(voteItem)) {
            PollFileTrace(19);
            m_records.push_back(std::move(*record));
            PollFileTrace(20);
        }
    }
    PollFileTrace(30);
    return !m_records.empty();
}

std::optional<PollRecord> PollFileReader::ReadVoteItem(const CWenNode& voteItem) {
    const CWenNode voteMode = voteItem.GetChild(L"VoteMode");
    if (voteMode.IsNull()) return std::nullopt;
    PollFileTrace(5);
    const int identifiedCode = voteMode.GetAttributeInt(L"value");
    if (identifiedCode == -1) return std::nullopt;
    PollFileTrace(6);

    const CWenNode answerMode = voteItem.GetChild(L"AnswerMode");
    if (answerMode.IsNull()) return std::nullopt;
    PollFileTrace(7);
    const int answerCode = answerMode.GetAttributeInt(L"value");
    if (answerCode == -1) return std::nullopt;
    PollFileTrace(8);

    const CWenNode question = voteItem.GetChild(L"Question");
    if (question.IsNull()) return std::nullopt;
    PollFileTrace(9);
    std::wstring title = question.GetAttribute(L"value");
    if (title.empty()) return std::nullopt;
    PollFileTrace(10);

    PollRecord record;
    record.title = std::move(title);
    record.singleChoice = answerCode == 0;
    record.identified = identifiedCode == 0;
    if (!ReadChoices(voteItem, record)) return std::nullopt;
    return record;
}

bool PollFileReader::ReadChoices(const CWenNode& voteItem, PollRecord& record) {
    PollFileTrace(11);
    const CWenNode choiceList = voteItem.GetChild(L"ChoiceList");
    if (choiceList.IsNull()) return false;
    PollFileTrace(12);
    PollFileTrace(13);

    // Letters by character code from "A", counting only described choices.
    wchar_t letter = L'A';
    CWenNodeList choices = choiceList.GetChildNodes();
    for (CWenNode choice = choices.Next(); !choice.IsNull(); choice = choices.Next()) {
        PollFileTrace(14);
        std::wstring description = choice.GetAttribute(L"Description");
        if (!description.empty()) {
            PollFileTrace(15);
            PollItem item;
            item.itemName = std::wstring(1, letter++);
            item.content = std::move(description);
            record.items.push_back(std::move(item));
        }
        PollFileTrace(16);
    }
    if (record.items.empty()) return false;
    PollFileTrace(18);
    return true;
}

}  // namespace quibra
