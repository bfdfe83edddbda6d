#pragma once
// Conversion between the UTF-16 text of the model and UTF-8 (files, terminals, exception texts).

#include <fenmo/Export.hpp>
#include <string>
#include <string_view>

FENMO_API_BEGIN

namespace fenmo {

// Invalid sequences are replaced, never thrown: text conversion must not fail half-way through a report.
std::string toUtf8(std::u16string_view text);
std::u16string toUtf16(std::string_view text);

// Widens 8-bit text byte by byte (for ASCII texts such as numbers and pointer forms).
std::u16string widen(std::string_view ascii);
// Decimal text of a number, as UTF-16.
std::u16string widenNumber(long long value);
// Narrows UTF-16 code units to 8 bits for texts meant to be ASCII (numbers, pointer forms): each unit
// beyond ASCII becomes '?', so it never reads as a digit or letter of such a text.
std::string narrow(std::u16string_view text);

}  // namespace fenmo

FENMO_API_END
