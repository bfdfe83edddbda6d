#pragma once
// Errors carry a message identifier (catalog and key) and arguments, one exception type per key.

#include <exception>
#include <string>
#include <vector>

namespace fenmo {

class MessageIdException : public std::exception {
public:
    MessageIdException(std::string catalog, std::string key, std::vector<std::u16string> arguments);

    const std::string& catalog() const noexcept { return m_catalog; }
    const std::string& key() const noexcept { return m_key; }
    const std::vector<std::u16string>& arguments() const noexcept { return m_arguments; }
    // "<catalog>/<key>: <text of the catalog entry with the arguments filled in>".
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    std::string m_catalog;
    std::string m_key;
    std::vector<std::u16string> m_arguments;
    std::string m_what;
};

namespace detail {

// One distinct exception type per message key; the tag names the catalog and the key.
template <class Tag>
class KeyedException final : public MessageIdException {
public:
    explicit KeyedException(std::vector<std::u16string> arguments = {})
        : MessageIdException(Tag::catalog, Tag::key, std::move(arguments)) {}
};

}  // namespace detail

#define FENMO_MESSAGE_KEYS(X)                                                        \
    X(InvalidValue) X(CannotCastIncompatibleTypes) X(CannotModifyProxy)               \
    X(CannotSetReadOnlyProperty) X(CannotCreateWithoutModel) X(CreationFailed)        \
    X(UniquenessConstraint) X(CannotCreateCrossModelAssociation) X(CannotAddSecondObject) \
    X(CannotAddNonExistentObject) X(CannotAddIncompatibleTypes)

namespace messages {
#define FENMO_DECLARE_TAG(Key)                                   \
    struct Key {                                                 \
        static constexpr const char* catalog = "fenmo:messages"; \
        static constexpr const char* key = #Key;                 \
    };
FENMO_MESSAGE_KEYS(FENMO_DECLARE_TAG)
#undef FENMO_DECLARE_TAG
}  // namespace messages

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

}  // namespace fenmo
