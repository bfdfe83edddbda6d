#pragma once
// Loading libarvelle with dlopen and observing, through the framework's registries alone, what it
// registers while loaded and what it leaves behind when unloaded. This program does not link the library.

#include <fenmo/ModelImpl.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

namespace arvelle_test {

namespace meta = ::fenmo::meta;

// What one registration of the library adds to the registry model: 3 packages, 5 primitive types,
// 10 classes, 59 properties, 2 operations, 2 arguments, 7 enumerations and 19 literals; and to the
// serializer registry: the block and port pointer serializers and three per enumeration.
inline constexpr std::size_t kRegisteredElements = 3 + 5 + 10 + 59 + 2 + 2 + 7 + 19;
inline constexpr std::size_t kRegisteredSerializers = 2 + 7 * 3;
inline constexpr const char16_t* kRootPath = u"/fenmo/arvelle/V0001a";

// Exported functions of the library, by their mangled names.
inline constexpr const char* kGetInstance = "_ZN3tav5fenmo18MetaPackageArvelle11getInstanceEv";
using GetInstanceFn = void* (*)();

inline meta::MetaRegistry& registry() {
    return *meta::MetaRegistry::getInstance();
}
inline meta::PropertySerializerRegistry& serializers() {
    return *meta::PropertySerializerRegistry::getInstance();
}
inline ::fenmo::uuid rootId() {
    return ::fenmo::uuidFromLiteral("a6e93cf1-c903-306a-9e97-70f0fa4695d1");
}
inline std::size_t registryElementCount() {
    return registry().getMetaRegistryModel()->elementCount();
}

// The path of a URI ("https://host/a/b" gives "/a/b").
inline std::u16string uriPath(const std::u16string& uri) {
    return uri.substr(std::min(uri.find(u'/', uri.find(u"://") + 3), uri.size()));
}

// Registered root packages whose URI has the library's path.
inline std::size_t rootRegistrations() {
    std::size_t count = 0;
    for (const meta::Package& p : registry().getRootPackages()) count += uriPath(p->getUri()) == kRootPath;
    return count;
}

// True while the library is mapped into the process.
inline bool libraryIsLoaded() {
    void* handle = dlopen(ARVELLE_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

// One dlopen reference to the library, dropped by close() or the destructor.
class Library {
public:
    Library() : m_handle(dlopen(ARVELLE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL), &dlclose) {
        if (!m_handle) throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
    }
    void close() { m_handle.reset(); }

    template <class Fn>
    Fn symbol(const char* name) const {
        void* address = dlsym(m_handle.get(), name);
        if (!address) throw std::runtime_error(std::string("missing symbol ") + name);
        return reinterpret_cast<Fn>(address);
    }

private:
    std::unique_ptr<void, int (*)(void*)> m_handle;
};

// The state of both registries before a test loads the library.
struct Baseline {
    std::size_t elements = registryElementCount();
    std::size_t serializerCount = serializers().size();

    // One complete registration of the library is present; returns its root package.
    meta::Package expectRegistered() const {
        const meta::Package root = ::fenmo::handleCast<meta::Package>(registry().findElement(rootId()));
        EXPECT_TRUE(root) << "root package not found by its identity";
        EXPECT_TRUE(root && uriPath(root->getUri()) == kRootPath &&
                    registry().findRootPackage(root->getUri()) == root);
        EXPECT_EQ(rootRegistrations(), 1u);
        EXPECT_EQ(registryElementCount(), elements + kRegisteredElements);
        EXPECT_EQ(serializers().size(), serializerCount + kRegisteredSerializers);
        return root;
    }
    // Nothing of the library is left in either registry.
    void expectUnregistered() const {
        EXPECT_FALSE(registry().findElement(rootId()));
        EXPECT_EQ(rootRegistrations(), 0u);
        EXPECT_FALSE(registry().getType(u"tav.fenmo.treeNode.TreeNode") ||
                     registry().getTypeByNativeName(u"::tav::fenmo::treeNode::Complexity"));
        EXPECT_EQ(registryElementCount(), elements);
        EXPECT_EQ(serializers().size(), serializerCount);
    }
};

}  // namespace arvelle_test
