#include "XmlReplyWriter.h"

#include <libxml/xmlwriter.h>

#include <stdexcept>

namespace quibra::pollserver {

namespace {

std::string Terminated(std::string_view text) {
    return std::string(text);
}
const xmlChar* Xml(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

}  // namespace

XmlReplyWriter::XmlReplyWriter(std::string_view rootName) {
    m_buffer = xmlBufferCreate();
    if (m_buffer != nullptr) m_writer = xmlNewTextWriterMemory(m_buffer, 0);
    if (m_writer == nullptr) {
        m_failed = true;
        return;
    }
    m_failed =
        xmlTextWriterStartDocument(m_writer, "1.0", "UTF-8", nullptr) < 0 ||
        xmlTextWriterWriteComment(m_writer, BAD_CAST "Generate by Wendrake application.") < 0;
    StartElement(rootName);
}

XmlReplyWriter::~XmlReplyWriter() {
    if (m_writer != nullptr) xmlFreeTextWriter(m_writer);
    if (m_buffer != nullptr) xmlBufferFree(m_buffer);
}

void XmlReplyWriter::StartElement(std::string_view name) {
    if (m_failed) return;
    m_failed = xmlTextWriterStartElement(m_writer, Xml(Terminated(name))) < 0;
}

void XmlReplyWriter::Attribute(std::string_view name, std::string_view value) {
    if (m_failed) return;
    m_failed =
        xmlTextWriterWriteAttribute(m_writer, Xml(Terminated(name)), Xml(Terminated(value))) < 0;
}

void XmlReplyWriter::Attribute(std::string_view name, std::int64_t value) {
    Attribute(name, std::to_string(value));
}

void XmlReplyWriter::EndElement() {
    if (m_failed) return;
    m_failed = xmlTextWriterEndElement(m_writer) < 0;
}

std::string XmlReplyWriter::Finish() {
    if (!m_failed) m_failed = xmlTextWriterEndDocument(m_writer) < 0;
    if (!m_failed) m_failed = xmlTextWriterFlush(m_writer) < 0;
    if (m_failed) throw std::runtime_error("could not write the reply document");
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(m_buffer)),
                       static_cast<std::size_t>(xmlBufferLength(m_buffer)));
}

}  // namespace quibra::pollserver
