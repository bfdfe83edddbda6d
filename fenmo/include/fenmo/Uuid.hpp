#pragma once
// Element identities: 16-byte uuids, their text form and a fast random generator.

#include <boost/uuid/uuid.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

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

// Identities are random, so any eight bytes make a good hash.
inline std::size_t hashUuid(const uuid& id) noexcept {
    std::uint64_t a, b;
    std::memcpy(&a, id.data, 8);
    std::memcpy(&b, id.data + 8, 8);
    return static_cast<std::size_t>(a ^ (b * 0x9E3779B97F4A7C15ULL));
}

struct UuidHash {
    std::size_t operator()(const uuid& id) const noexcept { return hashUuid(id); }
};

}  // namespace fenmo
