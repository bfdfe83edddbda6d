#include <arvelle/nativeTypes/PtrSerializer.hpp>

#include <fenmo/Text.hpp>

namespace nativeTypes::detail {

std::u16string pointerText(const void* pointer) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return ::fenmo::widen(text);
}

std::uintptr_t pointerValue(const std::u16string& text) {
    std::string narrow = ::fenmo::narrow(text);
    return static_cast<std::uintptr_t>(std::strtoull(narrow.c_str(), nullptr, 16));
}

}  // namespace nativeTypes::detail
