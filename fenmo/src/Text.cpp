#include <fenmo/Text.hpp>

#include <utf8.h>

#include <iterator>
#include <string>

namespace fenmo {

std::string toUtf8(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    try {
        utf8::utf16to8(text.begin(), text.end(), std::back_inserter(result));
    } catch (const utf8::exception&) {
        // An unpaired surrogate: replace it, and only it, by U+FFFD.
        result.clear();
        std::u16string fixed(text);
        auto isHigh = [](char16_t c) { return c >= 0xD800 && c <= 0xDBFF; };
        auto isLow = [](char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
        for (std::size_t i = 0; i < fixed.size(); ++i) {
            if (isHigh(fixed[i]) && i + 1 < fixed.size() && isLow(fixed[i + 1])) ++i;
            else if (isHigh(fixed[i]) || isLow(fixed[i])) fixed[i] = 0xFFFD;
        }
        utf8::utf16to8(fixed.begin(), fixed.end(), std::back_inserter(result));
    }
    return result;
}

std::u16string toUtf16(std::string_view text) {
    std::string valid;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    std::u16string result;
    result.reserve(valid.size());
    utf8::utf8to16(valid.begin(), valid.end(), std::back_inserter(result));
    return result;
}

std::u16string widen(std::string_view ascii) {
    std::u16string result(ascii.size(), u'\0');
    for (std::size_t i = 0; i < ascii.size(); ++i) result[i] = static_cast<unsigned char>(ascii[i]);
    return result;
}

std::string narrow(std::u16string_view text) {
    std::string result(text.size(), '\0');
    // A unit beyond ASCII becomes '?': keeping its low byte would turn U+0131 into the digit 1.
    for (std::size_t i = 0; i < text.size(); ++i)
        result[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return result;
}

std::u16string widenNumber(long long value) { return widen(std::to_string(value)); }

}  // namespace fenmo
