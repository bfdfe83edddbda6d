#include <fenmo/Exceptions.hpp>
#include <fenmo/Text.hpp>

#include <string_view>

namespace fenmo {

namespace {

// The text of a key of the framework's catalog; none for a key it does not have.
std::string_view catalogText(std::string_view catalog, std::string_view key) {
    if (catalog == kFrameworkCatalog)
        for (const MessageEntry& entry : frameworkMessages())
            if (entry.key == key) return entry.text;
    return {};
}

std::string format(std::string_view text, const std::vector<std::u16string>& arguments) {
    std::string result;
    bool used[10] = {};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}' && text[i + 1] >= '0' && text[i + 1] <= '9') {
            std::size_t n = static_cast<std::size_t>(text[i + 1] - '0');
            if (n < arguments.size()) result += toUtf8(arguments[n]);
            used[n] = true;
            i += 2;
        } else {
            result.push_back(text[i]);
        }
    }
    // Arguments the text does not place are appended, so that none is lost.
    std::string rest;
    for (std::size_t n = 0; n < arguments.size(); ++n)
        if (n >= 10 || !used[n]) rest += (rest.empty() ? "" : ", ") + toUtf8(arguments[n]);
    while (!result.empty() && result.back() == ' ') result.pop_back();
    if (!rest.empty()) result += result.empty() ? rest : " (" + rest + ")";
    return result;
}

}  // namespace

std::span<const MessageEntry> frameworkMessages() noexcept {
    static constexpr MessageEntry entries[] = {
#define FENMO_ENTRY(Key, Min, Max, Text) {#Key, Min, Max, Text},
        FENMO_MESSAGES(FENMO_ENTRY)
#undef FENMO_ENTRY
    };
    return entries;
}

MessageIdException::MessageIdException(std::string catalog, std::string key,
                                       std::vector<std::u16string> arguments)
    : MessageIdException(catalog, key, catalogText(catalog, key), std::move(arguments)) {}

MessageIdException::MessageIdException(std::string catalog, std::string key, std::string_view text,
                                       std::vector<std::u16string> arguments)
    : m_catalog(std::move(catalog)), m_key(std::move(key)), m_arguments(std::move(arguments)) {
    const std::string message = format(text, m_arguments);
    m_what = m_catalog + "/" + m_key + (message.empty() ? "" : ": " + message);
}

}  // namespace fenmo
