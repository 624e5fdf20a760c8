#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct _xmlBuffer;
struct _xmlTextWriter;

namespace quibra::pollserver {

// Writes one reply document with libxml2's text writer: UTF-8 without BOM,
// the declaration and the application comment first. Attribute values are
// escaped by libxml2 (& < > " and CR, LF, TAB as character references), and
// any other Unicode is written as its own UTF-8 bytes, so texts come back
// exactly. The caller passes only valid UTF-8 without control characters.
class XmlReplyWriter {
public:
    explicit XmlReplyWriter(std::string_view rootName);
    ~XmlReplyWriter();
    XmlReplyWriter(const XmlReplyWriter&) = delete;
    XmlReplyWriter& operator=(const XmlReplyWriter&) = delete;

    void StartElement(std::string_view name);
    void Attribute(std::string_view name, std::string_view value);
    void Attribute(std::string_view name, std::int64_t value);
    void EndElement();

    // Closes every open element and returns the document's bytes; throws
    // std::runtime_error when libxml2 failed anywhere on the way.
    std::string Finish();

private:
    _xmlBuffer* m_buffer = nullptr;
    _xmlTextWriter* m_writer = nullptr;
    bool m_failed = false;
};

}  // namespace quibra::pollserver
