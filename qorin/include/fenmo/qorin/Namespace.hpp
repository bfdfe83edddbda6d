#pragma once
// The framework's scripting layer: namespaces of scripting classes, the registry of value marshalers by
// metamodel type, and the "fenmo" namespace with the framework's own scripting classes.

#include <fenmo/meta/Type.hpp>
#include <fenmo/qorin/Export.hpp>
#include <plexo/ClassSystem.hpp>

#include <memory>
#include <string>

QORIN_API_BEGIN

namespace fenmo::qorin {

class ValueMarshaler;

// The scripting names of the framework's own classes.
inline constexpr const char* kModelElementClass = "fenmo.ModelElement";
inline constexpr const char* kModelClass = "fenmo.Model";
inline constexpr const char* kMetaClassClass = "fenmo.meta.Class";
inline constexpr const char* kSetClass = "fenmo.Set";
inline constexpr const char* kSequenceClass = "fenmo.Sequence";
inline constexpr const char* kMapClass = "fenmo.Map";
inline constexpr const char* kMultimapClass = "fenmo.Multimap";

// A namespace with a fixed name and no parent; libraries derive their namespaces from it and fill them
// in populateNamespace.
class EmptyParentNamespace : public plexo::PlexoNamespaceInfo {
public:
    explicit EmptyParentNamespace(std::string name) : m_name(std::move(name)) {}
    ~EmptyParentNamespace() override;
    std::string getName() const override { return m_name; }

    class Registrar {
    public:
        // Hands the namespace to the scripting host, which owns it from then on.
        static void registerNamespace(EmptyParentNamespace* info);
        // Takes ownership of the marshaler, which converts values of `type`; a marshaler registered
        // before for the type is destroyed.
        static void registerTypeMarshaler(const meta::Type& type, ValueMarshaler* marshaler);
        static void unregisterTypeMarshaler(const meta::Type& type);
        // The marshaler registered for the type, or null.
        static ValueMarshaler* findTypeMarshaler(const meta::Type& type);
    };

private:
    std::string m_name;
};

// Registers the "fenmo" namespace (ModelElement, Model, meta.Class and the collection classes), the
// marshalers of the standard types, and the translation of framework exceptions into host errors:
// a MessageIdException reaches the script with its catalog, key, text and arguments. Does nothing when
// the namespace is registered already.
void initialize();

// The marshaler for values of `type`: the registered one, else the layer's own for element classes
// (owned by the layer), else null.
ValueMarshaler* marshalerFor(const meta::Type& type);

}  // namespace fenmo::qorin

QORIN_API_END
