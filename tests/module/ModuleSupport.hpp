#pragma once
// Loading libarvelle with dlopen and observing, through the framework's registries alone, what it
// registers while loaded and what it leaves behind when unloaded. This program does not link the library.

#include <fenmo/ModelImpl.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>

#include <dlfcn.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace arvelle_test {

namespace meta = ::fenmo::meta;

inline constexpr const char* kRootIdentity = "a6e93cf1-c903-306a-9e97-70f0fa4695d1";
inline constexpr const char16_t* kRootPath = u"/fenmo/arvelle/V0001a";

// What one registration of the library adds to the registry model: 3 packages, 5 primitive types,
// 10 classes, 59 properties, 2 operations, 2 arguments, 7 enumerations and 19 literals.
inline constexpr std::size_t kRegisteredElements = 3 + 5 + 10 + 59 + 2 + 2 + 7 + 19;
// ... and to the serializer registry: the block and port pointer serializers and three per enumeration.
inline constexpr std::size_t kRegisteredSerializers = 2 + 7 * 3;

// Exported functions of the library, by their mangled names.
inline constexpr const char* kGetInstance = "_ZN3tav5fenmo18MetaPackageArvelle11getInstanceEv";
inline constexpr const char* kAddCleanup = "_ZN3tav5fenmo18MetaPackageArvelle10addCleanupESt8functionIFvvEE";
inline constexpr const char* kRootPackage = "_ZN3tav5fenmo8treeNode6schema11rootPackageEv";
inline constexpr const char* kTreeNodeClass = "_ZN3tav5fenmo8treeNode6schema8TreeNode9metaClassEv";

using GetInstanceFn = void* (*)();
// A member function taking a std::function by value: `this` first, then the argument.
using AddCleanupFn = void (*)(void*, std::function<void()>);
using RootPackageFn = const meta::Package& (*)();
using ClassFn = const meta::Class& (*)();

inline meta::MetaRegistry& registry() {
    return *meta::MetaRegistry::getInstance();
}
inline meta::PropertySerializerRegistry& serializers() {
    return *meta::PropertySerializerRegistry::getInstance();
}
inline ::fenmo::uuid rootId() {
    return ::fenmo::uuidFromLiteral(kRootIdentity);
}
inline std::string u8(std::u16string_view text) {
    return ::fenmo::toUtf8(text);
}

inline std::size_t registryElementCount() {
    return registry().getMetaRegistryModel()->elementCount();
}

// The path of a URI ("https://host/a/b" gives "/a/b").
inline std::u16string uriPath(const std::u16string& uri) {
    std::size_t scheme = uri.find(u"://");
    if (scheme == std::u16string::npos) return uri;
    std::size_t path = uri.find(u'/', scheme + 3);
    return path == std::u16string::npos ? std::u16string() : uri.substr(path);
}

// Registered root packages whose URI has the library's path.
inline std::size_t rootRegistrations() {
    std::size_t count = 0;
    for (const meta::Package& p : registry().getRootPackages())
        if (uriPath(p->getUri()) == kRootPath) ++count;
    return count;
}

// True while the library is mapped into the process.
inline bool libraryIsLoaded() {
    void* handle = dlopen(ARVELLE_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

// One dlopen reference to the library, dropped by close() or the destructor.
class Library {
public:
    Library() : m_handle(dlopen(ARVELLE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) {
        if (!m_handle) throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() { close(); }

    void close() {
        if (m_handle) dlclose(m_handle);
        m_handle = nullptr;
    }

    template <class Fn>
    Fn symbol(const char* name) const {
        void* address = dlsym(m_handle, name);
        if (!address) throw std::runtime_error(std::string("missing symbol ") + name);
        return reinterpret_cast<Fn>(address);
    }

private:
    void* m_handle;
};

// The state of both registries before a test loads the library.
struct Baseline {
    std::size_t elements = registryElementCount();
    std::size_t serializerCount = serializers().size();
};

}  // namespace arvelle_test
