// What the meta-package does as the library unloads: cleanups first, in the order added and while the
// metamodel is still intact; then the library's own serializers (and only those), then the packages.

#include "ModuleSupport.hpp"

#include <fenmo/Value.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/PropertySerializer.hpp>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace arvelle_test;

namespace {

// What a cleanup saw of the library's registration when it ran.
struct Observation {
    std::string name;
    bool sameInstance = false;
    bool rootHandleValid = false;
    bool rootIdentity = false;
    bool classHandleRegistered = false;
    bool rootRegistered = false;
    bool serializersComplete = false;
};

// Records what the registries hold while the cleanup `name` runs.
std::function<void()> observingCleanup(std::vector<Observation>& log, const std::string& name, void* instance,
                                       GetInstanceFn getInstance, RootPackageFn rootPackage,
                                       ClassFn treeNodeClass, std::size_t serializerCount) {
    return [&log, name, instance, getInstance, rootPackage, treeNodeClass, serializerCount] {
        Observation o;
        o.name = name;
        o.sameInstance = getInstance() == instance;
        const meta::Package& root = rootPackage();
        o.rootHandleValid = static_cast<bool>(root);
        o.rootIdentity = root.get() && root->getUuid() == rootId();
        const meta::Class& cls = treeNodeClass();
        o.classHandleRegistered = cls && registry().getType(u"tav.fenmo.treeNode.TreeNode") == cls;
        o.rootRegistered = rootRegistrations() == 1;
        o.serializersComplete = serializers().size() == serializerCount;
        log.push_back(o);
    };
}

TEST(Teardown, CleanupsRunFirstInInsertionOrderWithHandlesValid) {
    const Baseline baseline;
    std::vector<Observation> log;
    {
        Library library;
        auto getInstance = library.symbol<GetInstanceFn>(kGetInstance);
        auto addCleanup = library.symbol<AddCleanupFn>(kAddCleanup);
        auto rootPackage = library.symbol<RootPackageFn>(kRootPackage);
        auto treeNodeClass = library.symbol<ClassFn>(kTreeNodeClass);
        void* instance = getInstance();
        ASSERT_NE(instance, nullptr);
        const std::size_t loaded = baseline.serializerCount + kRegisteredSerializers;
        ASSERT_EQ(serializers().size(), loaded);
        for (const char* name : {"first", "second", "third"})
            addCleanup(instance, observingCleanup(log, name, instance, getInstance, rootPackage,
                                                  treeNodeClass, loaded));
        EXPECT_TRUE(log.empty()) << "cleanups run at tear-down only";
    }
    EXPECT_FALSE(registry().findElement(rootId()));

    ASSERT_EQ(log.size(), 3u);
    const char* order[] = {"first", "second", "third"};
    for (std::size_t i = 0; i < log.size(); ++i) {
        const Observation& o = log[i];
        SCOPED_TRACE(o.name);
        EXPECT_EQ(o.name, order[i]);
        EXPECT_TRUE(o.sameInstance) << "getInstance answers the instance being torn down";
        EXPECT_TRUE(o.rootHandleValid);
        EXPECT_TRUE(o.rootIdentity);
        EXPECT_TRUE(o.classHandleRegistered);
        EXPECT_TRUE(o.rootRegistered) << "no package removed before the cleanups";
        EXPECT_TRUE(o.serializersComplete) << "no serializer removed before the cleanups";
    }
    EXPECT_EQ(registryElementCount(), baseline.elements);
    EXPECT_EQ(serializers().size(), baseline.serializerCount);
}

TEST(Teardown, ThrowingCleanupDoesNotStopTheTearDown) {
    const Baseline baseline;
    {
        Library library;
        auto addCleanup = library.symbol<AddCleanupFn>(kAddCleanup);
        void* instance = library.symbol<GetInstanceFn>(kGetInstance)();
        addCleanup(instance, [] { throw std::runtime_error("cleanup failed"); });
    }
    EXPECT_FALSE(libraryIsLoaded());
    EXPECT_FALSE(registry().findElement(rootId()));
    EXPECT_EQ(rootRegistrations(), 0u);
    EXPECT_EQ(registryElementCount(), baseline.elements);
    EXPECT_EQ(serializers().size(), baseline.serializerCount);
}

// A serializer of someone else's; it notes its own deletion.
class ForeignSerializer final : public meta::PropertySerializer {
public:
    explicit ForeignSerializer(bool& deleted) : m_deleted(deleted) {}
    ~ForeignSerializer() override { m_deleted = true; }

