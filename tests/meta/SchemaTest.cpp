// The treeNode and nativeTypes packages as registered: packages and URIs, look-up of every class and
// enumeration by identity and by name, the property table of tests/data/properties.txt, and the facts that
// are easy to get wrong (indices around derived properties, uniqueness, order, opposites, mutators).

#include "MetaTestSupport.hpp"

#include <arvelle/MetaPackageArvelle.hpp>
#include <arvelle/nativeTypes/HostTypes.hpp>
#include <arvelle/treeNode/All.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <typeinfo>

using namespace arvelle_test;
namespace schema = tav::fenmo::treeNode::schema;
namespace tn = tav::fenmo::treeNode;

namespace {

meta::Class classNamed(const std::string& name) {
    return ::fenmo::handleCast<meta::Class>(registry().getType(u16("tav.fenmo.treeNode." + name)));
}

meta::Enum enumNamed(const std::string& name) {
    return ::fenmo::handleCast<meta::Enum>(registry().getType(u16("tav.fenmo.treeNode." + name)));
}

meta::Property propertyNamed(const std::string& className, const std::string& name) {
    meta::Class cls = classNamed(className);
    return cls.get() ? cls->findProperty(u16(name)) : meta::Property();
}

// Every property registered for the ten classes, by "Class.property".
std::map<std::string, meta::Property> allProperties() {
    std::map<std::string, meta::Property> result;
    for (const Identity& identity : goldenIdentities()) {
        if (identity.kind != "class") continue;
        meta::Class cls =
            ::fenmo::handleCast<meta::Class>(registry().findElement(::fenmo::uuidFromLiteral(identity.id)));
        if (!cls.get()) continue;
        for (const meta::Property& p : cls->getProperties())
            result[u8(cls->getName()) + "." + u8(p->getName())] = p;
    }
    return result;
}

// The names of the properties in `all` for which `test` holds.
std::set<std::string> propertiesWhere(const std::map<std::string, meta::Property>& all,
                                      const std::function<bool(const meta::Property::Impl&)>& test) {
    std::set<std::string> result;
    for (const auto& [name, p] : all)
        if (test(*p.get())) result.insert(name);
    return result;
}

TEST(Schema, PackagesHangBelowTheRegisteredRootPackage) {
    meta::Package root = rootPackage();
    ASSERT_TRUE(root);
    EXPECT_EQ(root, schema::rootPackage());
    EXPECT_EQ(root->getName(), u"");
    EXPECT_FALSE(root->getParentPackage().get());
    EXPECT_EQ(uriPath(root->getUri()), kRootPath);
    // Registered as a root package under its URI, once.
    EXPECT_EQ(registry().findRootPackage(root->getUri()), root);
    int withPath = 0;
    for (const meta::Package& p : registry().getRootPackages())
        if (uriPath(p->getUri()) == kRootPath) ++withPath;
    EXPECT_EQ(withPath, 1);

    const std::u16string authority =
        root->getUri().substr(0, root->getUri().size() - uriPath(root->getUri()).size());
    EXPECT_FALSE(authority.empty());
    struct Sub {
        meta::Package package;
        const char16_t* name;
        const char16_t* path;
    };
    for (const Sub& sub :
         {Sub{schema::treeNodePackage(), u"treeNode", u"/fenmo/arvelle/V0001a/treeNode"},
          Sub{schema::nativeTypesPackage(), u"nativeTypes", u"/fenmo/arvelle/V0001a/nativeTypes"}}) {
        ASSERT_TRUE(sub.package) << u8(sub.name);
        EXPECT_EQ(sub.package->getName(), sub.name);
        EXPECT_EQ(sub.package->getUri(), authority + sub.path) << "the three URIs share one authority";
        EXPECT_EQ(sub.package->getParentPackage(), root) << u8(sub.name);
        EXPECT_FALSE(registry().findRootPackage(sub.package->getUri()).get())
            << "only the root is a root package";
    }
    std::set<std::u16string> subPackages;
    for (const auto& e : root->getContents())
        if (auto p = ::fenmo::handleCast<meta::Package>(e); p.get()) subPackages.insert(p->getName());
    EXPECT_EQ(subPackages, (std::set<std::u16string>{u"nativeTypes", u"treeNode"}));
}

TEST(Schema, CountsBelowTheRootPackage) {
    std::map<std::string, int> counts;
    std::function<void(const ::fenmo::ModelElement&)> count = [&](const ::fenmo::ModelElement& e) {
        if (auto p = ::fenmo::handleCast<meta::Package>(e); p.get())
            ++counts["packages"];
        else if (auto c = ::fenmo::handleCast<meta::Class>(e); c.get())
            ++counts["classes"];
        else if (auto en = ::fenmo::handleCast<meta::Enum>(e); en.get())
            ++counts["enumerations"];
        else if (auto t = ::fenmo::handleCast<meta::PrimitiveType>(e); t.get())
            ++counts["primitive types"];
        else if (auto pr = ::fenmo::handleCast<meta::Property>(e); pr.get())
            ++counts["properties"];
        else if (auto o = ::fenmo::handleCast<meta::Operation>(e); o.get())
            ++counts["operations"];
        else if (auto a = ::fenmo::handleCast<meta::Argument>(e); a.get())
            ++counts["arguments"];
        else if (auto l = ::fenmo::handleCast<meta::EnumLiteral>(e); l.get())
            ++counts["literals"];
        else
            ++counts["other"];
        if (auto named = ::fenmo::handleCast<meta::NamedElement>(e); named.get())
            for (const auto& inner : named->getContents()) count(inner);
    };
    count(rootPackage());
    const std::map<std::string, int> expected{{"packages", 3},     {"primitive types", 5}, {"classes", 10},
                                              {"properties", 59},  {"operations", 2},      {"arguments", 2},
                                              {"enumerations", 7}, {"literals", 19}};
    EXPECT_EQ(counts, expected);
}

TEST(Schema, ClassesAreFoundByIdentityQualifiedNameAndNativeName) {
    const std::map<std::string, const meta::Class& (*)()> accessors{
        {"BlockAttributes", &schema::BlockAttributes::metaClass},
        {"BusTypeElementAttributes", &schema::BusTypeElementAttributes::metaClass},
        {"BusTypeRootAttributes", &schema::BusTypeRootAttributes::metaClass},
        {"ChildAttributes", &schema::ChildAttributes::metaClass},
        {"MessageQueueAttributes", &schema::MessageQueueAttributes::metaClass},
        {"ParentAttributes", &schema::ParentAttributes::metaClass},
        {"PlatformAttributes", &schema::PlatformAttributes::metaClass},
        {"PropagationAttributes", &schema::PropagationAttributes::metaClass},
        {"SignalAttributes", &schema::SignalAttributes::metaClass},
        {"TreeNode", &schema::TreeNode::metaClass}};
    const std::map<std::string, const meta::Class& (*)()> elementClasses{
        {"BlockAttributes", &tn::BlockAttributes::metaClass},
        {"BusTypeElementAttributes", &tn::BusTypeElementAttributes::metaClass},
        {"BusTypeRootAttributes", &tn::BusTypeRootAttributes::metaClass},
        {"ChildAttributes", &tn::ChildAttributes::metaClass},
        {"MessageQueueAttributes", &tn::MessageQueueAttributes::metaClass},
        {"ParentAttributes", &tn::ParentAttributes::metaClass},
        {"PlatformAttributes", &tn::PlatformAttributes::metaClass},
        {"PropagationAttributes", &tn::PropagationAttributes::metaClass},
        {"SignalAttributes", &tn::SignalAttributes::metaClass},
        {"TreeNode", &tn::TreeNode::metaClass}};
    ::fenmo::Model model = ::fenmo::Model::create();

    int seen = 0;
    for (const Identity& identity : goldenIdentities()) {
        if (identity.kind != "class") continue;
        ++seen;
        const std::string name = identity.name.substr(std::string("tav.fenmo.treeNode.").size());
        SCOPED_TRACE(name);
        meta::Class byId =
            ::fenmo::handleCast<meta::Class>(registry().findElement(::fenmo::uuidFromLiteral(identity.id)));
        ASSERT_TRUE(byId);
        EXPECT_EQ(byId->getName(), u16(name));
        EXPECT_EQ(registry().getType(u16(identity.name)), byId);
        EXPECT_EQ(registry().getTypeByNativeName(u16("tav::fenmo::treeNode::" + name)), byId);
        EXPECT_EQ(byId->getQualifiedName(), u16(identity.name));
        EXPECT_EQ(byId->getNativeName(), u16("tav::fenmo::treeNode::" + name));
        EXPECT_EQ(byId->getTypeIdName(), "");
        EXPECT_EQ(accessors.at(name)(), byId);
        EXPECT_EQ(elementClasses.at(name)(), byId);

        EXPECT_EQ(byId->getOwningPackage(), schema::treeNodePackage());
        ASSERT_EQ(byId->getSuperclasses().size(), 1u);
        EXPECT_EQ(byId->getSuperclasses().front(), ::fenmo::ModelElement::metaClass());
        EXPECT_TRUE(byId->conformsTo(::fenmo::ModelElement::metaClass()));
        EXPECT_FALSE(byId->isAbstract());
        EXPECT_FALSE(byId->isInterface());

        // The builder factory makes builders of this very class for the given model.
        std::unique_ptr<::fenmo::ModelElement::Builder> builder = byId->instantiateBuilder(model);
        ASSERT_TRUE(builder);
        EXPECT_EQ(builder->getMetaClass(), byId);
        EXPECT_EQ(builder->getModel(), model);
    }
    EXPECT_EQ(seen, 10);
}

TEST(Schema, EnumerationsAreFoundByIdentityQualifiedNameAndNativeName) {
    std::map<std::string, std::vector<Identity>> literals;
    for (const Identity& identity : goldenIdentities())
        if (identity.kind == "literal")
            literals[identity.name.substr(0, identity.name.rfind('.'))].push_back(identity);

    int seen = 0;
    for (const Identity& identity : goldenIdentities()) {
        if (identity.kind != "enum") continue;
        ++seen;
        const std::string name = identity.name.substr(std::string("tav.fenmo.treeNode.").size());
        SCOPED_TRACE(name);
        meta::Enum byId =
            ::fenmo::handleCast<meta::Enum>(registry().findElement(::fenmo::uuidFromLiteral(identity.id)));
        ASSERT_TRUE(byId);
        EXPECT_EQ(byId->getName(), u16(name));
        EXPECT_EQ(registry().getType(u16(identity.name)), byId);
        // Enumerations' native names begin with "::", unlike the classes'.
        EXPECT_EQ(registry().getTypeByNativeName(u16("::tav::fenmo::treeNode::" + name)), byId);
        EXPECT_EQ(byId->getNativeName(), u16("::tav::fenmo::treeNode::" + name));
        EXPECT_EQ(byId->getTypeIdName(), "");
        EXPECT_EQ(byId->getOwningPackage(), schema::treeNodePackage());
        EXPECT_EQ(byId->getUnderlyingType(), meta::StandardTypes::integerMeta());

        // Literals: values are positions from 0, each literal knows its enumeration, and no literal has a
        // public identifier of its own.
        const std::vector<Identity>& expected = literals[identity.name];
        EXPECT_EQ(byId->getLiterals().size(), expected.size());
        for (std::size_t value = 0; value < expected.size(); ++value) {
            const std::string literalName = expected[value].name.substr(identity.name.size() + 1);
            const meta::EnumLiteral* literal = byId->literalByValue(static_cast<std::int32_t>(value));
            ASSERT_NE(literal, nullptr) << value;
            EXPECT_EQ((*literal)->getName(), u16(literalName));
            EXPECT_EQ(::fenmo::toString((*literal)->getUuid()), expected[value].id);
            EXPECT_EQ((*literal)->getEnum(), byId);
            EXPECT_FALSE((*literal)->getOwnPublicId().has_value());
            EXPECT_EQ((*literal)->getPublicId(), u16(literalName));
        }
    }
    EXPECT_EQ(seen, 7);
}

TEST(Schema, NativeTypesAreRegisteredUnderTheirPointerNames) {
    struct Row {
        const meta::PrimitiveType& type;
        const char* name;
        const char16_t* nativeName;
        const std::type_info& info;
    };
    const Row rows[] = {
        {schema::nativeTypes::DataTypeTablePtr(), "DataTypeTablePtr", u"TAVTypeSys::DataTypeTable *",
         typeid(TAVTypeSys::DataTypeTable*)},
        {schema::nativeTypes::TavBlockPtr(), "TavBlockPtr", u"TAVBlock *", typeid(TAVBlock*)},
        {schema::nativeTypes::TavGraphPtr(), "TavGraphPtr", u"tavGraph *", typeid(tavGraph*)},
        {schema::nativeTypes::TavPortPtr(), "TavPortPtr", u"tavPort *", typeid(tavPort*)},
        {schema::nativeTypes::VoidPtr(), "VoidPtr", u"void *", typeid(void*)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.type);
        EXPECT_EQ(row.type->getName(), u16(row.name));
        EXPECT_EQ(row.type->getOwningPackage(), schema::nativeTypesPackage());
        EXPECT_EQ(registry().getTypeByNativeName(row.nativeName), row.type);
        EXPECT_EQ(registry().getTypeByTypeIdName(row.info.name()), row.type);
        EXPECT_EQ(row.type->getTypeIdName(), row.info.name());
        EXPECT_FALSE(row.type->hasRegisteredQualifiedName());
        EXPECT_TRUE(registry().isCorrectTypeForTypeId(row.type, row.info));
        // Only the registered pointer type matches: a TAVBlock* is not a tavPort*.
        const std::type_info& other = &row.info == &typeid(void*) ? typeid(TAVBlock*) : typeid(void*);
        EXPECT_FALSE(registry().isCorrectTypeForTypeId(row.type, other));
    }
}

TEST(Schema, PropertiesMatchThePropertyTable) {
    const std::vector<PropertyRow> rows = goldenProperties();
    ASSERT_EQ(rows.size(), 59u);

    auto expectedType = [](const std::string& name) -> meta::Type {
        if (name == "String") return meta::StandardTypes::stringMeta();
        if (name == "Integer") return meta::StandardTypes::integerMeta();
        if (name == "Boolean") return meta::StandardTypes::booleanMeta();
        if (name == "TavBlockPtr") return schema::nativeTypes::TavBlockPtr();
        if (name == "TavPortPtr") return schema::nativeTypes::TavPortPtr();
        return registry().getType(u16("tav.fenmo.treeNode." + name));
    };

    // Declaration order per class, derived properties in their place.
    std::map<std::string, std::vector<std::u16string>> order;
    for (const PropertyRow& row : rows) order[row.className].push_back(u16(row.name));
    for (const auto& [className, names] : order) {
        meta::Class cls = classNamed(className);
        ASSERT_TRUE(cls) << className;
        std::vector<std::u16string> registered;
        for (const meta::Property& p : cls->getProperties()) registered.push_back(p->getName());
        EXPECT_EQ(registered, names) << className;
    }

    for (const PropertyRow& row : rows) {
        SCOPED_TRACE(row.className + "." + row.name);
        meta::Property p = propertyNamed(row.className, row.name);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->getOwningClass(), classNamed(row.className));
        EXPECT_EQ(p->getIndex(), row.index);
        EXPECT_EQ(p->hasIndex(), row.index != 0);
        EXPECT_EQ(static_cast<int>(p->getKind()), row.kind);
        EXPECT_EQ(p->isComposite(), row.composite);
        meta::Type type = expectedType(row.type);
        ASSERT_TRUE(type) << row.type;
        EXPECT_EQ(p->getType(), type)
            << "registered type " << (p->getType().get() ? u8(p->getType()->getName()) : "none");
        EXPECT_EQ(p->isOrdered(), !row.has("unordered"));
        EXPECT_EQ(p->isUnique(), !row.has("nonunique"));
        EXPECT_EQ(p->hasPublicMutator(), !row.has("nomutator"));
        EXPECT_EQ(p->isDerived(), row.has("derived"));
        EXPECT_EQ(p->isReadOnly(), row.has("readonly"));
        EXPECT_EQ(p->isTransient(), row.has("transient"));
        EXPECT_EQ(p->hasCustomQualification(), row.has("customqual"));
        EXPECT_TRUE(p->isQualificationUnique());
        // "Default none" is an explicit empty default; the other properties declare no default at all.
        EXPECT_EQ(p->hasDefaultValue(), row.has("defaultnone"));
        EXPECT_FALSE(p->getDefaultValue().has_value());
        const std::string opposite = row.opposite();
        if (opposite.empty()) {
            EXPECT_FALSE(p->getOpposite().get());
        } else {
            const std::size_t dot = opposite.find('.');
            EXPECT_EQ(p->getOpposite(), propertyNamed(opposite.substr(0, dot), opposite.substr(dot + 1)));
        }
    }
}

