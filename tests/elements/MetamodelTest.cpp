// What each element class uses at run time agrees with the metamodel the library registers: its
// metaclass, its property handles, indices and types, and the builder factory of the metaclass.

#include "Support.hpp"

#include <sstream>

namespace elements_test {
namespace {

using Handle = const fm::meta::Property& (*)();

// One class: its property handles in registration order, derived ones included, and the names of their
// types, separated by spaces.
struct ExpectedClass {
    const fm::meta::Class& (*metaClass)();
    std::vector<Handle> handles;
    std::u16string types;
};

std::vector<ExpectedClass> allClasses() {
    using BE = S::BusTypeElementAttributes;
    using C = S::ChildAttributes;
    using M = S::MessageQueueAttributes;
    using P = S::ParentAttributes;
    using PR = S::PropagationAttributes;
    using SG = S::SignalAttributes;
    using T = S::TreeNode;
    return {
        ExpectedClass{&tn::BlockAttributes::metaClass, {&S::BlockAttributes::tavBlocks}, u"TavBlockPtr"},
        ExpectedClass{&tn::BusTypeElementAttributes::metaClass,
                      {&BE::complexity, &BE::min, &BE::max, &BE::unit, &BE::dataType, &BE::dims,
                       &BE::dimsMode, &BE::sampleTime, &BE::valueType, &BE::desc},
                      u"Complexity String String String String String DimsMode String String String"},
        ExpectedClass{
            &tn::BusTypeRootAttributes::metaClass, {&S::BusTypeRootAttributes::checksum}, u"String"},
        ExpectedClass{&tn::ChildAttributes::metaClass,
                      {&C::name, &C::indexOne, &C::parent, &C::attrsOfParent},
                      u"String Integer TreeNode ParentAttributes"},
        ExpectedClass{&tn::MessageQueueAttributes::metaClass,
                      {&M::useDefaultAttrs, &M::queueCapacity, &M::queueType, &M::queueOverwriting},
                      u"Boolean String QueueType Boolean"},
        ExpectedClass{&tn::ParentAttributes::metaClass,
                      {&P::children, &P::attrsOfChildren},
                      u"TreeNode ChildAttributes"},
        ExpectedClass{&tn::PlatformAttributes::metaClass,
                      {&S::PlatformAttributes::qosType, &S::PlatformAttributes::dataNode},
                      u"QoSType String"},
        ExpectedClass{
            &tn::PropagationAttributes::metaClass,
            {&PR::partialInfo, &PR::groundSource, &PR::trivialBusName, &PR::tavBusOrigSrc, &PR::tavBusSrc,
             &PR::tavBusSrcOPort, &PR::tavBusDst, &PR::tavBusDstIPort, &PR::isMessage},
            u"Boolean TavPortPtr String TavBlockPtr TavBlockPtr Integer TavBlockPtr Integer Boolean"},
        ExpectedClass{&tn::SignalAttributes::metaClass,
                      {&SG::complexity, &SG::min, &SG::max, &SG::unit, &SG::dataType, &SG::dims,
                       &SG::dimsMode, &SG::sampleTime, &SG::virtuality, &SG::dataMode, &SG::valueType,
                       &SG::desc, &SG::outputSignalName, &SG::initialOutput, &SG::outputWhenDisabled},
                      u"Complexity String String String String String DimsMode String Virtuality DataMode "
                      u"String String "
                      u"String String OutputWhenDisabled"},
        ExpectedClass{&tn::TreeNode::metaClass,
                      {&T::parentAttrs, &T::childAttrs, &T::signalAttrs, &T::busTypeRootAttrs,
                       &T::busTypeElementAttrs, &T::blockAttrs, &T::propAttrs, &T::msgQueueAttrs,
                       &T::inheritedParentAttrs, &T::platformAttrs, &T::isInherited},
                      u"ParentAttributes ChildAttributes SignalAttributes BusTypeRootAttributes "
                      u"BusTypeElementAttributes BlockAttributes PropagationAttributes "
                      u"MessageQueueAttributes ParentAttributes PlatformAttributes Boolean"},
    };
}

TEST(Metamodel, HandlesIndicesTypesAndBuilderFactoriesAgreeWithTheRegistry) {
    fm::Model model = fm::Model::create();
    const std::vector<ExpectedClass> classes = allClasses();
    ASSERT_EQ(classes.size(), 10u);
    for (const ExpectedClass& c : classes) {
        const fm::meta::Class& cls = c.metaClass();
        SCOPED_TRACE(fm::narrow(cls->getName()));
        const std::vector<fm::meta::Property>& registered = cls->getProperties();
        ASSERT_EQ(registered.size(), c.handles.size());
        std::u16string types;
        std::vector<fm::meta::Property> indexed;
        for (std::size_t k = 0; k < registered.size(); ++k) {
            const fm::meta::Property& p = registered[k];
            EXPECT_EQ(p.get(), c.handles[k]().get()) << k;
            EXPECT_EQ(p->owningClass(), cls.get());
            types += (k ? u" " : u"") + p->getType()->getName();
            EXPECT_EQ(p->hasIndex(), !p->isDerived());
            if (p->hasIndex()) indexed.push_back(p);
            EXPECT_EQ(p->getIndex(), p->hasIndex() ? indexed.size() : 0u);
        }
        EXPECT_EQ(fm::narrow(types), fm::narrow(c.types));

        // The metaclass's builder factory makes a builder of this class, whose element sees index 1..N as
        // its properties and 0 and N + 1 as the base's, with room in its snapshots for the last one.
        std::unique_ptr<fm::ModelElement::Builder> builder = cls->instantiateBuilder(model);
        ASSERT_NE(builder, nullptr);
        const std::size_t n = indexed.size();
        EXPECT_EQ(builder->bitCount(), n + 1);
        fm::ModelElement element = builder->create(fm::newUuid());
        EXPECT_EQ(element->getMetaClass().get(), cls.get());
        EXPECT_EQ(model->findElement(element->getUuid()).get(), element.get());
        for (std::size_t i = 1; i <= n; ++i)
            EXPECT_EQ(element->getPropertyByIndex(i).get(), indexed[i - 1].get());
        EXPECT_THROW(element->getPropertyByIndex(0), fm::InvalidValueException);
        EXPECT_THROW(element->getPropertyByIndex(n + 1), fm::InvalidValueException);
        EXPECT_EQ(std::unique_ptr<fm::ModelElement::Impl::Storage>(element->createStorage())->count(), n + 1);
    }
}

}  // namespace
}  // namespace elements_test
