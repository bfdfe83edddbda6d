#pragma once
// The library's two scripting namespaces: "tav.fenmo.treeNode", which holds a scripting class per class
// and per enumeration of the treeNode package, and "tav.fenmo.nativeTypes", which holds none. The host
// owns them once they are registered and fills them on first use.

#include <arvelle/Export.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <plexo/ClassSystem.hpp>

namespace tav::fenmo::qorin {

class arvelle_treeNodeNamespace : public ::fenmo::qorin::EmptyParentNamespace {
public:
    arvelle_treeNodeNamespace();
    ~arvelle_treeNodeNamespace() override;
    // Adds the ten element classes, then the seven enumerations with their text conversions.
    void populateNamespace(::plexo::NamespaceDefinition& definition) override;
};

class arvelle_nativeTypesNamespace : public ::fenmo::qorin::EmptyParentNamespace {
public:
    arvelle_nativeTypesNamespace();
    ~arvelle_nativeTypesNamespace() override;
    void populateNamespace(::plexo::NamespaceDefinition& definition) override;
};

// Hands a new nativeTypes namespace, then a new treeNode namespace, to the host.
void registerScriptingNamespaces();

}  // namespace tav::fenmo::qorin

// Registers the scripting namespaces: once per process, or on every call when the host runs in the mode
// that asks for it (omGetPlexoUsingUSM). A failed registration is tried again by the next call.
extern "C" ARVELLE_API void QorinInitialize_arvelle();