TEST(Schema, IndicesSkipDerivedProperties) {
    // ChildAttributes has four properties; the derived `parent` sits third but takes no index, so
    // attrsOfParent is index 3, not 4. Likewise TreeNode.isInherited comes last without an index.
    meta::Class child = classNamed("ChildAttributes");
    ASSERT_TRUE(child);
    ASSERT_EQ(child->getProperties().size(), 4u);
    EXPECT_EQ(schema::ChildAttributes::attrsOfParent()->getIndex(), 3u);
    EXPECT_EQ(schema::ChildAttributes::parent()->getIndex(), 0u);
    EXPECT_FALSE(schema::ChildAttributes::parent()->hasIndex());
    EXPECT_TRUE(schema::ChildAttributes::parent()->isDerived());

    meta::Class node = classNamed("TreeNode");
    ASSERT_TRUE(node);
    ASSERT_EQ(node->getProperties().size(), 11u);
    EXPECT_FALSE(schema::TreeNode::isInherited()->hasIndex());
    EXPECT_EQ(schema::TreeNode::platformAttrs()->getIndex(), 10u);
    EXPECT_EQ(schema::TreeNode::isInherited()->getQualifiedName(), u"treeNode.TreeNode.isInherited");

    // The stored properties of every class are numbered 1..n without gaps or repeats.
    const std::map<std::string, std::size_t> stored{
        {"BlockAttributes", 1},    {"BusTypeElementAttributes", 10}, {"BusTypeRootAttributes", 1},
        {"ChildAttributes", 3},    {"MessageQueueAttributes", 4},    {"ParentAttributes", 2},
        {"PlatformAttributes", 2}, {"PropagationAttributes", 9},     {"SignalAttributes", 15},
        {"TreeNode", 10}};
    for (const auto& [className, count] : stored) {
        std::set<std::size_t> indices;
        std::size_t indexed = 0;
        for (const meta::Property& p : classNamed(className)->getProperties())
            if (p->hasIndex()) {
                ++indexed;
                indices.insert(p->getIndex());
            }
        EXPECT_EQ(indexed, count) << className;
        EXPECT_EQ(indices.size(), count) << className;
        EXPECT_EQ(indices.empty() ? 0 : *indices.rbegin(), count) << className;
    }
}

