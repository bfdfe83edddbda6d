#include "Style.hpp"

namespace arvelle::tools {

Style Style::choose(ColorMode mode, bool outputIsTerminal) noexcept {
    switch (mode) {
        case ColorMode::Always:
            return Style(true);
        case ColorMode::Never:
            return Style(false);
        case ColorMode::Auto:
            break;
    }
    return Style(outputIsTerminal);
}

std::string Style::wrap(const char* code, std::string_view text) const {
    if (!m_colour || text.empty()) return std::string(text);
    std::string result = "\x1b[";
    result += code;
    result += 'm';
    result += text;
    result += "\x1b[0m";
    return result;
}

std::size_t displayWidth(std::string_view utf8) noexcept {
    std::size_t width = 0;
    for (unsigned char c : utf8) width += (c & 0xC0) != 0x80;  // count lead bytes, skip continuations
    return width;
}

std::string padRight(std::string_view text, std::size_t width) {
    std::string result(text);
    std::size_t shown = displayWidth(text);
    if (shown < width) result.append(width - shown, ' ');
    return result;
}

}  // namespace arvelle::tools
