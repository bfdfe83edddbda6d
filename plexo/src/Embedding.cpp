#include "Internal.hpp"

#include <plexo/Embedding.hpp>

namespace plexo {

namespace {

// Runs f, turning every failure into a HostError.
template <class F>
auto guarded(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const HostError&) {
        throw;
    } catch (...) {
        throw toHostError(std::current_exception());
    }
}

struct Target {
    PlexoClass* cls;
    void* native;
};

// The class and native object of element 0 of an object array.
Target objectOf(const HostArray& object) {
    if (object.kind() != ArrayKind::Object || object.numel() == 0)
        raiseHostError(kHostCatalog, "NotAnObject", "a " + getClassName(object) + " value has no properties");
    PlexoClass* cls = getClass(object.classId());
    void* native = object.instances().empty() ? nullptr : object.instances()[0]->native();
    return {cls, native};
}

PlexoPropertyInfo& propertyOf(PlexoClass& cls, std::string_view name) {
    PlexoPropertyInfo* property = cls.findProperty(name);
    if (!property)
        raiseHostError(kHostCatalog, "UndefinedProperty",
                       "no property '" + std::string(name) + "' in class " + cls.name());
    return *property;
}

}  // namespace

Array construct(std::string_view className, const Inputs& inputs) {
    return guarded([&] {
        return Array(omConstructObjectWithClient(makeInterned(className), static_cast<int>(inputs.size()),
                                                 inputs.data(), currentClient()));
    });
}

Array getProperty(const HostArray& object, std::string_view name) {
    return guarded([&] { return getProperty(object, propertyOf(*objectOf(object).cls, name)); });
}

void setProperty(const HostArray& object, std::string_view name, const HostArray& value) {
    guarded([&] { setProperty(object, propertyOf(*objectOf(object).cls, name), value); });
}

const PlexoPropertyInfo* findProperty(const HostArray& object, std::string_view name) {
    return guarded([&] { return objectOf(object).cls->findProperty(name); });
}

Array getProperty(const HostArray& object, const PlexoPropertyInfo& property) {
    return guarded([&] { return Array(property.get(objectOf(object).native)); });
}

void setProperty(const HostArray& object, const PlexoPropertyInfo& property, const HostArray& value) {
    guarded([&] {
        void* native = objectOf(object).native;
        if (!property.hasSetter())
            raiseHostError(kHostCatalog, "ReadOnlyProperty",
                           "the property '" + property.getName() + "' cannot be set");
        // A value of another class goes through the conversion registered for the declared type.
        PlexoDataTypePtr type = getDataType(property.getTypeName());
        if (!isA(&value, className(type->classId)))
            if (const TypeConverter* converter =
                    getConversion(makeInterned(getClassName(value)), makeInterned(type->name))) {
                Array converted(converter->convert(value));
                if (converted) {
                    property.set(native, *converted);
                    return;
                }
            }
        property.set(native, value);
    });
}

std::vector<Array> call(std::string_view method, const Inputs& inputs, int nOutputs) {
    return guarded([&] {
        if (inputs.empty() || !inputs[0])
            raiseHostError(kHostCatalog, "MissingInput", "a method call needs the object as its first input");
        const HostArray& self = *inputs[0];
        PlexoClass* cls =
            getClass(self.kind() == ArrayKind::Object ? self.classId() : makeInterned(getClassName(self)));
        PlexoMethodInfo* m = cls->findMethod(method);
        if (!m || (m->getAttributes() & Static))
            raiseHostError(kHostCatalog, "UndefinedMethod",
                           "no method '" + std::string(method) + "' in class " + cls->name());
        return detail::invokeMethod(*m, nOutputs, static_cast<int>(inputs.size()), inputs.data());
    });
}

std::vector<Array> callStatic(std::string_view className, std::string_view method, const Inputs& inputs,
                              int nOutputs) {
    return guarded([&] {
        PlexoClass* cls = getClass(makeInterned(className));
        PlexoMethodInfo* m = cls->findMethod(method);
        if (!m || !(m->getAttributes() & Static))
            raiseHostError(kHostCatalog, "UndefinedMethod",
                           "no static method '" + std::string(method) + "' in class " + cls->name());
        return detail::invokeMethod(*m, nOutputs, static_cast<int>(inputs.size()), inputs.data());
    });
}

Array enumerationMember(std::string_view className, std::string_view member) {
    return guarded([&] {
        PlexoClass* cls = getClass(makeInterned(className));
        PlexoEnumInfo* value = cls->findEnumerationValue(member);
        if (!value)
            raiseHostError(kHostCatalog, "InvalidEnumerationMember",
                           "'" + std::string(member) + "' is not a member of " + cls->name());
        return Array(duplicateArray(*value->getMemberObject()));
    });
}

namespace {
// Calls f(cls) for the class and then its superclasses, breadth first.
template <class F>
void forEachInChain(std::string_view className, F&& f) {
    std::vector<PlexoClass*> todo{getClass(makeInterned(className))};
    for (std::size_t i = 0; i < todo.size(); ++i) {
        f(*todo[i]);
        for (const auto& super : todo[i]->superclasses())
            if (PlexoClass* s = findClass(super.id)) todo.push_back(s);
    }
}
}  // namespace

std::vector<std::string> methodNames(std::string_view className) {
    return guarded([&] {
        std::vector<std::string> names;
        forEachInChain(className, [&](const PlexoClass& cls) {
            for (const auto& m : cls.declaredMethods())
                if (!(m->getAttributes() & Hidden)) names.push_back(m->getName());
        });
        return names;
    });
}

std::vector<std::string> propertyNames(std::string_view className) {
    return guarded([&] {
        std::vector<std::string> names;
        forEachInChain(className, [&](const PlexoClass& cls) {
            for (const auto& p : cls.properties()) names.push_back(p->getName());
        });
        return names;
    });
}

}  // namespace plexo
