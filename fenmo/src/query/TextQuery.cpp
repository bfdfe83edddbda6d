#include <fenmo/query/TextQuery.hpp>

#include <fenmo/Text.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Package.hpp>

#include <limits>
#include <optional>
#include <vector>

namespace fenmo::query {

QueryTextException::QueryTextException(std::u16string reason, std::size_t column)
    : MessageIdException("fenmo:query", "InvalidQueryText", "{0} (column {1})",
                         {std::move(reason), widenNumber(static_cast<long long>(column))}),
      m_column(column) {}

namespace {

using detail::Compare;
using detail::NodePtr;
using detail::PropertyAccess;

std::u16string quotedName(std::u16string_view name) {
    return u"'" + std::u16string(name) + u"'";
}

enum class Tok { End, Ident, String, Integer, Symbol };

struct Token {
    Tok kind = Tok::End;
    std::u16string text;  // identifier, symbol or the string's value
    long long number = 0;
    std::size_t column = 0;  // 1-based
};

class Lexer {
public:
    explicit Lexer(std::u16string_view text) : m_text(text) {}

    std::vector<Token> tokens() {
        std::vector<Token> out;
        for (;;) {
            while (m_pos < m_text.size() && isSpace(m_text[m_pos])) ++m_pos;
            Token t;
            t.column = m_pos + 1;
            if (m_pos == m_text.size()) {
                out.push_back(t);
                return out;
            }
            const char16_t c = m_text[m_pos];
            if (isIdentStart(c)) {
                std::size_t start = m_pos;
                while (m_pos < m_text.size() && isIdentPart(m_text[m_pos])) ++m_pos;
                t.kind = Tok::Ident;
                t.text = m_text.substr(start, m_pos - start);
            } else if (isDigit(c) || (c == u'-' && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1]))) {
                std::size_t start = m_pos++;
                while (m_pos < m_text.size() && isDigit(m_text[m_pos])) ++m_pos;
                t.kind = Tok::Integer;
                t.text = m_text.substr(start, m_pos - start);
                long long value = 0;
                for (char16_t d : t.text.substr(t.text[0] == u'-' ? 1 : 0)) {
                    value = value * 10 + (d - u'0');
                    if (value > std::numeric_limits<std::int32_t>::max() + 1LL)
                        throw QueryTextException(u"the number " + t.text + u" is too large", t.column);
                }
                t.number = t.text[0] == u'-' ? -value : value;
                if (t.number > std::numeric_limits<std::int32_t>::max())
                    throw QueryTextException(u"the number " + t.text + u" is too large", t.column);
            } else if (c == u'"') {
                ++m_pos;
                t.kind = Tok::String;
                for (;;) {
                    if (m_pos == m_text.size())
                        throw QueryTextException(u"the text has no closing quote", t.column);
                    char16_t d = m_text[m_pos++];
                    if (d == u'"') break;
                    if (d == u'\\') {
                        if (m_pos == m_text.size())
                            throw QueryTextException(u"the text has no closing quote", t.column);
                        d = m_text[m_pos++];
                        if (d != u'"' && d != u'\\')
                            throw QueryTextException(u"unknown escape \\" + std::u16string(1, d) +
                                                         u" in a text (only \\\" and \\\\)",
                                                     m_pos - 1);
                    }
                    t.text.push_back(d);
                }
            } else {
                t.kind = Tok::Symbol;
                static const char16_t* const symbols[] = {u"==", u"!=", u"<=", u">=", u"<",
                                                          u">",  u"(",  u")",  u"."};
                for (const char16_t* s : symbols) {
                    std::u16string_view sv(s);
                    if (m_text.substr(m_pos).starts_with(sv)) {
                        t.text = sv;
                        break;
                    }
                }
                if (t.text.empty())
                    throw QueryTextException(u"unexpected character " + quotedName(m_text.substr(m_pos, 1)),
                                             t.column);
                m_pos += t.text.size();
            }
            out.push_back(std::move(t));
        }
    }

private:
    static bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
    static bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
    static bool isIdentStart(char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
    }
    static bool isIdentPart(char16_t c) { return isIdentStart(c) || isDigit(c); }