    std::u16string serializeValue(const ::fenmo::Value&) const override { return u"foreign"; }
    ::fenmo::Value parseValue(const std::u16string&, const meta::Type&) const override { return {}; }
    ::fenmo::Value parseOptionalValue(const std::u16string&, const meta::Type&) const override { return {}; }
    ::fenmo::Value createEmptyOptionalValue(const meta::Type&) const override { return {}; }
    ::fenmo::Value createDefaultValue(const meta::Type&) const override { return {}; }
    ::fenmo::Value combineAsUnmanagedSequenceValue(const meta::Type&,
                                                   const std::vector<::fenmo::Value>&) const override {
        return {};
    }
    ::fenmo::Value combineAsUnmanagedSetValue(const meta::Type&,
                                              const std::vector<::fenmo::Value>&) const override {
        return {};
    }

private:
    bool& m_deleted;
};

TEST(Teardown, SerializersRegisteredBySomeoneElseSurvive) {
    const Baseline baseline;
    bool enumDeleted = false, pointerDeleted = false;
    ForeignSerializer* enumForeign = nullptr;
    ForeignSerializer* pointerForeign = nullptr;
    meta::Type complexity, block;
    {
        Library library;
        complexity = registry().getType(u"tav.fenmo.treeNode.Complexity");
        block = registry().getTypeByNativeName(u"TAVBlock *");
        ASSERT_TRUE(complexity);
        ASSERT_TRUE(block);
        // Take over two of the library's (type, key) pairs; the registry replaces the library's serializers.
        enumForeign = new ForeignSerializer(enumDeleted);
        pointerForeign = new ForeignSerializer(pointerDeleted);
        serializers().registerPropertySerializer(complexity, enumForeign, u"ID");
        serializers().registerPropertySerializer(block, pointerForeign, u"");
        ASSERT_EQ(serializers().findPropertySerializer(complexity, u"ID"), enumForeign);
        EXPECT_EQ(serializers().size(), baseline.serializerCount + kRegisteredSerializers);
    }
    EXPECT_FALSE(libraryIsLoaded());
    EXPECT_FALSE(enumDeleted);
    EXPECT_FALSE(pointerDeleted);
    // The foreign entries stay, under the identities of the (now destroyed) types; the library's other
    // serializers of the same types are gone.
    EXPECT_FALSE(complexity);
    EXPECT_EQ(serializers().findPropertySerializer(complexity, u"ID"), enumForeign);
    EXPECT_EQ(serializers().findPropertySerializer(block, u""), pointerForeign);
    EXPECT_EQ(serializers().findPropertySerializer(complexity, u""), nullptr);
    EXPECT_EQ(serializers().findPropertySerializer(complexity, u"PublicID"), nullptr);
    EXPECT_EQ(serializers().size(), baseline.serializerCount + 2);

    // Their owner takes them out again.
    serializers().erasePropertySerializer(complexity, u"ID");
    serializers().erasePropertySerializer(block, u"");
    EXPECT_TRUE(enumDeleted);
    EXPECT_TRUE(pointerDeleted);
    EXPECT_EQ(serializers().size(), baseline.serializerCount);
    EXPECT_EQ(registryElementCount(), baseline.elements);
}

}  // namespace
