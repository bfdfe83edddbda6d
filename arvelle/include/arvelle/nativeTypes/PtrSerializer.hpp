#pragma once
// Text forms of host pointers: "0x" and sixteen lower-case hexadecimal digits.

#include <arvelle/Export.hpp>
#include <arvelle/nativeTypes/HostTypes.hpp>

#include <fenmo/meta/PropertySerializer.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

ARVELLE_API_BEGIN

namespace nativeTypes {

namespace detail {
std::u16string pointerText(const void* pointer);
// Reads a hexadecimal number (a leading "0x" allowed, anything after it ignored); 0 if there is none.
std::uintptr_t pointerValue(const std::u16string& text);
}  // namespace detail

template <class T>
class PtrSerializer : public ::fenmo::meta::DefaultPropertySerializer<T*> {
public:
    explicit PtrSerializer(const ::fenmo::meta::Type& type)
        : ::fenmo::meta::DefaultPropertySerializer<T*>(type.get()), m_type(type) {}
    PtrSerializer(const PtrSerializer&) = default;
    PtrSerializer(PtrSerializer&&) noexcept = default;
    PtrSerializer& operator=(const PtrSerializer&) = default;
    PtrSerializer& operator=(PtrSerializer&&) noexcept = default;
    ~PtrSerializer() override = default;

    const ::fenmo::meta::Type& type() const noexcept { return m_type; }

protected:
    std::u16string doSerializeValue(T* value) const override { return detail::pointerText(value); }
    T* doParseValue(const std::u16string& text) const override {
        return reinterpret_cast<T*>(detail::pointerValue(text));
    }

private:
    ::fenmo::meta::Type m_type;
};

class TavBlockPtrSerializer : public PtrSerializer<TAVBlock> {
public:
    using PtrSerializer::PtrSerializer;
};

class TavPortPtrSerializer : public PtrSerializer<tavPort> {
public:
    using PtrSerializer::PtrSerializer;
};

}  // namespace nativeTypes

ARVELLE_API_END
