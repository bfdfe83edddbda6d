#include <fenmo/Exceptions.hpp>
#include <fenmo/Text.hpp>

#include <map>
#include <string_view>

namespace fenmo {

namespace {

// The framework's message catalog: the text of each key, with {0}, {1} ... standing for the arguments.
std::string_view catalogText(std::string_view key) {
    static const std::map<std::string_view, std::string_view> texts = {
        {"InvalidValue", "invalid value {0}"},
        {"CannotCastIncompatibleTypes", "a value of type '{0}' cannot be converted to the type required"},
        {"CannotModifyProxy", "a proxy element cannot be modified"},
        {"CannotSetReadOnlyProperty", "the property '{0}' cannot be set"},
        {"CannotCreateWithoutModel", "an element cannot be created without a model"},
        {"CreationFailed", "the element could not be created {0}"},
        {"UniquenessConstraint", "the value would not be unique {0}"},
        {"CannotCreateCrossModelAssociation", "elements of different models cannot be associated {0}"},
        {"CannotAddSecondObject", "the collection already holds this element"},
        {"CannotAddNonExistentObject", "an empty or destroyed element cannot be added or changed {0}"},
        {"CannotAddIncompatibleTypes", "an element of class '{0}' cannot be added where '{1}' is expected"},
    };
    auto it = texts.find(key);
    return it == texts.end() ? std::string_view("{0}") : it->second;
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
    if (!rest.empty()) result += " (" + rest + ")";
    return result;
}

}  // namespace

MessageIdException::MessageIdException(std::string catalog, std::string key, std::vector<std::u16string> arguments)
    : m_catalog(std::move(catalog)), m_key(std::move(key)), m_arguments(std::move(arguments)) {
    m_what = m_catalog + "/" + m_key + ": " + format(catalogText(m_key), m_arguments);
}

}  // namespace fenmo