TEST(Schema, FlagsThatSetFewPropertiesApart) {
    const auto all = allProperties();
    ASSERT_EQ(all.size(), 59u);

    EXPECT_EQ(propertiesWhere(all, [](const auto& p) { return !p.isUnique(); }),
              (std::set<std::string>{"ParentAttributes.children"}));
    EXPECT_EQ(propertiesWhere(all, [](const auto& p) { return !p.isOrdered(); }),
              (std::set<std::string>{"BlockAttributes.tavBlocks", "ParentAttributes.attrsOfChildren"}));
    EXPECT_EQ(propertiesWhere(all, [](const auto& p) { return p.getOpposite().get() != nullptr; }),
              (std::set<std::string>{"ChildAttributes.attrsOfParent", "ParentAttributes.attrsOfChildren"}));
    EXPECT_EQ(schema::ChildAttributes::attrsOfParent()->getOpposite(),
              schema::ParentAttributes::attrsOfChildren());
    EXPECT_EQ(schema::ParentAttributes::attrsOfChildren()->getOpposite(),
              schema::ChildAttributes::attrsOfParent());
    EXPECT_EQ(propertiesWhere(all, [](const auto& p) { return p.hasCustomQualification(); }),
              (std::set<std::string>{"ParentAttributes.attrsOfChildren"}));
    EXPECT_EQ(propertiesWhere(all, [](const auto& p) { return p.isDerived(); }),
              (std::set<std::string>{"ChildAttributes.parent", "TreeNode.isInherited"}));
    EXPECT_EQ(propertiesWhere(all, [](const auto& p) { return p.isReadOnly() || p.isTransient(); }),
              (std::set<std::string>{"TreeNode.isInherited"}));
    EXPECT_EQ(propertiesWhere(all, [](const auto& p) { return p.getKind() == ::fenmo::ValueFlags::Map; }),
              (std::set<std::string>{"ParentAttributes.attrsOfChildren"}));
    EXPECT_EQ(propertiesWhere(all, [](const auto& p) { return p.isComposite(); }),
              (std::set<std::string>{
                  "ParentAttributes.children", "TreeNode.blockAttrs", "TreeNode.busTypeElementAttrs",
                  "TreeNode.busTypeRootAttrs", "TreeNode.childAttrs", "TreeNode.inheritedParentAttrs",
                  "TreeNode.msgQueueAttrs", "TreeNode.parentAttrs", "TreeNode.platformAttrs",
                  "TreeNode.propAttrs", "TreeNode.signalAttrs"}));

    // The bus type attributes are read-only to their users; the like-named signal attributes are not.
    std::set<std::string> noMutator =
        propertiesWhere(all, [](const auto& p) { return !p.hasPublicMutator(); });
    EXPECT_EQ(noMutator.size(), 11u);
    EXPECT_TRUE(noMutator.count("BusTypeRootAttributes.checksum"));
    for (const meta::Property& p : classNamed("BusTypeElementAttributes")->getProperties()) {
        const std::string name = u8(p->getName());
        EXPECT_TRUE(noMutator.count("BusTypeElementAttributes." + name)) << name;
        meta::Property signal = propertyNamed("SignalAttributes", name);
        ASSERT_TRUE(signal) << name;
        EXPECT_TRUE(signal->hasPublicMutator()) << name;
    }
}

