#pragma once
// Values as short text for the tree and the change reports.

#include "ElementNames.hpp"

#include <fenmo/Value.hpp>

#include <string>
#include <string_view>

namespace arvelle::tools {

// "(none)" for a value without payload; text as is, quoted when it would not read as one word;
// enumerators and host pointers as their registered serializers write them; elements by name;
// sequences as "[a, b]", sets and maps as "{a, b}".
std::string valueText(const ::fenmo::Value& value, const ElementNames& names);

// `text` as is, or in double quotes (with '"' and '\' escaped) when it is empty or holds a blank, a
// quote or a character used in the listings (",=[]{}").
std::string quoteIfNeeded(std::string_view text);

}  // namespace arvelle::tools
