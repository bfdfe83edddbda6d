#pragma once
// A pull reader of the XML the model files use: start tags with their attributes, end tags, text, in
// document order, straight from the bytes of the file (nothing is copied unless a value holds an escape
// or a line end to normalise). Comments, processing instructions (the declaration included) and a
// document type declaration are skipped; whitespace-only text is dropped. Malformed XML throws
// Malformed with the offset where reading stopped.

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace fenmo::xml::detail {

struct Malformed {
    std::size_t offset;
    const char* what;
};

class XmlScanner {
public:
    enum class Token { Start, End, Text, Cdata, Eof };

    struct Attribute {
        std::string_view name;
        std::string_view value;
        std::size_t offset;  // of the value's first character
    };

    XmlScanner(const char* begin, const char* end) : m_begin(begin), m_end(end), m_at(begin) {
        if (m_end - m_at >= 3 && m_at[0] == '\xEF' && m_at[1] == '\xBB' && m_at[2] == '\xBF') m_at += 3;
    }

    // Reads the next token. A self-closing tag reads as a start tag followed by its end tag.
    Token next();

    // Of the latest token: the tag's name (start and end tags), the decoded text (text, CDATA), where
    // it begins (a tag's name, a text's first character other than a blank), and the attributes of a
    // start tag.
    std::string_view name() const noexcept { return m_name; }
    std::string_view text() const noexcept { return m_text; }
    std::size_t offset() const noexcept { return m_offset; }
    const std::vector<Attribute>& attributes() const noexcept { return m_attributes; }
    // Open elements, the latest start tag's included.
    std::size_t depth() const noexcept { return m_open.size(); }
    // How far the reader has come: bytes before this are not looked at again.
    std::size_t position() const noexcept { return static_cast<std::size_t>(m_at - m_begin); }

private:
    [[noreturn]] void fail(const char* at, const char* what) const {
        throw Malformed{static_cast<std::size_t>(at - m_begin), what};
    }
    Token startTag();
    Token endTag();
    void skipPast(std::string_view terminator, const char* what);
    void skipDoctype();
    const char* readName(const char* at);
    std::string_view attributeValue(const char* begin, const char* end, std::size_t index);
    std::string_view textValue(const char* begin, const char* end);

    const char* m_begin;
    const char* m_end;
    const char* m_at;
    std::string_view m_name;
    std::string_view m_text;
    std::size_t m_offset = 0;
    bool m_closeNext = false;  // the latest start tag closed itself
    bool m_sawRoot = false;
    std::vector<std::string_view> m_open;
    std::vector<Attribute> m_attributes;
    // Decoded values, one buffer per attribute position, kept for their capacity (a deque, so that
    // growing it leaves the values already decoded where they are).
    std::deque<std::string> m_decoded;
    std::string m_decodedText;
};

}  // namespace fenmo::xml::detail