    std::u16string_view m_text;
    std::size_t m_pos = 0;
};

// What a property holds, as the text form sees it.
enum class Shape { Text, Integer, Logical, Enumeration, Relation, Collection, Unqueryable };

const meta::Class::Impl* classOfType(const meta::Property::Impl& p) {
    return dynamic_cast<const meta::Class::Impl*>(p.typeImpl());
}

Shape shapeOf(const meta::Property::Impl& p) {
    if (p.isDerived()) return Shape::Unqueryable;
    if (classOfType(p)) {
        if (p.isMany()) return Shape::Collection;
        return Shape::Relation;
    }
    if (p.isMany()) return Shape::Unqueryable;
    if (dynamic_cast<const meta::Enum::Impl*>(p.typeImpl())) return Shape::Enumeration;
    const auto* type = dynamic_cast<const meta::Type::Impl*>(p.typeImpl());
    if (!type) return Shape::Unqueryable;
    if (type->getName() == u"String") return Shape::Text;
    if (type->getName() == u"Integer") return Shape::Integer;
    if (type->getName() == u"Boolean") return Shape::Logical;
    return Shape::Unqueryable;  // host pointers
}

const char16_t* shapeName(Shape s) {
    switch (s) {
        case Shape::Text:
            return u"text";
        case Shape::Integer:
            return u"an integer";
        case Shape::Logical:
            return u"a logical";
        case Shape::Enumeration:
            return u"an enumeration";
        case Shape::Relation:
            return u"an element";
        case Shape::Collection:
            return u"a collection of elements";
        case Shape::Unqueryable:
            return u"not queryable";
    }
    return u"?";
}

const meta::Class::Impl* findClassIn(const ModelElement& element, std::u16string_view name) {
    if (const auto* cls = dynamic_cast<const meta::Class::Impl*>(element.get()))
        return cls->getName() == name ? cls : nullptr;
    if (const auto* package = dynamic_cast<const meta::Package::Impl*>(element.get()))
        for (const ModelElement& content : package->getContents())
            if (const meta::Class::Impl* found = findClassIn(content, name)) return found;
    return nullptr;
}

class Parser {
public:
    explicit Parser(std::u16string_view text) : m_tokens(Lexer(text).tokens()) {}

    DynamicQuery parse() {
        // Names are read under the registry's lock, so that no package comes or goes meanwhile.
        meta::MetaRegistry::LockedModel lock = meta::MetaRegistry::getInstance()->getMetaRegistryModel();
        const Token& name = expectIdent(u"a class name");
        const meta::Class::Impl* cls = findClass(name);
        SearchClassMatchMode mode = SearchClassMatchMode::WithSubclasses;
        if (isWord(u"only")) {
            next();
            mode = SearchClassMatchMode::ClassOnly;
        }
        NodePtr condition;
        if (isWord(u"where")) {
            next();
            condition = parseOr(*cls);
        }
        if (peek().kind != Tok::End)
            fail(condition ? u"expected 'and', 'or' or the end of the query"
                           : u"expected 'where' or the end of the query");
        return DynamicQuery(meta::Class(const_cast<meta::Class::Impl*>(cls), true), mode, condition);
    }

private:
    const Token& peek() const { return m_tokens[m_pos]; }
    const Token& next() { return m_tokens[m_pos < m_tokens.size() - 1 ? m_pos++ : m_pos]; }
    bool isWord(std::u16string_view w) const { return peek().kind == Tok::Ident && peek().text == w; }
    bool isSymbol(std::u16string_view s) const { return peek().kind == Tok::Symbol && peek().text == s; }
    [[noreturn]] void fail(const std::u16string& what) const { failAt(what, peek()); }
    [[noreturn]] static void failAt(const std::u16string& what, const Token& at) {
        std::u16string found = at.kind == Tok::End      ? u"the end of the query"
                               : at.kind == Tok::String ? u"a text"
                                                        : quotedName(at.text);
        throw QueryTextException(what + u", found " + found, at.column);
    }
    const Token& expectIdent(const std::u16string& what) {
        if (peek().kind != Tok::Ident) fail(u"expected " + what);
        return next();
    }
    void expectSymbol(std::u16string_view s) {
        if (!isSymbol(s)) fail(u"expected " + quotedName(s));
        next();
    }

