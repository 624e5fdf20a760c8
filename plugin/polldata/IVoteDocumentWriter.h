#pragma once

namespace quibra {

// Something that writes a vote result document to its target.
class IVoteDocumentWriter {
public:
    virtual ~IVoteDocumentWriter() = default;
    // True when the document was saved.
    virtual bool Write() = 0;
};

}  // namespace quibra
