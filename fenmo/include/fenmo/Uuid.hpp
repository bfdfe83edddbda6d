#pragma once
// Element identities: 16-byte uuids, their text form and a fast random generator.

#include <fenmo/Export.hpp>
#include <boost/uuid/uuid.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

FENMO_API_BEGIN

namespace fenmo {

using uuid = boost::uuids::uuid;

// A new random (version 4) identity. Thread-safe; much cheaper than a cryptographic generator,
// which matters when a builder creates millions of elements with framework-chosen identities.
uuid newUuid();

// Parses the 36-character text form "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (hex digits in either case).
// Throws std::domain_error "invalid character in uuid literal" or "did not write 16 bytes to uuid".
uuid uuidFromLiteral(std::string_view text);

// Lower-case 36-character text form.
std::string toString(const uuid& id);
std::u16string toU16String(const uuid& id);

namespace detail {
// A 64-bit finaliser: every input bit flips each output bit with probability about one half.
inline std::uint64_t mix64(std::uint64_t x) noexcept {
    x ^= x >> 32;
    x *= 0xD6E8FEB86659FD93ULL;
    x ^= x >> 32;
    x *= 0xD6E8FEB86659FD93ULL;
    x ^= x >> 32;
    return x;
}
}  // namespace detail

// Mixes all sixteen bytes: identities chosen by callers (counters in high or low bytes, name-based
// ones) spread over a table as well as random ones do.
inline std::size_t hashUuid(const uuid& id) noexcept {
    std::uint64_t a, b;
    std::memcpy(&a, id.data, 8);
    std::memcpy(&b, id.data + 8, 8);
    return static_cast<std::size_t>(detail::mix64(a ^ detail::mix64(b + 0x9E3779B97F4A7C15ULL)));
}

struct UuidHash {
    std::size_t operator()(const uuid& id) const noexcept { return hashUuid(id); }
};

}  // namespace fenmo

FENMO_API_END
