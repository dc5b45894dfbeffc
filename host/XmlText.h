#pragma once

// XML text as the engine hands it to TinyXML: graph documents and the XML
// image formats come from anyone, and the parser trusts its input in two
// ways that a hostile file can exploit.

#include <cstddef>
#include <string>

class TiXmlDocument;

namespace Ondo {

// The deepest nesting of elements in an XML text, found without building a
// tree; stops counting (and returns) as soon as it passes iStopAbove, with
// the line reached. Comments, CDATA, declarations and quoted attribute
// values are skipped. TinyXML recurses once per level: callers refuse a text
// nested deeper than their limit before parsing it.
struct XmlDepth {
    int m_iDepth = 0;
    int m_iLine = 1;
};
XmlDepth MeasureXmlDepth(const std::string& strText, int iStopAbove);

// The byte offset of the first byte in the text that is not part of a
// well-formed UTF-8 sequence (a stray continuation byte, a sequence cut
// short, an overlong form, a surrogate, beyond U+10FFFF); npos when there is
// none. TinyXML does not check: it takes a sequence's length from its first
// byte, so a stray byte can swallow the quote that follows it.
std::size_t FindInvalidUtf8(const std::string& strText);

// Parses the text up to its first zero byte, as TinyXML reads a C string,
// without letting the parser read past the end: in a UTF-8 document it steps
// over a whole multi-byte sequence once it sees its first byte, so a text
// cut inside one would be read on beyond its terminator (into whatever
// memory follows). The text is handed over followed by zeros the widest
// sequence cannot step over. Errors are the document's (Error, ErrorDesc).
void ParseXml(TiXmlDocument& document, const std::string& strText);

} // namespace Ondo
