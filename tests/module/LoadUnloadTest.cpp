// Loading the library registers its metamodel in the framework's registries during the load; unloading
// takes all of it out again, so the library can be loaded and unloaded any number of times.

#include "ModuleSupport.hpp"

#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/meta/Type.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

using namespace arvelle_test;

namespace {

// Checks that one complete registration of the library is present and returns its root package.
meta::Package expectRegistered(const Baseline& baseline) {
    meta::Package root = ::fenmo::handleCast<meta::Package>(registry().findElement(rootId()));
    EXPECT_TRUE(root) << "root package not found by its identity";
    if (!root) return root;
    EXPECT_EQ(uriPath(root->getUri()), kRootPath);
    EXPECT_EQ(registry().findRootPackage(root->getUri()), root);
    EXPECT_EQ(rootRegistrations(), 1u);
    std::set<std::u16string> subPackages;
    for (const auto& e : root->getContents())
        if (auto p = ::fenmo::handleCast<meta::Package>(e); p.get()) subPackages.insert(p->getName());
    EXPECT_EQ(subPackages, (std::set<std::u16string>{u"nativeTypes", u"treeNode"}));
    EXPECT_TRUE(registry().getType(u"tav.fenmo.treeNode.TreeNode"));
    EXPECT_TRUE(registry().getTypeByNativeName(u"::tav::fenmo::treeNode::Complexity"));
    EXPECT_TRUE(registry().getTypeByNativeName(u"TAVBlock *"));
    EXPECT_EQ(registryElementCount(), baseline.elements + kRegisteredElements);
    EXPECT_EQ(serializers().size(), baseline.serializerCount + kRegisteredSerializers);
    return root;
}

// Checks that nothing of the library is left in either registry.
void expectUnregistered(const Baseline& baseline) {
    EXPECT_FALSE(registry().findElement(rootId()));
    EXPECT_EQ(rootRegistrations(), 0u);
    EXPECT_FALSE(registry().getType(u"tav.fenmo.treeNode.TreeNode"));
    EXPECT_FALSE(registry().getTypeByNativeName(u"tav::fenmo::treeNode::TreeNode"));
    EXPECT_FALSE(registry().getTypeByNativeName(u"::tav::fenmo::treeNode::Complexity"));
    EXPECT_FALSE(registry().getTypeByNativeName(u"TAVBlock *"));
    EXPECT_EQ(registryElementCount(), baseline.elements);
    EXPECT_EQ(serializers().size(), baseline.serializerCount);
}

TEST(LoadUnload, LoadingRegistersAndUnloadingRemovesEverything) {
    const Baseline baseline;
    ASSERT_FALSE(libraryIsLoaded());
    expectUnregistered(baseline);

    Library library;
    meta::Package root = expectRegistered(baseline);
    ASSERT_TRUE(root);
    // Handles into the registration, held across the unload.
    meta::Type treeNode = registry().getType(u"tav.fenmo.treeNode.TreeNode");
    meta::Class treeNodeClass = ::fenmo::handleCast<meta::Class>(treeNode);
    ASSERT_TRUE(treeNodeClass);
    EXPECT_TRUE(treeNodeClass->hasBuilderFactory());
    EXPECT_NE(treeNodeClass->getCollectionInstantiator(), nullptr);
    meta::Class parentClass =
        ::fenmo::handleCast<meta::Class>(registry().getType(u"tav.fenmo.treeNode.ParentAttributes"));
    ASSERT_TRUE(parentClass);
    meta::Operation addChild = parentClass->findOperation(u"addChild");
    ASSERT_TRUE(addChild);
    EXPECT_NE(addChild->getInvoker(), nullptr);

    library.close();
    EXPECT_FALSE(libraryIsLoaded()) << "the library must really unload";
    expectUnregistered(baseline);
    // The elements are destroyed: their handles stay non-null but test false, and they no longer refer to
    // anything that lived in the unloaded library (builder factory, instantiator, invoker).
    EXPECT_NE(root.get(), nullptr);
    EXPECT_FALSE(root);
    EXPECT_FALSE(treeNodeClass);
    EXPECT_FALSE(treeNodeClass->hasBuilderFactory());
    EXPECT_EQ(treeNodeClass->getCollectionInstantiator(), nullptr);
    EXPECT_FALSE(addChild);
    EXPECT_EQ(addChild->getInvoker(), nullptr);
}

TEST(LoadUnload, LoadUnloadLoadRegistersOnceEachTime) {
    const Baseline baseline;
    ASSERT_FALSE(libraryIsLoaded());
    std::vector<meta::Package> roots;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Library library;
        roots.push_back(expectRegistered(baseline));
        ASSERT_TRUE(roots.back());
        // Each load builds a fresh registration; the previous one stays destroyed.
        for (std::size_t i = 0; i + 1 < roots.size(); ++i) {
            EXPECT_FALSE(roots[i]);
            EXPECT_NE(roots[i].get(), roots.back().get());
        }
        library.close();
        EXPECT_FALSE(libraryIsLoaded());
        expectUnregistered(baseline);
    }
}

