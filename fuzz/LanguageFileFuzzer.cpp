// A language file read into the message table, and the lookups every window makes.
#include <cstdint>

#include "FuzzFiles.h"
#include "i18n/CWenMsg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file = quibra::fuzz::WorkFolder() / "0409.xml";
    quibra::fuzz::WriteBytes(file, data, size);
    CWenMsg table;
    table.Load(file.wstring());
    for (const int id : {0, 1, -1, 15025, 21060}) table.GetMsg(id);
    return 0;
}
