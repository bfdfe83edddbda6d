#include "XmlScanner.hpp"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fenmo::xml::detail {

namespace {

// What each byte is to the reader, one bit per use.
enum : std::uint8_t { kSpace = 1, kNameStart = 2, kNameChar = 4, kValueSpecial = 8, kTextSpecial = 16 };

struct CharTable {
    std::uint8_t bits[256] = {};
    constexpr CharTable() {
        for (int c = 0; c < 256; ++c) {
            const bool start =
                (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
            if (start) bits[c] |= kNameStart | kNameChar;
            if ((c >= '0' && c <= '9') || c == '-' || c == '.') bits[c] |= kNameChar;
        }
        for (int c : {' ', '\t', '\n', '\r'}) bits[c] |= kSpace;
        // Bytes that end the plain run of an attribute value: references, blanks to normalise, quotes.
        for (int c : {'&', '\t', '\n', '\r', '"', '\''}) bits[c] |= kValueSpecial;
        for (int c : {'&', '\r'}) bits[c] |= kTextSpecial;
    }
};
constexpr CharTable kChars;

bool is(char c, std::uint8_t what) {
    return kChars.bits[static_cast<unsigned char>(c)] & what;
}
bool isSpace(char c) {
    return is(c, kSpace);
}
bool isNameStart(char c) {
    return is(c, kNameStart);
}
bool isNameChar(char c) {
    return is(c, kNameChar);
}

bool startsWith(const char* at, const char* end, std::string_view prefix) {
    return static_cast<std::size_t>(end - at) >= prefix.size() &&
           std::memcmp(at, prefix.data(), prefix.size()) == 0;
}

// The end of the plain run of an attribute value: the first byte that is special in a value. Most
// values (identities above all) are plain, so sixteen bytes are tested at a time where the CPU can.
const char* plainValueRun(const char* at, const char* end) {
#if defined(__SSE2__)
    const __m128i amp = _mm_set1_epi8('&'), quot = _mm_set1_epi8('"'), apos = _mm_set1_epi8('\'');
    const __m128i tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    for (; end - at >= 16; at += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i quotes = _mm_or_si128(_mm_cmpeq_epi8(v, quot), _mm_cmpeq_epi8(v, apos));
        const __m128i blanks =
            _mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
        const int mask =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_or_si128(quotes, blanks)));
        if (mask) return at + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    while (at < end && !is(*at, kValueSpecial)) ++at;
    return at;
}

const char* find(const char* at, const char* end, char c) {
    const void* found = std::memchr(at, c, static_cast<std::size_t>(end - at));
    return found ? static_cast<const char*>(found) : end;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes the reference at `at` ('&') into `out`; returns where reading goes on. A reference that is
// not one of the five named ones or a character reference stays as it is written.
const char* decodeReference(const char* at, const char* end, std::string& out) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& [name, c] : kNamed)
        if (startsWith(at, end, name)) {
            out += c;
            return at + name.size();
        }
    if (startsWith(at, end, "&#")) {
        const char* p = at + 2;
        const bool hex = p < end && *p == 'x';
        if (hex) ++p;
        std::uint32_t code = 0;
        const char* digits = p;
        for (; p < end && p - digits < 8; ++p) {
            int v = -1;
            if (*p >= '0' && *p <= '9')
                v = *p - '0';
            else if (hex && *p >= 'a' && *p <= 'f')
                v = *p - 'a' + 10;
            else if (hex && *p >= 'A' && *p <= 'F')
                v = *p - 'A' + 10;
            if (v < 0) break;
            code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
        }
        if (p > digits && p < end && *p == ';' && code <= 0x10FFFF) {
            appendUtf8(out, code);
            return p + 1;
        }
    }
    out += '&';
    return at + 1;
}

// Decodes a value whose plain run (copied as it is) ends at `p`: references are decoded, a CR LF
// pair reads as one character, and every other character is written as `map` says.
template <class Map>
std::string_view decodeRest(std::string& out, const char* begin, const char* p, const char* end, Map map) {
    out.assign(begin, p);
    while (p < end) {
        const char c = *p;
        if (c == '&') {
            p = decodeReference(p, end, out);
            continue;
        }
        if (c == '\r' && p + 1 < end && p[1] == '\n') ++p;
        out += map(c);
        ++p;
    }
    return out;
}

}  // namespace

XmlScanner::Token XmlScanner::next() {
    if (m_closeNext) {
        m_closeNext = false;
        m_name = m_open.back();
        m_open.pop_back();
        return Token::End;
    }
    for (;;) {
        if (m_at == m_end) {
            if (!m_open.empty()) fail(m_at, "the file ends inside an element");
            if (!m_sawRoot) fail(m_at, "no document element");
            return Token::Eof;
        }
        if (*m_at != '<') {
            const char* start = m_at;
            m_at = find(m_at, m_end, '<');
            const char* first = start;
            while (first < m_at && isSpace(*first)) ++first;
            if (first == m_at) continue;
            m_offset = static_cast<std::size_t>(first - m_begin);
            m_text = textValue(start, m_at);
            return Token::Text;
        }
        if (m_end - m_at < 2) fail(m_at, "the file ends inside a tag");
        const char c = m_at[1];
        if (c == '?') {
            m_at += 2;
            skipPast("?>", "a processing instruction is not closed");
            continue;
        }
        if (c == '!') {
            if (startsWith(m_at, m_end, "<!--")) {
                m_at += 4;
                skipPast("-->", "a comment is not closed");
                continue;
            }
            if (startsWith(m_at, m_end, "<![CDATA[")) {
                if (m_open.empty()) fail(m_at, "a CDATA section outside the document element");
                const char* start = m_at + 9;
                m_at = start;
                skipPast("]]>", "a CDATA section is not closed");
                m_offset = static_cast<std::size_t>(start - m_begin);
                m_text = std::string_view(start, static_cast<std::size_t>(m_at - 3 - start));
                return Token::Cdata;
            }
            if (startsWith(m_at, m_end, "<!DOCTYPE")) {
                if (m_sawRoot) fail(m_at, "a document type declaration after the document element");
                skipDoctype();
                continue;
            }
            fail(m_at, "unrecognised markup after <!");
        }
        if (c == '/') return endTag();
        return startTag();
    }
}

