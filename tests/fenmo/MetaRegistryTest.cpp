// The metamodel registry: look-ups of registered types, classes and their properties, and removal of a
// root package with everything it declares.

#include "Support.hpp"

#include <fenmo/meta/StandardTypes.hpp>

#include <atomic>
#include <thread>
#include <typeinfo>

namespace fenmo_test {
namespace {

using fenmo::meta::MetaRegistry;
using fenmo::meta::StandardTypes;

TEST(MetaRegistry, FindsRegisteredTypesByEveryName) {
    const TestMeta& tm = TestMeta::get();
    MetaRegistry* registry = MetaRegistry::getInstance();
    EXPECT_EQ(registry->getType(u"fenmoTest.Item").get(), tm.m_item.get());
    EXPECT_EQ(registry->getTypeByNativeName(u"fenmo_test::Part").get(), tm.m_part.get());
    EXPECT_EQ(registry->getTypeByTypeIdName(typeid(Part).name()).get(), tm.m_part.get());
    EXPECT_TRUE(registry->isCorrectTypeForTypeId(tm.m_item, typeid(Item)));
    EXPECT_FALSE(registry->isCorrectTypeForTypeId(tm.m_item, typeid(Part)));
    EXPECT_EQ(registry->findElement(tm.m_item->getUuid()).get(), tm.m_item.get());
    EXPECT_EQ(registry->findElement(TestMeta::itemLabel()->getUuid()).get(), TestMeta::itemLabel().get());
    EXPECT_EQ(registry->findRootPackage(TestMeta::kUri).get(), tm.m_package.get());
    EXPECT_FALSE(registry->getType(u"fenmoTest.Nothing").get());

    EXPECT_EQ(registry->getType(u"String").get(), StandardTypes::stringMeta().get());
    EXPECT_EQ(registry->getType(u"Integer").get(), StandardTypes::integerMeta().get());
    EXPECT_EQ(registry->getType(u"Boolean").get(), StandardTypes::booleanMeta().get());

    // Classes: superclass conformance, properties in declaration order, index and owner.
    EXPECT_TRUE(tm.m_item->conformsTo(fenmo::ModelElement::metaClass()));
    EXPECT_TRUE(tm.m_item->conformsTo(tm.m_item));
    EXPECT_FALSE(tm.m_item->conformsTo(tm.m_part));
    const auto& props = tm.m_item->getProperties();
    ASSERT_EQ(props.size(), 5u);
    for (std::size_t i = 0; i < props.size(); ++i) {
        EXPECT_EQ(props[i]->getIndex(), i + 1);
        EXPECT_EQ(props[i]->owningClass(), tm.m_item.get());
    }
    EXPECT_EQ(tm.m_item->findProperty(u"count").get(), TestMeta::itemCount().get());
    EXPECT_TRUE(TestMeta::itemChild()->isComposite());
    EXPECT_TRUE(TestMeta::partRank()->isMandatory());
    EXPECT_FALSE(TestMeta::partText()->isMandatory());
    EXPECT_EQ(TestMeta::itemCount()->getQualifiedName(), u"fenmoTest.Item.count");
    EXPECT_EQ(tm.m_item->getOwningPackage().get(), tm.m_package.get());
    EXPECT_TRUE(tm.m_part->hasBuilderFactory());
    EXPECT_FALSE(tm.m_item->hasBuilderFactory());
}

TEST(MetaRegistry, LockCanBeTakenAgainByItsHolder) {
    MetaRegistry* registry = MetaRegistry::getInstance();
    auto outer = registry->getMetaRegistryModel();
    auto inner = registry->getMetaRegistryModel();
    EXPECT_EQ(outer.model(), inner.model());
    // Look-ups take the lock too.
    EXPECT_TRUE(registry->getType(u"String").get());
}

TEST(MetaRegistry, DestroyingARootPackageRemovesEverythingUnderIt) {
    struct Throwaway : private fenmo::meta::AbstractMetaPackage {
        fenmo::meta::Package package;
        fenmo::meta::Class cls;
        fenmo::meta::Property prop;
        Throwaway() {
            auto locked = MetaRegistry::getInstance()->getMetaRegistryModel();
            fenmo::Transaction t = locked->beginTransaction(true);
            package = createPackage(u"throwaway", u"https://arvelle.dev/tests/throwaway");
            cls = createClass(u"Gone", u"throwaway.Gone", false, false, fenmo::newUuid());
            cls->setOwningPackage(package);
            prop = createProperty(u"value", fenmo::ValueFlags::Optional, false, fenmo::newUuid());
            prop->setOwningType(cls);
            prop->setType(StandardTypes::stringMeta());
            setPropertyIndex(prop, 1);
            t.commit(boost::none);
            registerRootPackage(package);
        }
        void remove() {
            auto locked = MetaRegistry::getInstance()->getMetaRegistryModel();
            fenmo::Transaction t = locked->beginTransaction(true);
            unregisterRootPackage(package->getUri());
            package->destroy();
            t.commit(boost::none);
        }
    };
    MetaRegistry* registry = MetaRegistry::getInstance();
    const std::size_t before = registry->getMetaRegistryModel()->elementCount();
    Throwaway w;
    EXPECT_EQ(registry->getMetaRegistryModel()->elementCount(), before + 3);
    EXPECT_EQ(registry->getType(u"throwaway.Gone").get(), w.cls.get());
    EXPECT_EQ(w.cls->getOwningPackage().get(), w.package.get());
    const fenmo::uuid clsId = w.cls->getUuid(), propId = w.prop->getUuid();

    w.remove();
    EXPECT_FALSE(w.package);
    EXPECT_FALSE(w.cls);
    EXPECT_FALSE(w.prop);
    EXPECT_FALSE(registry->findElement(clsId).get());
    EXPECT_FALSE(registry->findElement(propId).get());
    EXPECT_FALSE(registry->getType(u"throwaway.Gone").get());
    EXPECT_FALSE(registry->findRootPackage(u"https://arvelle.dev/tests/throwaway").get());
    EXPECT_EQ(registry->getMetaRegistryModel()->elementCount(), before);
    // The test metamodel is untouched.
    EXPECT_TRUE(Item::metaClass());
    EXPECT_EQ(registry->getType(u"fenmoTest.Item").get(), Item::metaClass().get());
}

TEST(MetaRegistry, ConcurrentLookUps) {
    TestMeta::get();
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            MetaRegistry* registry = MetaRegistry::getInstance();
            for (int i = 0; i < 500; ++i) {
                if (registry->getType(u"fenmoTest.Part").get() != Part::metaClass().get()) ++wrong;
                if (!registry->getTypeByNativeName(u"fenmo_test::Item").get()) ++wrong;
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace fenmo_test