    const meta::Class::Impl* findClass(const Token& name) const {
        for (const meta::Package& root : meta::MetaRegistry::getInstance()->getRootPackages())
            if (const meta::Class::Impl* cls = findClassIn(root, name.text)) return cls;
        throw QueryTextException(u"unknown class " + quotedName(name.text), name.column);
    }

    NodePtr parseOr(const meta::Class::Impl& cls) {
        NodePtr left = parseAnd(cls);
        while (isWord(u"or")) {
            next();
            left = detail::anyOf(left, parseAnd(cls));
        }
        return left;
    }
    NodePtr parseAnd(const meta::Class::Impl& cls) {
        NodePtr left = parseUnary(cls);
        while (isWord(u"and")) {
            next();
            left = detail::allOf(left, parseUnary(cls));
        }
        return left;
    }
    NodePtr parseUnary(const meta::Class::Impl& cls) {
        if (isWord(u"not")) {
            next();
            return detail::negation(parseUnary(cls));
        }
        if (isSymbol(u"(")) {
            next();
            NodePtr inner = parseOr(cls);
            expectSymbol(u")");
            return inner;
        }
        return parseTest(cls);
    }

    // path test: each step but the last navigates; the last takes the test.
    NodePtr parseTest(const meta::Class::Impl& cls) {
        const Token& nameToken = expectIdent(u"a property name, 'not' or '('");
        meta::Property property = cls.findProperty(nameToken.text);
        if (!property.get())
            throw QueryTextException(
                quotedName(cls.getName()) + u" has no property " + quotedName(nameToken.text),
                nameToken.column);
        const meta::Property::Impl& p = *property.get();
        const Shape shape = shapeOf(p);
        if (shape == Shape::Unqueryable)
            throw QueryTextException(quotedName(cls.getName() + u"." + p.getName()) + u" cannot be queried",
                                     nameToken.column);
        PropertyAccess access{property};
        if (isSymbol(u".")) {
            const Token& dot = next();
            if (shape != Shape::Relation && shape != Shape::Collection)
                failAt(quotedName(p.getName()) + u" is " + shapeName(shape) + u" and has no properties", dot);
            NodePtr inner = parseTest(*classOfType(p));
            return shape == Shape::Relation ? detail::relationWhere(access, inner)
                                            : detail::quantified(access, detail::Quantifier::Some, inner);
        }
        const Token& word = peek();
        auto wrongShape = [&](const std::u16string& needs) {
            failAt(quotedName(p.getName()) + u" is " + shapeName(shape) + u"; " + needs, word);
        };
        if (word.kind == Tok::Symbol && word.text != u"(" && word.text != u")" && word.text != u".") {
            const Compare op = compareOf(next().text);
            if (shape == Shape::Relation || shape == Shape::Collection)
                wrongShape(u"compare its properties instead (" + p.getName() + u".name == ...)");
            return compareWith(access, shape, op);
        }
        if (word.kind != Tok::Ident)
            fail(
                u"expected a comparison, 'is', 'startswith', 'contains', 'matches', "
                u"'has', 'some', 'every', 'none', 'count' or 'size'");
        const std::u16string w = next().text;
        if (w == u"is") {
            const Token& what = peek();
            if (!isWord(u"set") && !isWord(u"unset")) fail(u"expected 'set' or 'unset'");
            next();
            if (shape != Shape::Relation && shape != Shape::Collection && p.isMandatory())
                throw QueryTextException(quotedName(p.getName()) + u" always has a value", what.column);
            return detail::isSet(access, what.text == u"set");
        }
        if (w == u"startswith" || w == u"contains" || w == u"matches") {
            if (shape != Shape::Text) wrongShape(u"'" + w + u"' needs text");
            if (peek().kind != Tok::String) fail(u"expected a text in double quotes");
            const Token& text = next();
            const auto test = w == u"startswith" ? detail::TextTest::StartsWith
                              : w == u"contains" ? detail::TextTest::Contains
                                                 : detail::TextTest::Matches;
            try {
                return detail::textPredicate(access, test, text.text);
            } catch (const InvalidValueException&) {
                throw QueryTextException(u"invalid regular expression", text.column);
            }
        }
        if (w == u"has") {
            if (shape != Shape::Relation) wrongShape(u"'has' needs a single element");
            return detail::relationWhere(access, parseGroup(*classOfType(p)));
        }
        if (w == u"some" || w == u"every" || w == u"none") {
            if (shape != Shape::Collection) wrongShape(u"'" + w + u"' needs a collection");
            const auto quantifier = w == u"some"    ? detail::Quantifier::Some
                                    : w == u"every" ? detail::Quantifier::Every
                                                    : detail::Quantifier::None;
            return detail::quantified(access, quantifier, parseGroup(*classOfType(p)));
        }
        if (w == u"count" || w == u"size") {
            if (shape != Shape::Collection) wrongShape(u"'" + w + u"' needs a collection");
            NodePtr inner = w == u"count" ? parseGroup(*classOfType(p)) : nullptr;
            if (peek().kind != Tok::Symbol || peek().text == u"(" || peek().text == u")" ||
                peek().text == u".")
                fail(u"expected a comparison");
            const Compare op = compareOf(next().text);
            if (peek().kind != Tok::Integer) fail(u"expected an integer");
            return detail::count(access, inner, op, static_cast<std::int32_t>(next().number));
        }
        failAt(
            u"expected a comparison, 'is', 'startswith', 'contains', 'matches', 'has', 'some', 'every', "
            u"'none', 'count' or 'size'",
            m_tokens[m_pos - 1]);
    }

