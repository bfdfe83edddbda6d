// What each element class uses at run time agrees with the metamodel the library registers: its
// metaclass, its property handles, indices and types, and the builder factory of the metaclass.

#include "Support.hpp"

#include <functional>

namespace elements_test {
namespace {

namespace S = schema;

using TypeHandle = std::function<const fm::meta::Type&()>;
struct ExpectedProperty {
    const fm::meta::Property& (*handle)();
    TypeHandle type;
};

// One class: its handles, the element it makes, and its properties in index order, derived ones
// included (they carry no index).
struct ExpectedClass {
    const char* name;
    const fm::meta::Class& (*metaClass)();
    const fm::meta::Class& (*schemaClass)();
    std::function<fm::ModelElement(const fm::Model&)> create;
    std::function<bool(fm::ModelElement::Builder*)> isOwnBuilder;
    std::vector<ExpectedProperty> properties;
};

template <class X>
ExpectedClass expected(const char* name, const fm::meta::Class& (*schemaClass)(),
                       std::vector<ExpectedProperty> properties) {
    return {name,
            &X::metaClass,
            schemaClass,
            [](const fm::Model& model) -> fm::ModelElement { return X::create(model, fm::newUuid()); },
            [](fm::ModelElement::Builder* b) { return dynamic_cast<typename X::Builder*>(b) != nullptr; },
            std::move(properties)};
}

TypeHandle string() {
    return []() -> const fm::meta::Type& { return stringType(); };
}
TypeHandle integer() {
    return []() -> const fm::meta::Type& { return integerType(); };
}
TypeHandle boolean() {
    return []() -> const fm::meta::Type& { return booleanType(); };
}
template <class Handle>
TypeHandle type(Handle (*h)()) {
    return [h]() -> const fm::meta::Type& { return h(); };
}

std::vector<ExpectedClass> allClasses() {
    using B = S::BlockAttributes;
    using BE = S::BusTypeElementAttributes;
    using BR = S::BusTypeRootAttributes;
    using C = S::ChildAttributes;
    using M = S::MessageQueueAttributes;
    using P = S::ParentAttributes;
    using PL = S::PlatformAttributes;
    using PR = S::PropagationAttributes;
    using SG = S::SignalAttributes;
    using T = S::TreeNode;
    const auto blockPtr = type(&S::nativeTypes::TavBlockPtr);
    const auto portPtr = type(&S::nativeTypes::TavPortPtr);
    const auto complexity = type(&S::Complexity::type);
    const auto dimsMode = type(&S::DimsMode::type);
    return {
        expected<tn::BlockAttributes>("BlockAttributes", &B::metaClass, {{&B::tavBlocks, blockPtr}}),
        expected<tn::BusTypeElementAttributes>("BusTypeElementAttributes", &BE::metaClass,
                                               {{&BE::complexity, complexity},
                                                {&BE::min, string()},
                                                {&BE::max, string()},
                                                {&BE::unit, string()},
                                                {&BE::dataType, string()},
                                                {&BE::dims, string()},
                                                {&BE::dimsMode, dimsMode},
                                                {&BE::sampleTime, string()},
                                                {&BE::valueType, string()},
                                                {&BE::desc, string()}}),
        expected<tn::BusTypeRootAttributes>("BusTypeRootAttributes", &BR::metaClass,
                                            {{&BR::checksum, string()}}),
        expected<tn::ChildAttributes>("ChildAttributes", &C::metaClass,
                                      {{&C::name, string()},
                                       {&C::indexOne, integer()},
                                       {&C::parent, type(&T::metaClass)},
                                       {&C::attrsOfParent, type(&P::metaClass)}}),
        expected<tn::MessageQueueAttributes>("MessageQueueAttributes", &M::metaClass,
                                             {{&M::useDefaultAttrs, boolean()},
                                              {&M::queueCapacity, string()},
                                              {&M::queueType, type(&S::QueueType::type)},
                                              {&M::queueOverwriting, boolean()}}),
        expected<tn::ParentAttributes>(
            "ParentAttributes", &P::metaClass,
            {{&P::children, type(&T::metaClass)}, {&P::attrsOfChildren, type(&C::metaClass)}}),
        expected<tn::PlatformAttributes>(
            "PlatformAttributes", &PL::metaClass,
            {{&PL::qosType, type(&S::QoSType::type)}, {&PL::dataNode, string()}}),
        expected<tn::PropagationAttributes>("PropagationAttributes", &PR::metaClass,
                                            {{&PR::partialInfo, boolean()},
                                             {&PR::groundSource, portPtr},
                                             {&PR::trivialBusName, string()},
                                             {&PR::tavBusOrigSrc, blockPtr},
                                             {&PR::tavBusSrc, blockPtr},
                                             {&PR::tavBusSrcOPort, integer()},
                                             {&PR::tavBusDst, blockPtr},
                                             {&PR::tavBusDstIPort, integer()},
                                             {&PR::isMessage, boolean()}}),
        expected<tn::SignalAttributes>("SignalAttributes", &SG::metaClass,
                                       {{&SG::complexity, complexity},
                                        {&SG::min, string()},
                                        {&SG::max, string()},
                                        {&SG::unit, string()},
                                        {&SG::dataType, string()},
                                        {&SG::dims, string()},
                                        {&SG::dimsMode, dimsMode},
                                        {&SG::sampleTime, string()},
                                        {&SG::virtuality, type(&S::Virtuality::type)},
                                        {&SG::dataMode, type(&S::DataMode::type)},
                                        {&SG::valueType, string()},
                                        {&SG::desc, string()},
                                        {&SG::outputSignalName, string()},
                                        {&SG::initialOutput, string()},
                                        {&SG::outputWhenDisabled, type(&S::OutputWhenDisabled::type)}}),
        expected<tn::TreeNode>("TreeNode", &T::metaClass,
                               {{&T::parentAttrs, type(&P::metaClass)},
                                {&T::childAttrs, type(&C::metaClass)},
                                {&T::signalAttrs, type(&SG::metaClass)},
                                {&T::busTypeRootAttrs, type(&BR::metaClass)},
                                {&T::busTypeElementAttrs, type(&BE::metaClass)},
                                {&T::blockAttrs, type(&B::metaClass)},
                                {&T::propAttrs, type(&PR::metaClass)},
                                {&T::msgQueueAttrs, type(&M::metaClass)},
                                {&T::inheritedParentAttrs, type(&P::metaClass)},
                                {&T::platformAttrs, type(&PL::metaClass)},
                                {&T::isInherited, boolean()}}),
    };
}

TEST(ElementMetamodel, PropertyHandlesIndicesAndTypesAgreeWithTheRegistry) {
    fm::Model model = fm::Model::create();
    const std::vector<ExpectedClass> classes = allClasses();
    ASSERT_EQ(classes.size(), 10u);

    for (const ExpectedClass& c : classes) {
        SCOPED_TRACE(c.name);
        const fm::meta::Class& cls = c.metaClass();
        ASSERT_TRUE(cls.get());
        EXPECT_EQ(cls.get(), c.schemaClass().get());
        EXPECT_EQ(cls->getName(), fm::toUtf16(c.name));
        EXPECT_EQ(cls->getQualifiedName(), u"tav.fenmo.treeNode." + fm::toUtf16(c.name));

        // The registered property list, in order, is the expected one.
        const std::vector<fm::meta::Property>& registered = cls->getProperties();
        ASSERT_EQ(registered.size(), c.properties.size());
        std::vector<fm::meta::Property> indexed;
        for (std::size_t k = 0; k < registered.size(); ++k) {
            const fm::meta::Property& p = registered[k];
            const fm::meta::Property& h = c.properties[k].handle();
            SCOPED_TRACE(fm::narrow(p->getName()));
            EXPECT_EQ(p.get(), h.get());
            EXPECT_EQ(p->owningClass(), cls.get());
            EXPECT_EQ(p->getType().get(), c.properties[k].type().get());
            EXPECT_EQ(p->hasIndex(), !p->isDerived());
            if (p->hasIndex()) {
                indexed.push_back(p);
                EXPECT_EQ(p->getIndex(), indexed.size());
            }
        }

        // The element's own view: its class, index 1..N its properties, 0 and N + 1 the base's.
        fm::ModelElement element = c.create(model);
        ASSERT_TRUE(element);
        EXPECT_EQ(element->getMetaClass().get(), cls.get());
        const std::size_t n = indexed.size();
        for (std::size_t i = 1; i <= n; ++i)
            EXPECT_EQ(element->getPropertyByIndex(i).get(), indexed[i - 1].get()) << i;
        EXPECT_THROW(element->getPropertyByIndex(0), fm::InvalidValueException);
        EXPECT_THROW(element->getPropertyByIndex(n + 1), fm::InvalidValueException);

        // Snapshots have room for every index, the last one included.
        std::unique_ptr<fm::ModelElement::Impl::Storage> storage(element->createStorage());
        EXPECT_EQ(storage->count(), n + 1);
        storage->setChanged(n);
        EXPECT_TRUE(storage->isChanged(n));
    }
}

TEST(ElementMetamodel, EachClassRegistersAFactoryOfItsOwnBuilder) {
    LoggedModel m;
    for (const ExpectedClass& c : allClasses()) {
        SCOPED_TRACE(c.name);
        const fm::meta::Class& cls = c.metaClass();
        ASSERT_TRUE(cls->hasBuilderFactory());
        std::unique_ptr<fm::ModelElement::Builder> builder = cls->instantiateBuilder(m.model);
        ASSERT_NE(builder, nullptr);
        EXPECT_TRUE(c.isOwnBuilder(builder.get()));
        EXPECT_EQ(builder->getMetaClass().get(), cls.get());
        EXPECT_EQ(builder->getModel(), m.model);
        EXPECT_EQ(builder->bitCount(), storedCount(cls) + 1);
        for (std::size_t i = 0; i < builder->bitCount(); ++i) EXPECT_FALSE(builder->isSet(i));

        m.forget();
        const fm::uuid id = fm::newUuid();
        fm::ModelElement created = builder->create(id);
        ASSERT_TRUE(created);
        EXPECT_EQ(created->getMetaClass().get(), cls.get());
        EXPECT_EQ(m->findElement(id).get(), created.get());
        ASSERT_EQ(m.reports.size(), 1u);
        EXPECT_EQ(m.reports[0].created().size(), 1u);
    }
}

TEST(ElementMetamodel, ProxiesAreBuiltByTheRegisteredFactoryWithoutJoiningTheModel) {
    LoggedModel m;
    const fm::uuid target = fm::newUuid();
    const fm::uuid otherModel = fm::newUuid();
    fm::ModelElement proxy =
        m->createProxy(tn::PropagationAttributes::metaClass(), fm::ProxyId(target, otherModel));
    auto prop = fm::handleCast<tn::PropagationAttributes>(proxy);
    ASSERT_TRUE(prop);
    EXPECT_TRUE(prop->isProxy());
    EXPECT_EQ(prop->getUuid(), target);
    for (const fm::meta::Property& p : tn::PropagationAttributes::metaClass()->getProperties())
        EXPECT_FALSE(prop->hasPropertyValue(p, standardTag()));
    EXPECT_FALSE(m->findElement(target));
    EXPECT_TRUE(m.reports.empty());
    EXPECT_EQ(m->undoStepCount(), 0u);
}

}  // namespace
}  // namespace elements_test
