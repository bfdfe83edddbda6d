#pragma once
// Enumerations and their literals.

#include <fenmo/Export.hpp>
#include <fenmo/meta/Type.hpp>

#include <boost/optional.hpp>

#include <cstdint>
#include <map>
#include <string>

FENMO_API_BEGIN

namespace fenmo::meta {

class EnumLiteral;

class Enum : public ElementHandle<Enum, Type> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
    static Enum create(const Model& model, const uuid& id);
};

class Enum::Impl : public Type::Impl {
public:
    // The literals by name (ordered by name).
    const std::map<std::u16string, EnumLiteral>& getLiterals() const noexcept { return m_literals; }
    const EnumLiteral* literalByValue(std::int32_t value) const;
    const EnumLiteral* literalByName(std::u16string_view name) const;
    // The literal whose public identifier (its name when it has none of its own) is `id`.
    const EnumLiteral* literalByPublicId(std::u16string_view id) const;

    // Used as a literal is given this enumeration as its owner.
    void addLiteral(const EnumLiteral& literal);

    const Type& getUnderlyingType() const noexcept { return m_underlying; }
    void setUnderlyingType(const Type& type) { m_underlying = type; }

protected:
    void releaseReferences() override;

private:
    friend class Enum;
    friend class EnumLiteral;
    using Type::Impl::Impl;

    std::map<std::u16string, EnumLiteral> m_literals;
    Type m_underlying;
};

class EnumLiteral : public ElementHandle<EnumLiteral, NamedElement> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
    static EnumLiteral create(const Model& model, const uuid& id, std::int32_t value);
};

class EnumLiteral::Impl : public NamedElement::Impl {
public:
    std::int32_t getValue() const noexcept { return m_value; }
    const boost::optional<std::u16string>& getOwnPublicId() const noexcept { return m_publicId; }
    void setPublicId(boost::optional<std::u16string> id) { m_publicId = std::move(id); }
    // The literal's public identifier, or its name when it has none.
    const std::u16string& getPublicId() const noexcept { return m_publicId ? *m_publicId : getName(); }

    Enum getEnum() const;
    // Makes `owner` the enumeration that declares this literal.
    void setParentEnum(const Enum& owner);

private:
    friend class EnumLiteral;
    using NamedElement::Impl::Impl;
    std::int32_t m_value = 0;
    boost::optional<std::u16string> m_publicId;
    const Enum::Impl* m_enum = nullptr;
};

}  // namespace fenmo::meta

FENMO_API_END
