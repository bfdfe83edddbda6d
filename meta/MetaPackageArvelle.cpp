// The meta-package's life: registration of the whole metamodel when it is built, tear-down when it goes.

#include <arvelle/MetaPackageArvelle.hpp>

#include <fenmo/Exceptions.hpp>
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

MetaPackageArvelle::MetaPackageArvelle() {
    initialize();
    registeredInstance = this;
}

void MetaPackageArvelle::addCleanup(std::function<void()> cleanup) { m_cleanups.push_back(std::move(cleanup)); }

void MetaPackageArvelle::initialize() {
    auto* registry = ::fenmo::meta::MetaRegistry::getInstance();
    auto locked = registry->getMetaRegistryModel();
    auto* serializers = ::fenmo::meta::PropertySerializerRegistry::getInstance();
    const ::fenmo::uuid rootId = ::fenmo::uuidFromLiteral(kRootIdentity);

    // An earlier registration of the same root package (left by an instance that did not tear down)
    // is taken out first.
    ::fenmo::ModelElement stale = locked->findElement(rootId);
    if (stale.get()) {
        ::fenmo::Transaction removal = locked->beginTransaction(true);
        if (auto package = ::fenmo::handleCast<::fenmo::meta::Package>(stale); package.get())
            unregisterRootPackage(package->getUri());
        stale->destroy();
        removal.commit(boost::none);
    }

    ::fenmo::Transaction registration = locked->beginTransaction(true);
    m_rootPackage = ::fenmo::meta::Package::create(locked.model(), rootId);
    m_rootPackage->setName(u"");
    m_rootPackage->setUri(kRootUri);
    instantiate_nativeTypes(registry);
    instantiate_treeNode(registry);
    weave_nativeTypes(registry, serializers);
    weave_treeNode(registry, serializers);
    registration.commit(boost::none);
    registerRootPackage(m_rootPackage);
}

MetaPackageArvelle::~MetaPackageArvelle() {
    if (this != registeredInstance) return;
    registeredInstance = nullptr;
    for (auto& cleanup : m_cleanups) {
        try {
            cleanup();
        } catch (...) {
            // A destructor cannot pass it on, and one failing cleanup must not keep the others from running.
        }
    }
    removeSerializers();
    destroyRootPackage();
}

void MetaPackageArvelle::destroyRootPackage() noexcept {
    if (!m_rootPackage) return;
    try {
        auto locked = ::fenmo::meta::MetaRegistry::getInstance()->getMetaRegistryModel();
        ::fenmo::Transaction removal = locked->beginRevertibleTransaction();
        unregisterRootPackage(m_rootPackage->getUri());
        m_rootPackage->destroy();
        removal.commit(boost::none);
    } catch (...) {
        // Tear-down cannot report it: the abandoned removal leaves the package registered, as it was.
    }
}

}  // namespace tav::fenmo
