#include <arvelle/scripting/Namespaces.hpp>

#include "WrapperSupport.hpp"
#include "scripting/Wrappers.gen.hpp"

#include <memory>
#include <string>

namespace tav::fenmo::qorin {

arvelle_treeNodeNamespace::arvelle_treeNodeNamespace() : EmptyParentNamespace("tav.fenmo.treeNode") {}
arvelle_treeNodeNamespace::~arvelle_treeNodeNamespace() = default;

void arvelle_treeNodeNamespace::populateNamespace(::plexo::NamespaceDefinition& definition) {
    treeNode::qorin::addScriptingClasses(definition);
}

arvelle_nativeTypesNamespace::arvelle_nativeTypesNamespace()
    : EmptyParentNamespace("tav.fenmo.nativeTypes") {}
arvelle_nativeTypesNamespace::~arvelle_nativeTypesNamespace() = default;

// The host pointer types have no scripting class: scripts never see them.
void arvelle_nativeTypesNamespace::populateNamespace(::plexo::NamespaceDefinition&) {}

void registerScriptingNamespaces() {
    ::fenmo::qorin::EmptyParentNamespace::Registrar::registerNamespace(new arvelle_nativeTypesNamespace);
    ::fenmo::qorin::EmptyParentNamespace::Registrar::registerNamespace(new arvelle_treeNodeNamespace);
}

}  // namespace tav::fenmo::qorin

namespace tav::fenmo::treeNode::qorin {

void addElementClass(::plexo::NamespaceDefinition& definition, ::plexo::PlexoClassInfo* info) {
    definition.addClass(info, 0, 2);
}

void addEnumerationClass(::plexo::NamespaceDefinition& definition, ::plexo::PlexoClassInfo* info,
                         const ::fenmo::meta::Enum& metaEnum) {
    std::unique_ptr<::plexo::PlexoClassInfo> owned(info);
    const std::string fullName = owned->getFullName();
    definition.addClass(owned.release(), 0, 2);
    ::plexo::PlexoClass* cls = ::plexo::getClass(::plexo::makeInterned(fullName));
    // Walking the methods once settles the class's constructor before conversions refer to the class.
    (void)cls->methods();
    for (const char* suffix : {"", " property", " scalar"})
        (new ::fenmo::qorin::FromAnyAsStringTypeConverter(cls, metaEnum))
            ->addAnyConversion(fullName + suffix);
}

namespace detail {

std::int32_t int32FromHost(const ::plexo::HostArray& array) {
    if (array.numel() == 0 || !(::plexo::isNumeric(&array) || array.kind() == ::plexo::ArrayKind::Logical))
        throw ::fenmo::CannotCastIncompatibleTypesException({::fenmo::toUtf16(::plexo::getClassName(array))});
    return static_cast<std::int32_t>(::plexo::getScalarDouble(array, 0));
}

bool logicalFromHost(const ::plexo::HostArray& array) {
    if (array.numel() == 0 || !(::plexo::isNumeric(&array) || array.kind() == ::plexo::ArrayKind::Logical))
        throw ::fenmo::CannotCastIncompatibleTypesException({::fenmo::toUtf16(::plexo::getClassName(array))});
    return ::plexo::getScalarDouble(array, 0) != 0;
}

}  // namespace detail

}  // namespace tav::fenmo::treeNode::qorin
