// The meta-package's life: registration of the whole metamodel when it is built, tear-down when it goes.
// The loader does both from the tables the generator writes (MetaPackageArvelle.gen.cpp).

#include <arvelle/MetaPackageArvelle.hpp>

#include <fenmo/meta/MetaRegistry.hpp>

namespace tav::fenmo {

namespace {
// The instance getInstance built, once its registration is complete: the only one whose destruction runs
// the cleanups and takes the metamodel out. Copies merely release the handles they share with it.
const MetaPackageArvelle* registeredInstance = nullptr;
}  // namespace

MetaPackageArvelle* MetaPackageArvelle::getInstance() {
    // A construction that throws leaves the static unbuilt; the next call tries again.
    static MetaPackageArvelle instance;
    return &instance;
}

MetaPackageArvelle::MetaPackageArvelle() : m_loader(metamodelTables()) {
    initialize();
    registeredInstance = this;
}

void MetaPackageArvelle::addCleanup(std::function<void()> cleanup) { m_cleanups.push_back(std::move(cleanup)); }

void MetaPackageArvelle::initialize() {
    auto* registry = ::fenmo::meta::MetaRegistry::getInstance();
    auto* serializers = ::fenmo::meta::PropertySerializerRegistry::getInstance();
    // Holds the registry lock; leaving this function before commit (a throw) takes out everything
    // registered so far, serializers and type names included.
    ::fenmo::meta::PackageLoader::Registration registration = m_loader.begin();
    // Every element exists before any is connected: the treeNode properties take their types from the
    // native types and from one another.
    instantiate_nativeTypes(registry);
    instantiate_treeNode(registry);
    weave_nativeTypes(registry, serializers);
    weave_treeNode(registry, serializers);
    registration.commit();
}

MetaPackageArvelle::~MetaPackageArvelle() {
    if (this != registeredInstance) return;
    registeredInstance = nullptr;
    for (auto& cleanup : m_cleanups) {
        try {
            cleanup();
        } catch (...) {
            // A destructor cannot pass it on, and one failing cleanup must not keep the others from running
            // or the metamodel registered.
        }
    }
    m_loader.unload();
    m_treeNode.clear();
    m_nativeTypes.clear();
}

}  // namespace tav::fenmo
