#pragma once
// Terminal styling: colours when writing to a terminal, plain text otherwise, and padding that counts
// what the reader sees rather than bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace arvelle::tools {

enum class ColorMode { Auto, Always, Never };

class Style {
public:
    explicit Style(bool colour) noexcept : m_colour(colour) {}
    // Colour for `mode`, where Auto means "when the output is a terminal".
    static Style choose(ColorMode mode, bool outputIsTerminal) noexcept;

    bool colour() const noexcept { return m_colour; }

    std::string bold(std::string_view text) const { return wrap("1", text); }
    std::string dim(std::string_view text) const { return wrap("2", text); }
    std::string heading(std::string_view text) const { return wrap("1;34", text); }
    std::string label(std::string_view text) const { return wrap("36", text); }
    std::string added(std::string_view text) const { return wrap("32", text); }
    std::string removed(std::string_view text) const { return wrap("31", text); }
    std::string changed(std::string_view text) const { return wrap("33", text); }

private:
    std::string wrap(const char* code, std::string_view text) const;

    bool m_colour;
};

// The number of characters (code points) of UTF-8 text: its width on a terminal for the scripts we print.
std::size_t displayWidth(std::string_view utf8) noexcept;
// `text` followed by spaces up to `width` characters.
std::string padRight(std::string_view text, std::size_t width);

}  // namespace arvelle::tools
