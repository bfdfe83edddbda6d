#include <arvelle/meta/EnumSerializers.hpp>

#include <fenmo/Text.hpp>

#include <boost/lexical_cast.hpp>

namespace fenmo::meta::detail {

std::int32_t parseDecimal(const std::u16string& text) {
    std::string narrow = toUtf8(text);
    std::size_t digits = !narrow.empty() && (narrow[0] == '+' || narrow[0] == '-') ? 1 : 0;
    if (digits == narrow.size()) throw InvalidValueException({text});
    for (std::size_t i = digits; i < narrow.size(); ++i)
        if (narrow[i] < '0' || narrow[i] > '9') throw InvalidValueException({text});
    std::int32_t value = 0;
    if (!boost::conversion::try_lexical_convert(narrow, value))
        throw InvalidValueException({text});  // out of range
    return value;
}

std::u16string decimalText(std::int32_t value) { return widenNumber(value); }

}  // namespace fenmo::meta::detail