    NodePtr parseGroup(const meta::Class::Impl& cls) {
        expectSymbol(u"(");
        NodePtr inner = parseOr(cls);
        expectSymbol(u")");
        return inner;
    }

    static Compare compareOf(const std::u16string& s) {
        if (s == u"==") return Compare::Equal;
        if (s == u"!=") return Compare::NotEqual;
        if (s == u"<") return Compare::Less;
        if (s == u"<=") return Compare::LessEqual;
        if (s == u">") return Compare::Greater;
        return Compare::GreaterEqual;
    }

    NodePtr compareWith(const PropertyAccess& access, Shape shape, Compare op) {
        const meta::Property::Impl& p = access.impl();
        const Token& value = peek();
        auto mismatch = [&](const char16_t* needs) {
            failAt(quotedName(p.getName()) + u" is " + shapeName(shape) + u"; expected " + needs, value);
        };
        switch (shape) {
            case Shape::Text:
                if (value.kind != Tok::String) mismatch(u"a text in double quotes");
                next();
                return detail::compareText(access, op, value.text);
            case Shape::Integer:
                if (value.kind != Tok::Integer) mismatch(u"an integer");
                next();
                return detail::compareNumber(access, op, static_cast<std::int32_t>(value.number));
            case Shape::Logical:
                if (value.kind != Tok::Ident || (value.text != u"true" && value.text != u"false"))
                    mismatch(u"true or false");
                next();
                return detail::compareNumber(access, op, value.text == u"true" ? 1 : 0);
            case Shape::Enumeration: {
                const auto& e = dynamic_cast<const meta::Enum::Impl&>(*p.typeImpl());
                if (value.kind != Tok::Ident) mismatch((u"a literal of " + e.getName()).c_str());
                auto it = e.getLiterals().find(value.text);
                if (it == e.getLiterals().end() || !it->second.get()) {
                    std::u16string known;
                    for (const auto& [literal, _] : e.getLiterals())
                        known += (known.empty() ? u"" : u", ") + literal;
                    throw QueryTextException(quotedName(value.text) + u" is not a literal of " + e.getName() +
                                                 u" (" + known + u")",
                                             value.column);
                }
                next();
                return detail::compareNumber(access, op, it->second->getValue());
            }
            default:
                break;
        }
        failAt(quotedName(p.getName()) + u" cannot be compared", value);
    }

    std::vector<Token> m_tokens;
    std::size_t m_pos = 0;
};

}  // namespace

DynamicQuery parseQuery(std::u16string_view text) {
    return Parser(text).parse();
}

}  // namespace fenmo::query
