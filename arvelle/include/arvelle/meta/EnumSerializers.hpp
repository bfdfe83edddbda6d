#pragma once
// Text forms of enumerators: by literal name (empty key), by decimal value ("ID"), by public
// identifier ("PublicID"). A text that names no literal fails with "InvalidValue" giving the text.

#include <arvelle/Export.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/PropertySerializer.hpp>

#include <cstdint>
#include <string>

ARVELLE_API_BEGIN

namespace fenmo::meta {

namespace detail {
// The decimal text must be, in full, an optional sign and digits within the 32-bit range; otherwise
// "InvalidValue" giving the text.
std::int32_t parseDecimal(const std::u16string& text);
std::u16string decimalText(std::int32_t value);
}  // namespace detail

// What the three enumeration serializers share: the enumeration's type and its literals.
template <class E>
class EnumPropertySerializer : public DefaultPropertySerializer<E> {
public:
    const Type& type() const noexcept { return m_type; }

protected:
    explicit EnumPropertySerializer(const Type& type) : DefaultPropertySerializer<E>(type.get()), m_type(type) {}
    EnumPropertySerializer(const EnumPropertySerializer&) = default;
    EnumPropertySerializer(EnumPropertySerializer&&) noexcept = default;
    EnumPropertySerializer& operator=(const EnumPropertySerializer&) = default;
    EnumPropertySerializer& operator=(EnumPropertySerializer&&) noexcept = default;

    const Enum::Impl& enumeration() const { return static_cast<const Enum::Impl&>(*m_type.get()); }
    // The first literal, in name order, with this value.
    const EnumLiteral* literalOf(E value) const { return enumeration().literalByValue(static_cast<std::int32_t>(value)); }
    static E valueOf(const EnumLiteral* literal, const std::u16string& text) {
        if (!literal) throw InvalidValueException({text});
        return static_cast<E>((*literal)->getValue());
    }

private:
    Type m_type;
};

template <class E>
class EnumPropertySerializerAsName : public EnumPropertySerializer<E> {
public:
    explicit EnumPropertySerializerAsName(const Type& type) : EnumPropertySerializer<E>(type) {}

protected:
    std::u16string doSerializeValue(E value) const override {
        const EnumLiteral* literal = this->literalOf(value);
        return literal ? (*literal)->getName() : std::u16string();
    }
    E doParseValue(const std::u16string& text) const override {
        return this->valueOf(this->enumeration().literalByName(text), text);
    }
};

template <class E>
class EnumPropertySerializerAsValue : public EnumPropertySerializer<E> {
public:
    explicit EnumPropertySerializerAsValue(const Type& type) : EnumPropertySerializer<E>(type) {}

protected:
    std::u16string doSerializeValue(E value) const override {
        return detail::decimalText(static_cast<std::int32_t>(value));
    }
    E doParseValue(const std::u16string& text) const override {
        return this->valueOf(this->enumeration().literalByValue(detail::parseDecimal(text)), text);
    }
};

template <class E>
class EnumPropertySerializerAsPublicId : public EnumPropertySerializer<E> {
public:
    explicit EnumPropertySerializerAsPublicId(const Type& type) : EnumPropertySerializer<E>(type) {}

protected:
    std::u16string doSerializeValue(E value) const override {
        const EnumLiteral* literal = this->literalOf(value);
        return literal ? (*literal)->getPublicId() : std::u16string();
    }
    E doParseValue(const std::u16string& text) const override {
        return this->valueOf(this->enumeration().literalByPublicId(text), text);
    }
};

}  // namespace fenmo::meta

ARVELLE_API_END