TEST(Schema, IsInheritedCannotBeWrittenReflectively) {
    // Derived and read-only: even a privileged write is refused, naming the property by its full name.
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::TreeNode node = tn::TreeNode::create(model, ::fenmo::uuid{});
    ASSERT_TRUE(node);
    for (bool privileged : {false, true}) {
        for (bool value : {true, false}) {
            try {
                node->setPropertyValue(schema::TreeNode::isInherited(), ::fenmo::Value::ofBoolean(value),
                                       ::fenmo::ReflectionPrivateTag(privileged));
                ADD_FAILURE() << "write accepted, privileged " << privileged;
            } catch (const ::fenmo::MessageIdException& e) {
                EXPECT_EQ(e.catalog(), "fenmo:messages");
                EXPECT_EQ(e.key(), "CannotSetReadOnlyProperty");
                EXPECT_EQ(e.arguments(), std::vector<std::u16string>{u"treeNode.TreeNode.isInherited"});
            }
        }
    }
    EXPECT_FALSE(node->getIsInherited());
    EXPECT_FALSE(node->getPropertyValue(schema::TreeNode::isInherited(), ::fenmo::ReflectionPrivateTag())
                     .getBoolean());
}

TEST(Schema, NumericLookingPropertiesAreStrings) {
    const meta::Type& string = meta::StandardTypes::stringMeta();
    EXPECT_EQ(schema::SignalAttributes::min()->getType(), string);
    EXPECT_EQ(schema::SignalAttributes::max()->getType(), string);
    EXPECT_EQ(schema::BusTypeElementAttributes::min()->getType(), string);
    EXPECT_EQ(schema::BusTypeElementAttributes::max()->getType(), string);
    EXPECT_EQ(schema::MessageQueueAttributes::queueCapacity()->getType(), string);
    // The port numbers, by contrast, are integers.
    EXPECT_EQ(schema::PropagationAttributes::tavBusSrcOPort()->getType(), meta::StandardTypes::integerMeta());
}

