// The XML classes' load from memory, every read a caller makes, and the saved
// form: whatever parses must be saved as bytes that parse again to the same root.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "quibra/CWenDoc.h"
#include "quibra/CWenNode.h"
#include "quibra/CWenNodeList.h"

namespace {

void Walk(CWenNode node, int depth) {
    node.GetText();
    node.GetTextInt();
    node.GetAttribute(L"id");
    node.GetAttributeInt(L"PostCount");
    node.HasAttribute(L"value");
    node.GetChild(L"Items");
    if (depth > 64) return;
    CWenNodeList children = node.GetChildNodes();
    const int count = children.GetCount();
    int seen = 0;
    for (CWenNode child = children.Next(); !child.IsNull(); child = children.Next()) {
        ++seen;
        Walk(child, depth + 1);
    }
    if (seen != count) std::abort();  // the count promises what Next gives
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CWenDoc doc;
    const CWenNode root = doc.LoadXml(std::string(reinterpret_cast<const char*>(data), size));
    if (root.IsNull()) return 0;
    Walk(root, 0);
    root.SelectSingleNode(L"//Wendrake//Language");
    root.SelectSingleNode(L"item[@id='ok_btn']");
    CWenNodeList records = root.SelectNodes(L"//Records/*");
    while (!records.Next().IsNull()) {
    }

    const std::string saved = doc.SaveToString();
    CWenDoc again;
    const CWenNode reread = again.LoadXml(saved);
    if (reread.IsNull() || reread.GetName() != root.GetName()) std::abort();
    return 0;
}
