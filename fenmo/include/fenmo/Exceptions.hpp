#pragma once
// Errors carry a message identifier (catalog and key) and arguments, one exception type per key.

#include <fenmo/Export.hpp>
#include <cassert>
#include <cstddef>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

class MessageIdException : public std::exception {
public:
    // The text of a key of the framework's catalog is looked up there; other catalogs' texts are not
    // known here, so their arguments are listed after the key.
    MessageIdException(std::string catalog, std::string key, std::vector<std::u16string> arguments);

    const std::string& catalog() const noexcept { return m_catalog; }
    const std::string& key() const noexcept { return m_key; }
    const std::vector<std::u16string>& arguments() const noexcept { return m_arguments; }
    // "<catalog>/<key>: <text of the catalog entry with the arguments filled in>".
    const char* what() const noexcept override { return m_what.c_str(); }

protected:
    // With the entry's text given: {0}, {1} ... stand for the arguments.
    MessageIdException(std::string catalog, std::string key, std::string_view text,
                       std::vector<std::u16string> arguments);

private:
    std::string m_catalog;
    std::string m_key;
    std::vector<std::u16string> m_arguments;
    std::string m_what;
};

// The framework's message catalog "fenmo:messages", in one list: each key, the least and the most
// arguments it takes, and its text with {0}, {1} ... standing for them. The library raises the keys
// its users know (InvalidValue ... CannotAddIncompatibleTypes); InvalidOperation is the framework's own,
// for calls that are not possible in the state the model is in (a programming error of the caller, not
// bad input).
#define FENMO_MESSAGES(X)                                                                                    \
    X(InvalidValue, 0, 2, "invalid value {0}")                                                               \
    X(CannotCastIncompatibleTypes, 1, 1, "a value of type '{0}' cannot be converted to the type required")   \
    X(CannotModifyProxy, 0, 0, "a proxy element cannot be modified")                                         \
    X(CannotSetReadOnlyProperty, 1, 1, "the property '{0}' cannot be set")                                   \
    X(CannotCreateWithoutModel, 0, 0, "an element cannot be created without a model")                        \
    X(CreationFailed, 0, 1, "the element could not be created {0}")                                          \
    X(UniquenessConstraint, 1, 2, "the value would not be unique {0}")                                       \
    X(CannotCreateCrossModelAssociation, 0, 1, "elements of different models cannot be associated {0}")      \
    X(CannotAddSecondObject, 0, 0, "the collection already holds this element")                              \
    X(CannotAddNonExistentObject, 0, 1, "an empty or destroyed element cannot be added or changed {0}")      \
    X(CannotAddIncompatibleTypes, 2, 2, "an element of class '{0}' cannot be added where '{1}' is expected") \
    X(InvalidOperation, 1, 1, "the operation is not possible: {0}")                                         \
    X(InvalidFile, 2, 2, "{0}: {1}")                                                                         \
    X(UnsupportedVersion, 2, 2, "{0}: {1}")                                                                  \
    X(SaveFailed, 2, 2, "cannot save {0}: {1}")

// One entry of a catalog, for tools and bindings that list or check the messages.
struct MessageEntry {
    std::string_view key;
    std::size_t minArguments;
    std::size_t maxArguments;
    std::string_view text;
};
inline constexpr std::string_view kFrameworkCatalog = "fenmo:messages";
// The entries of FENMO_MESSAGES, in that order.
std::span<const MessageEntry> frameworkMessages() noexcept;

namespace messages {
#define FENMO_DECLARE_TAG(Key, Min, Max, Text)                               \
    struct Key {                                                             \
        static constexpr const char* catalog = kFrameworkCatalog.data();     \
        static constexpr const char* key = #Key;                             \
        static constexpr std::string_view text = Text;                       \
        static constexpr std::size_t minArguments = Min, maxArguments = Max; \
    };
FENMO_MESSAGES(FENMO_DECLARE_TAG)
#undef FENMO_DECLARE_TAG
}  // namespace messages

namespace detail {

// One distinct exception type per message key; the tag names the catalog, the key and the text. The
// number of arguments is the catalog's for the key (checked in debug builds).
template <class Tag>
class KeyedException final : public MessageIdException {
public:
    explicit KeyedException(std::vector<std::u16string> arguments = {})
        : MessageIdException(Tag::catalog, Tag::key, Tag::text, checked(std::move(arguments))) {}

private:
    static std::vector<std::u16string> checked(std::vector<std::u16string> arguments) {
        assert(arguments.size() >= Tag::minArguments && arguments.size() <= Tag::maxArguments &&
               "the number of arguments differs from the message catalog's");
        return arguments;
    }
};

}  // namespace detail

using InvalidValueException = detail::KeyedException<messages::InvalidValue>;
using CannotCastIncompatibleTypesException = detail::KeyedException<messages::CannotCastIncompatibleTypes>;
using CannotModifyProxyException = detail::KeyedException<messages::CannotModifyProxy>;
using CannotSetReadOnlyPropertyException = detail::KeyedException<messages::CannotSetReadOnlyProperty>;
using CannotCreateWithoutModelException = detail::KeyedException<messages::CannotCreateWithoutModel>;
using CreationFailedException = detail::KeyedException<messages::CreationFailed>;
using UniquenessConstraintException = detail::KeyedException<messages::UniquenessConstraint>;
using CannotCreateCrossModelAssociationException =
    detail::KeyedException<messages::CannotCreateCrossModelAssociation>;
using CannotAddSecondObjectException = detail::KeyedException<messages::CannotAddSecondObject>;
using CannotAddNonExistentObjectException = detail::KeyedException<messages::CannotAddNonExistentObject>;
using CannotAddIncompatibleTypesException = detail::KeyedException<messages::CannotAddIncompatibleTypes>;
using InvalidOperationException = detail::KeyedException<messages::InvalidOperation>;
using InvalidFileException = detail::KeyedException<messages::InvalidFile>;
using UnsupportedVersionException = detail::KeyedException<messages::UnsupportedVersion>;
using SaveFailedException = detail::KeyedException<messages::SaveFailed>;

}  // namespace fenmo

FENMO_API_END
