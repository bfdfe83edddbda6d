#include <fenmo/Uuid.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>

namespace fenmo {

namespace {

// splitmix64: a fast generator with good statistical quality, seeded per thread from the system's
// entropy source mixed with a process-wide counter.
struct Generator {
    std::uint64_t state;
    Generator() {
        static std::atomic<std::uint64_t> counter{0};
        std::random_device entropy;
        state = (std::uint64_t{entropy()} << 32 ^ entropy()) ^
                static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
    }
    std::uint64_t next() noexcept {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
};

constexpr int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Digit values by character, 0xFF for a character that is not a hexadecimal digit.
constexpr std::array<std::uint8_t, 256> kHexDigits = [] {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        int v = hexValue(static_cast<char>(c));
        table[static_cast<std::size_t>(c)] = v < 0 ? 0xFF : static_cast<std::uint8_t>(v);
    }
    return table;
}();

// The canonical form (8-4-4-4-12): every byte's two digits sit at fixed places, so a file's identities
// are read without a branch per character.
bool parseCanonical(std::string_view text, uuid& id) {
    static constexpr std::uint8_t kFirstDigit[16] = {0,  2,  4,  6,  9,  11, 14, 16,
                                                     19, 21, 24, 26, 28, 30, 32, 34};
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return false;
    unsigned bad = 0;
    for (std::size_t i = 0; i < 16; ++i) {
        std::uint8_t high = kHexDigits[static_cast<unsigned char>(text[kFirstDigit[i]])];
        std::uint8_t low = kHexDigits[static_cast<unsigned char>(text[kFirstDigit[i] + 1])];
        bad |= high | low;
        id.data[i] = static_cast<std::uint8_t>(high << 4 | (low & 0x0F));
    }
    return bad < 0x10;
}

}  // namespace

uuid newUuid() {
    thread_local Generator generator;
    uuid id;
    std::uint64_t a = generator.next(), b = generator.next();
    std::memcpy(id.data, &a, 8);
    std::memcpy(id.data + 8, &b, 8);
    id.data[6] = static_cast<std::uint8_t>((id.data[6] & 0x0F) | 0x40);  // version 4
    id.data[8] = static_cast<std::uint8_t>((id.data[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return id;
}

uuid uuidFromLiteral(std::string_view text) {
    uuid id{};
    if (parseCanonical(text, id)) return id;
    std::size_t written = 0;
    int high = -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '-' && (i == 8 || i == 13 || i == 18 || i == 23)) continue;
        int v = hexValue(c);
        if (v < 0 || written >= 16) throw std::domain_error("invalid character in uuid literal");
        if (high < 0) {
            high = v;
        } else {
            id.data[written++] = static_cast<std::uint8_t>(high << 4 | v);
            high = -1;
        }
    }
    if (written != 16 || high >= 0) throw std::domain_error("did not write 16 bytes to uuid");
    return id;
}

std::string toString(const uuid& id) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(digits[id.data[i] >> 4]);
        text.push_back(digits[id.data[i] & 15]);
    }
    return text;
}

std::u16string toU16String(const uuid& id) {
    std::string text = toString(id);
    return std::u16string(text.begin(), text.end());
}

}  // namespace fenmo
