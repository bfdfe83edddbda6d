#pragma once
// Queries written as text, for people and scripts, parsed into the same conditions as typed queries.
// Class, property and literal names come from the registered metamodel.
//
//     SignalAttributes where dataType == "double" and sampleTime is set
//     TreeNode where childAttrs.name startswith "Wheel"
//     TreeNode where parentAttrs.children count (signalAttrs is set) >= 2
//
// Grammar (keywords in lower case; `only` leaves out subclasses):
//     query   := Class ["only"] ["where" or]
//     or      := and ("or" and)*
//     and     := unary ("and" unary)*
//     unary   := "not" unary | "(" or ")" | path test
//     path    := property ("." property)*     a relation on the way is followed; a collection on the way
//                                             means "some element of it"
//     test    := ("==" | "!=" | "<" | "<=" | ">" | ">=") literal
//              | "is" ("set" | "unset")
//              | ("startswith" | "contains" | "matches") string
//              | "has" "(" or ")"                              (a single relation)
//              | ("some" | "every" | "none") "(" or ")"         (a collection)
//              | "count" "(" or ")" compare integer | "size" compare integer
//     literal := "text" (with \" and \\) | integer | true | false | enumeration literal

#include <fenmo/Exceptions.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/query/Query.hpp>

#include <cstddef>
#include <string>
#include <string_view>

FENMO_API_BEGIN

namespace fenmo::query {

// A query text that cannot be parsed or does not fit the metamodel: catalog "fenmo:query", key
// "InvalidQueryText", arguments the reason and the 1-based column (in UTF-16 code units) where it lies.
class QueryTextException : public MessageIdException {
public:
    QueryTextException(std::u16string reason, std::size_t column);
    std::size_t column() const noexcept { return m_column; }
    const std::u16string& reason() const noexcept { return arguments().front(); }

private:
    std::size_t m_column;
};

// The query the text says; nothing is evaluated. Throws QueryTextException.
DynamicQuery parseQuery(std::u16string_view text);

}  // namespace fenmo::query

FENMO_API_END