void XmlScanner::skipPast(std::string_view terminator, const char* what) {
    std::string_view rest(m_at, static_cast<std::size_t>(m_end - m_at));
    std::size_t found = rest.find(terminator);
    if (found == std::string_view::npos) fail(m_at, what);
    m_at += found + terminator.size();
}

void XmlScanner::skipDoctype() {
    const char* p = m_at + 9;
    int brackets = 0;
    for (; p < m_end; ++p) {
        if (*p == '"' || *p == '\'') {
            p = find(p + 1, m_end, *p);
            if (p == m_end) break;
        } else if (*p == '[') {
            ++brackets;
        } else if (*p == ']') {
            --brackets;
        } else if (*p == '>' && brackets <= 0) {
            m_at = p + 1;
            return;
        }
    }
    fail(m_at, "a document type declaration is not closed");
}

const char* XmlScanner::readName(const char* at) {
    if (at == m_end || !isNameStart(*at)) fail(at, "expected a name");
    ++at;
    while (at < m_end && isNameChar(*at)) ++at;
    return at;
}

XmlScanner::Token XmlScanner::startTag() {
    const char* p = m_at + 1;
    const char* nameEnd = readName(p);
    m_name = std::string_view(p, static_cast<std::size_t>(nameEnd - p));
    m_offset = static_cast<std::size_t>(p - m_begin);
    m_attributes.clear();
    p = nameEnd;
    for (;;) {
        bool space = false;
        while (p < m_end && isSpace(*p)) ++p, space = true;
        if (p == m_end) fail(p, "a start tag is not closed");
        if (*p == '>') {
            ++p;
            break;
        }
        if (*p == '/') {
            if (p + 1 < m_end && p[1] == '>') {
                p += 2;
                m_closeNext = true;
                break;
            }
            fail(p, "expected /> to close the tag");
        }
        if (!space || !isNameStart(*p)) fail(p, "expected an attribute");
        const char* attributeName = p;
        p = readName(p);
        std::string_view name(attributeName, static_cast<std::size_t>(p - attributeName));
        while (p < m_end && isSpace(*p)) ++p;
        if (p == m_end || *p != '=') fail(p, "expected = after the attribute name");
        ++p;
        while (p < m_end && isSpace(*p)) ++p;
        if (p == m_end || (*p != '"' && *p != '\'')) fail(p, "expected a quoted attribute value");
        const char quote = *p;
        const char* value = p + 1;
        // The plain run up to the quote is the value itself; anything else is decoded.
        const char* run = plainValueRun(value, m_end);
        const char* close = run < m_end && *run == quote ? run : find(run, m_end, quote);
        if (close == m_end) fail(value, "an attribute value is not closed");
        const std::size_t index = m_attributes.size();
        const std::string_view text = run == close
                                          ? std::string_view(value, static_cast<std::size_t>(close - value))
                                          : attributeValue(value, close, index);
        m_attributes.push_back(Attribute{name, text, static_cast<std::size_t>(value - m_begin)});
        p = close + 1;
    }
    m_at = p;
    m_open.push_back(m_name);
    m_sawRoot = true;
    return Token::Start;
}

XmlScanner::Token XmlScanner::endTag() {
    const char* p = m_at + 2;
    const char* nameEnd = readName(p);
    std::string_view name(p, static_cast<std::size_t>(nameEnd - p));
    const char* q = nameEnd;
    while (q < m_end && isSpace(*q)) ++q;
    if (q == m_end || *q != '>') fail(q, "expected > to close the end tag");
    if (m_open.empty() || m_open.back() != name) fail(p, "the end tag does not match the start tag");
    m_open.pop_back();
    m_name = name;
    m_offset = static_cast<std::size_t>(p - m_begin);
    m_at = q + 1;
    return Token::End;
}

// Blanks in a value (tab, line end) read as spaces, a CR LF pair as one; references are decoded.
std::string_view XmlScanner::attributeValue(const char* begin, const char* end, std::size_t index) {
    const char* p = begin;
    while (p < end && *p != '&' && *p != '\t' && *p != '\n' && *p != '\r') ++p;
    if (p == end) return std::string_view(begin, static_cast<std::size_t>(end - begin));
    if (m_decoded.size() <= index) m_decoded.resize(index + 1);
    return decodeRest(m_decoded[index], begin, p, end,
                      [](char c) { return c == '\t' || c == '\n' || c == '\r' ? ' ' : c; });
}

// Line ends (CR LF, a lone CR) read as LF; references are decoded.
std::string_view XmlScanner::textValue(const char* begin, const char* end) {
    const char* p = begin;
    while (p < end && !is(*p, kTextSpecial)) ++p;
    if (p == end) return std::string_view(begin, static_cast<std::size_t>(end - begin));
    return decodeRest(m_decodedText, begin, p, end, [](char c) { return c == '\r' ? '\n' : c; });
}

}  // namespace fenmo::xml::detail
