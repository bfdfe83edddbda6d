#pragma once
// The order of UTF-16 texts by code unit, as std::u16string's operator< has it, compared four units at
// a time. Keyed maps compare names on every step of a search; the standard comparison takes them one
// unit at a time, and names that share a prefix ("c12345", "c12399") spend most of a search there.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace fenmo {

inline bool textLess(std::u16string_view a, std::u16string_view b) noexcept {
    const char16_t* left = a.data();
    const char16_t* right = b.data();
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 4 <= common; i += 4) {
            std::uint64_t x, y;
            std::memcpy(&x, left + i, sizeof x);
            std::memcpy(&y, right + i, sizeof y);
            if (x != y) {
                // The lowest differing bits belong to the first differing unit.
                const std::size_t unit = i + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 16;
                return left[unit] < right[unit];
            }
        }
    }
    for (; i < common; ++i)
        if (left[i] != right[i]) return left[i] < right[i];
    return a.size() < b.size();
}

// `a < b`, texts by textLess.
template <class A, class B>
bool keyLess(const A& a, const B& b) noexcept(noexcept(a < b)) {
    if constexpr (std::is_convertible_v<const A&, std::u16string_view> &&
                  std::is_convertible_v<const B&, std::u16string_view>)
        return textLess(a, b);
    else
        return a < b;
}

}  // namespace fenmo