TEST(Schema, LiteralZeroOfEachEnumeration) {
    const std::map<std::string, std::u16string> first{
        {"Complexity", u"AUTO"},         {"DataMode", u"INHERIT"}, {"DimsMode", u"INHERIT"},
        {"OutputWhenDisabled", u"HELD"}, {"QoSType", u"NONE"},     {"QueueType", u"Q_TYPE_FIFO"},
        {"Virtuality", u"INHERIT"}};
    for (const auto& [name, literal] : first) {
        meta::Enum en = enumNamed(name);
        ASSERT_TRUE(en) << name;
        const meta::EnumLiteral* zero = en->literalByValue(0);
        ASSERT_NE(zero, nullptr) << name;
        EXPECT_EQ((*zero)->getName(), literal) << name;
    }
    EXPECT_EQ(static_cast<int>(tn::Complexity::AUTO), 0);
    EXPECT_EQ(static_cast<int>(tn::QueueType::Q_TYPE_FIFO), 0);
    EXPECT_EQ(static_cast<int>(tn::Virtuality::NON_VIRTUAL), 2);
}

TEST(Schema, OperationsOfParentAttributes) {
    meta::Class parent = classNamed("ParentAttributes");
    ASSERT_TRUE(parent);
    ASSERT_EQ(parent->getOperations().size(), 2u);
    EXPECT_EQ(parent->getOperations()[0], schema::ParentAttributes::addChild());
    EXPECT_EQ(parent->getOperations()[1], schema::ParentAttributes::removeChild());
    EXPECT_EQ(parent->findOperation(u"addChild"), schema::ParentAttributes::addChild());
    for (const meta::Operation& op : parent->getOperations()) {
        SCOPED_TRACE(u8(op->getName()));
        EXPECT_EQ(op->getOwningType(), parent);
        EXPECT_FALSE(op->isAbstract());
        EXPECT_FALSE(op->isStatic());
        EXPECT_FALSE(op->isPublic());
        EXPECT_FALSE(op->isEvent());
        EXPECT_FALSE(op->getResultType().get());
        EXPECT_NE(op->getInvoker(), nullptr);
        ASSERT_EQ(op->getArguments().size(), 1u);
        const meta::Argument& child = op->getArguments().front();
        EXPECT_EQ(child->getName(), u"child");
        EXPECT_EQ(child->getType(), schema::TreeNode::metaClass());
        EXPECT_EQ(child->getOperation(), op);
        EXPECT_TRUE(child->isInput());
        EXPECT_EQ(child->getLower(), 1);
        EXPECT_EQ(child->getUpper(), 1);
    }
    // Other classes declare no operations.
    for (const auto& name : {"TreeNode", "ChildAttributes", "BlockAttributes", "SignalAttributes"})
        EXPECT_TRUE(classNamed(name)->getOperations().empty()) << name;
}

}  // namespace
