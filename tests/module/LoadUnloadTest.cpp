// Loading the library registers its metamodel in the framework's registries during the load; unloading
// takes all of it out again, so the library can be loaded and unloaded any number of times.

#include "ModuleSupport.hpp"

#include <fenmo/meta/Class.hpp>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace arvelle_test;

namespace {

TEST(LoadUnload, EachLoadRegistersOnceAndEachUnloadRemovesEverything) {
    const Baseline baseline;
    ASSERT_FALSE(libraryIsLoaded());
    baseline.expectUnregistered();
    meta::Package previous;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Library library;
        const meta::Package root = baseline.expectRegistered();
        EXPECT_NE(root.get(), previous.get()) << "each load builds a fresh registration";
        // Handles into the registration, held across the unload.
        const meta::Class treeNode =
            ::fenmo::handleCast<meta::Class>(registry().getType(u"tav.fenmo.treeNode.TreeNode"));
        ASSERT_TRUE(treeNode && treeNode->hasBuilderFactory() && treeNode->getCollectionInstantiator());

        library.close();
        EXPECT_FALSE(libraryIsLoaded()) << "the library must really unload";
        baseline.expectUnregistered();
        // The elements are destroyed and refer to nothing that lived in the unloaded library.
        EXPECT_FALSE(root);
        EXPECT_FALSE(treeNode);
        EXPECT_FALSE(treeNode->hasBuilderFactory());
        EXPECT_EQ(treeNode->getCollectionInstantiator(), nullptr);
        previous = root;
    }
}

TEST(LoadUnload, ConcurrentFirstCallsConstructTheMetaPackageOnce) {
    const Baseline baseline;
    constexpr int kThreads = 8;
    std::vector<std::unique_ptr<Library>> libraries(kThreads);
    std::vector<void*> instances(kThreads, nullptr);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            try {
                libraries[i] = std::make_unique<Library>();
                instances[i] = libraries[i]->symbol<GetInstanceFn>(kGetInstance)();
            } catch (const std::exception&) {
            }
        });
    for (std::thread& t : threads) t.join();
    ASSERT_NE(instances[0], nullptr);
    for (void* instance : instances) EXPECT_EQ(instance, instances[0]);
    baseline.expectRegistered();
    libraries.clear();
    EXPECT_FALSE(libraryIsLoaded());
    baseline.expectUnregistered();
}

TEST(LoadUnload, StaleRootPackageIsReplaced) {
    const Baseline baseline;
    // An element with the root identity left behind by an earlier registration, with something inside it,
    // registered as a root package under a URI of its own, then under the library's.
    std::u16string uri = u"https://stale.example/fenmo/arvelle/V0001a";
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        meta::Package stale;
        meta::PrimitiveType content;
        {
            auto locked = registry().getMetaRegistryModel();
            ::fenmo::Transaction transaction = locked->beginTransaction(true);
            stale = meta::Package::create(locked.model(), rootId());
            stale->setUri(uri);
            content = meta::PrimitiveType::create(locked.model(), ::fenmo::newUuid());
            content->setOwningPackage(stale);
            transaction.commit(boost::none);
        }
        registry().registerRootPackage(stale);
        ASSERT_EQ(registryElementCount(), baseline.elements + 2);

        Library library;
        const meta::Package root = baseline.expectRegistered();
        ASSERT_TRUE(root);
        EXPECT_FALSE(stale) << "the stale package is destroyed";
        EXPECT_FALSE(content) << "and what it contained with it";
        if (root->getUri() != uri) {
            EXPECT_FALSE(registry().findRootPackage(uri).get()) << "and unregistered under its own URI";
        }
        uri = root->getUri();
        library.close();
        baseline.expectUnregistered();
    }
}

}  // namespace
