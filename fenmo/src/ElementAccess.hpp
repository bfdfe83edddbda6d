#pragma once
// Framework-internal access to the bookkeeping fields of element implementations.

#include <fenmo/ModelElement.hpp>

namespace fenmo::detail {

struct ElementAccess {
    using Impl = ModelElement::Impl;
    static std::uint32_t& txSlot(Impl& e) noexcept { return e.m_txSlot; }
    static std::uint32_t& extentSlot(Impl& e) noexcept { return e.m_extentSlot; }
    static void setValid(Impl& e, bool valid) noexcept {
        if (valid) e.m_flags |= Impl::kValid;
        else e.m_flags &= static_cast<std::uint8_t>(~Impl::kValid);
    }
    static void setProxy(Impl& e) noexcept { e.m_flags |= Impl::kProxy; }
    static bool isDestroying(const Impl& e) noexcept { return (e.m_flags & Impl::kDestroying) != 0; }
    static void setDestroying(Impl& e, bool on) noexcept {
        if (on) e.m_flags |= Impl::kDestroying;
        else e.m_flags &= static_cast<std::uint8_t>(~Impl::kDestroying);
    }
    static void setContainerRaw(Impl& e, Impl* container, std::uint16_t index) noexcept {
        e.m_container = container;
        e.m_containerPropertyIndex = index;
    }
    static std::uint16_t containerIndex(const Impl& e) noexcept { return e.m_containerPropertyIndex; }
};

}  // namespace fenmo::detail
