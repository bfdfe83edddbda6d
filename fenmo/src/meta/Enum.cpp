#include "Announce.hpp"

#include <fenmo/meta/Enum.hpp>

namespace fenmo::meta {

Enum Enum::create(const Model& model, const uuid& id) { return detail::announce<Enum>(model, new Impl(model, id)); }

const EnumLiteral* Enum::Impl::literalByValue(std::int32_t value) const {
    for (const auto& [name, literal] : m_literals)
        if (literal->getValue() == value) return &literal;
    return nullptr;
}

const EnumLiteral* Enum::Impl::literalByName(std::u16string_view name) const {
    auto it = m_literals.find(std::u16string(name));
    return it == m_literals.end() ? nullptr : &it->second;
}

const EnumLiteral* Enum::Impl::literalByPublicId(std::u16string_view id) const {
    for (const auto& [name, literal] : m_literals)
        if (literal->getPublicId() == id) return &literal;
    return nullptr;
}

void Enum::Impl::addLiteral(const EnumLiteral& literal) {
    contain(literal);
    m_literals.insert_or_assign(literal->getName(), literal);
}

void Enum::Impl::releaseReferences() {
    m_underlying.reset();
    m_literals.clear();
    Type::Impl::releaseReferences();
}

EnumLiteral EnumLiteral::create(const Model& model, const uuid& id, std::int32_t value) {
    auto* impl = new Impl(model, id);
    impl->m_value = value;
    return detail::announce<EnumLiteral>(model, impl);
}

Enum EnumLiteral::Impl::getEnum() const { return Enum(const_cast<Enum::Impl*>(m_enum), true); }

void EnumLiteral::Impl::setParentEnum(const Enum& owner) {
    if (!owner.get()) return;
    m_enum = owner.get();
    owner->addLiteral(EnumLiteral(this, true));
}

}  // namespace fenmo::meta
