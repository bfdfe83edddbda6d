#pragma once
// Options of reflective access: whether protected properties may be written, whether proxies are resolved.

namespace fenmo {

class ReflectionPrivateTag {
public:
    constexpr explicit ReflectionPrivateTag(bool privileged = false, bool resolveProxies = true) noexcept
        : m_privileged(privileged), m_resolveProxies(resolveProxies) {}

    constexpr bool isPrivileged() const noexcept { return m_privileged; }
    constexpr bool resolveProxies() const noexcept { return m_resolveProxies; }

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