TEST(LoadUnload, NestedLoadsShareOneRegistration) {
    const Baseline baseline;
    Library first;
    Library second;  // the loader counts references; no second initialisation
    meta::Package root = expectRegistered(baseline);
    EXPECT_EQ(first.symbol<GetInstanceFn>(kGetInstance)(), second.symbol<GetInstanceFn>(kGetInstance)());
    second.close();
    EXPECT_TRUE(libraryIsLoaded());
    EXPECT_TRUE(root) << "still registered while a reference is held";
    EXPECT_EQ(rootRegistrations(), 1u);
    first.close();
    EXPECT_FALSE(libraryIsLoaded());
    expectUnregistered(baseline);
}

TEST(LoadUnload, ConcurrentLoadsConstructTheMetaPackageOnce) {
    const Baseline baseline;
    constexpr int kThreads = 8;
    std::vector<std::unique_ptr<Library>> libraries(kThreads);
    std::vector<void*> instances(kThreads, nullptr);
    std::vector<std::string> errors(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            try {
                libraries[i] = std::make_unique<Library>();
                instances[i] = libraries[i]->symbol<GetInstanceFn>(kGetInstance)();
            } catch (const std::exception& e) {
                errors[i] = e.what();
            }
        });
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) ASSERT_EQ(errors[i], "") << "thread " << i;

    ASSERT_NE(instances[0], nullptr);
    for (void* instance : instances) EXPECT_EQ(instance, instances[0]);
    expectRegistered(baseline);

    for (int i = 0; i < kThreads; ++i) {
        libraries[i]->close();
        EXPECT_EQ(libraryIsLoaded(), i + 1 < kThreads);
    }
    expectUnregistered(baseline);
}

TEST(LoadUnload, StaleRootPackageIsReplaced) {
    const Baseline baseline;
    // An element with the root identity left in the registry model by an earlier registration, with
    // something inside it, and registered as a root package under a URI of its own.
    const std::u16string staleUri = u"https://stale.example/fenmo/arvelle/V0001a";
    meta::Package stale;
    meta::PrimitiveType staleContent;
    {
        auto locked = registry().getMetaRegistryModel();
        ::fenmo::Transaction transaction = locked->beginTransaction(true);
        stale = meta::Package::create(locked.model(), rootId());
        stale->setName(u"stale");
        stale->setUri(staleUri);
        staleContent = meta::PrimitiveType::create(locked.model(), ::fenmo::newUuid());
        staleContent->setName(u"Leftover");
        staleContent->setOwningPackage(stale);
        transaction.commit(boost::none);
    }
    registry().registerRootPackage(stale);
    ASSERT_EQ(registryElementCount(), baseline.elements + 2);

    Library library;
    meta::Package root = expectRegistered(baseline);
    ASSERT_TRUE(root);
    EXPECT_NE(root.get(), stale.get());
    EXPECT_EQ(root->getName(), u"");
    EXPECT_FALSE(stale) << "the stale package is destroyed";
    EXPECT_FALSE(staleContent) << "and what it contained with it";
    EXPECT_FALSE(registry().findRootPackage(staleUri).get()) << "and unregistered under its own URI";

    library.close();
    expectUnregistered(baseline);
}

TEST(LoadUnload, StaleRootPackageUnderTheLibraryUriIsReplaced) {
    const Baseline baseline;
    std::u16string uri;
    {
        Library library;
        meta::Package root = expectRegistered(baseline);
        ASSERT_TRUE(root);
        uri = root->getUri();
    }
    ASSERT_FALSE(libraryIsLoaded());

    meta::Package stale;
    {
        auto locked = registry().getMetaRegistryModel();
        ::fenmo::Transaction transaction = locked->beginTransaction(true);
        stale = meta::Package::create(locked.model(), rootId());
        stale->setUri(uri);
        transaction.commit(boost::none);
    }
    registry().registerRootPackage(stale);

    Library library;
    meta::Package root = expectRegistered(baseline);
    EXPECT_FALSE(stale);
    EXPECT_EQ(registry().findRootPackage(uri), root);
    EXPECT_NE(registry().findRootPackage(uri).get(), stale.get());
    library.close();
    expectUnregistered(baseline);
}

}  // namespace
