#pragma once
// The stored value of an optional enumeration property in one byte instead of an optional's eight: unset,
// or an enumerator from 0 to 254 (a generated class keeps an optional for an enumeration with more
// literals). The typed getters still hand out `const boost::optional<E>&`, a reference into a table of
// every value the byte can stand for.

#include <fenmo/Export.hpp>

#include <boost/optional.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

FENMO_API_BEGIN

namespace fenmo {

template <class E>
class OptionalEnumerator {
    static_assert(std::is_enum_v<E>);

public:
    using Optional = boost::optional<E>;
    using value_type = E;

    OptionalEnumerator() noexcept = default;
    OptionalEnumerator(const Optional& value) noexcept : m_code(codeOf(value)) {}  // NOLINT: implicit
    OptionalEnumerator& operator=(const Optional& value) noexcept {
        m_code = codeOf(value);
        return *this;
    }

    const Optional& get() const noexcept { return table()[m_code]; }
    operator const Optional&() const noexcept { return get(); }  // NOLINT: reads as the optional
    bool has_value() const noexcept { return m_code != 0; }
    explicit operator bool() const noexcept { return m_code != 0; }
    E operator*() const noexcept { return static_cast<E>(m_code - 1); }

    friend void swap(OptionalEnumerator& a, OptionalEnumerator& b) noexcept { std::swap(a.m_code, b.m_code); }
    friend bool operator==(const OptionalEnumerator& a, const OptionalEnumerator& b) noexcept {
        return a.m_code == b.m_code;
    }
    friend bool operator==(const OptionalEnumerator& a, const Optional& b) noexcept { return a.get() == b; }

private:
    static std::uint8_t codeOf(const Optional& value) noexcept {
        return value ? static_cast<std::uint8_t>(static_cast<std::int64_t>(*value) + 1) : 0;
    }
    static const std::array<Optional, 256>& table() noexcept {
        static const std::array<Optional, 256> values = [] {
            std::array<Optional, 256> all;
            for (std::size_t code = 1; code < all.size(); ++code) all[code] = static_cast<E>(code - 1);
            return all;
        }();
        return values;
    }

    std::uint8_t m_code = 0;
};

}  // namespace fenmo

FENMO_API_END
