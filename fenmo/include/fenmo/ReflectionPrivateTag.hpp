#pragma once
// Options of reflective access: whether protected properties may be written, whether proxies are resolved.
// Hosts use fenmo::Reflection (fenmo/Reflection.hpp), which names these options; the tag is what the
// element classes' virtual operations receive.

#include <fenmo/Export.hpp>
#include <cstdint>

FENMO_API_BEGIN

namespace fenmo {

// Whether a reflective write may also reach properties without public mutator (loading, copying).
enum class Access : std::uint8_t { Public, Privileged };
// Whether a reflective read replaces proxies by the elements they stand for, when those are loaded.
enum class Proxies : std::uint8_t { Resolve, Keep };

class ReflectionPrivateTag {
public:
    constexpr explicit ReflectionPrivateTag(bool privileged = false, bool resolveProxies = true) noexcept
        : m_privileged(privileged), m_resolveProxies(resolveProxies) {}
    constexpr explicit ReflectionPrivateTag(Access access, Proxies proxies = Proxies::Resolve) noexcept
        : m_privileged(access == Access::Privileged), m_resolveProxies(proxies == Proxies::Resolve) {}

    constexpr bool isPrivileged() const noexcept { return m_privileged; }
    constexpr bool resolveProxies() const noexcept { return m_resolveProxies; }
    constexpr Access access() const noexcept { return m_privileged ? Access::Privileged : Access::Public; }
    constexpr Proxies proxies() const noexcept { return m_resolveProxies ? Proxies::Resolve : Proxies::Keep; }

    // Public access, resolving proxies: what ordinary callers use.
    static const ReflectionPrivateTag& standard() noexcept;
    // Access that may also write properties without public mutator (loading, copying).
    static const ReflectionPrivateTag& privileged() noexcept;
    // Public access that leaves proxies as they are.
    static const ReflectionPrivateTag& unresolved() noexcept;

private:
    bool m_privileged;
    bool m_resolveProxies;
};

}  // namespace fenmo

FENMO_API_END
