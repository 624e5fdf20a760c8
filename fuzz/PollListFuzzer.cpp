// Server replies read into poll records: the presenter's list, answer windows'
// and result windows' records.
#include <cstdint>
#include <string>

#include "polldata/PollList.h"
#include "polldata/PollRecordReader.h"
#include "quibra/CWenDoc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CWenDoc doc;
    const CWenNode reply = doc.LoadXml(std::string(reinterpret_cast<const char*>(data), size));
    quibra::PollList list;
    list.Apply(reply);
    for (const CWenNode& element : quibra::PollRecordReader::RecordElements(reply)) {
        quibra::PollRecordReader::ReadAnswerRecord(element);
        quibra::PollRecordReader::ReadResultRecord(element);
    }
    list.Clear();
    return 0;
}
