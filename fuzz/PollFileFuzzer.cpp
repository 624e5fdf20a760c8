// A poll file chosen for import read into new poll records: whatever it holds,
// every record is a poll the question editor could have made, lettered from "A".
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzFiles.h"
#include "polldata/PollFileReader.h"
#include "polldata/PollFileTrace.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The trace lines are built only for a sink.
    quibra::SetPollFileTraceSink([](std::string_view line) {
        if (line.empty() || line.back() != '\n') std::abort();
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file = quibra::fuzz::WorkFolder() / "Import.pol";
    quibra::fuzz::WriteBytes(file, data, size);
    quibra::PollFileReader reader(file.wstring());
    const bool read = reader.Read();
    if (read == reader.GetRecords().empty()) std::abort();
    for (const quibra::PollRecord& record : reader.GetRecords()) {
        if (record.title.empty() || record.items.empty() || !record.pollId.empty()) std::abort();
        wchar_t letter = L'A';
        for (const quibra::PollItem& item : record.items)
            if (item.itemName != std::wstring(1, letter++) || item.content.empty()) std::abort();
    }
    return 0;
}
