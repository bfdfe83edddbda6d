// The metamodel as registered: every persistent identity against the golden list tests/data/identities.txt,
// look-up of classes and enumerations, the property table tests/data/properties.txt, and the few facts that
// are easy to get wrong.

#include "MetaTestSupport.hpp"

#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>

#include <algorithm>
#include <map>
#include <sstream>

using namespace arvelle_test;

namespace {

const std::string kPrefix = "tav.fenmo.treeNode.";

template <class Handle>
Handle as(const ::fenmo::ModelElement& element) {
    return ::fenmo::handleCast<Handle>(element);
}

// One line of identities.txt: kind, identity, qualified name (and a literal's value).
struct Identity {
    std::string kind, id, name, line;
};

std::vector<Identity> golden() {
    std::vector<Identity> result;
    for (const std::string& line : dataLines("identities.txt")) {
        Identity& identity = result.emplace_back();
        std::istringstream(line) >> identity.kind >> identity.id >> identity.name;
        identity.line = line;
    }
    return result;
}

std::string nameOf(const meta::Type& type) {
    return type.get() ? u8(type->getQualifiedName()) : "<none>";
}

// `element` and what it contains, one line each in the format of identities.txt. Sub-packages have no
// identity of their own and give no line, nor does a missing element.
void dump(const ::fenmo::ModelElement& element, std::vector<std::string>& out) {
    if (!element.get()) return;
    const std::string id = ::fenmo::toString(element->getUuid());
    auto add = [&](const std::string& kind, const std::string& name) {
        out.push_back(kind + " " + id + " " + name);
    };
    if (auto package = as<meta::Package>(element); package.get()) {
        const std::u16string uri = package->getUri();
        if (!package->getParentPackage().get())
            add("package", u8(uri.substr(uri.find(u'/', uri.find(u"://") + 3))));
    } else if (auto type = as<meta::Type>(element); type.get()) {
        add(as<meta::Class>(type).get()  ? "class"
            : as<meta::Enum>(type).get() ? "enum"
                                         : "primitive",
            nameOf(type));
    } else if (auto property = as<meta::Property>(element); property.get()) {
        add("property", nameOf(property->getOwningClass()) + "." + u8(property->getName()));
    } else if (auto operation = as<meta::Operation>(element); operation.get()) {
        add("operation", nameOf(operation->getOwningType()) + "." + u8(operation->getName()));
    } else if (auto argument = as<meta::Argument>(element); argument.get()) {
        const meta::Operation op = argument->getOperation();
        add("argument",
            op.get() ? nameOf(op->getOwningType()) + "." + u8(op->getName()) + "." + u8(argument->getName())
                     : "<no operation>");
    } else if (auto literal = as<meta::EnumLiteral>(element); literal.get()) {
        add("literal", nameOf(literal->getEnum()) + "." + u8(literal->getName()) + " " +
                           std::to_string(literal->getValue()));
    } else {
        add("unexpected", "");
    }
    if (auto named = as<meta::NamedElement>(element); named.get())
        for (const auto& inner : named->getContents()) dump(inner, out);
}

TEST(Identities, RegistryHoldsExactlyTheGoldenList) {
    // The list itself has the size of the metamodel.
    std::map<std::string, int> perKind;
    std::vector<std::string> expected;
    for (const Identity& identity : golden()) {
        ++perKind[identity.kind];
        expected.push_back(identity.line);
    }
    const std::map<std::string, int> kinds{{"package", 1},   {"primitive", 5}, {"class", 10},
                                           {"property", 59}, {"operation", 2}, {"argument", 2},
                                           {"enum", 7},      {"literal", 19}};
    EXPECT_EQ(perKind, kinds);

    // The root package is the one the element classes use.
    const meta::Package root = as<meta::Package>(
        registry().findElement(::fenmo::uuidFromLiteral("a6e93cf1-c903-306a-9e97-70f0fa4695d1")));
    ASSERT_TRUE(root);
    EXPECT_EQ(root, schema::rootPackage());

    // Walking down from the root finds each golden line once, and nothing else.
    std::vector<std::string> registered;
    {
        auto locked = registry().getMetaRegistryModel();
        dump(root, registered);
    }
    for (const std::string& line : expected)
        EXPECT_EQ(std::count(registered.begin(), registered.end(), line), 1) << "registered: " << line;
    for (const std::string& line : registered)
        EXPECT_EQ(std::count(expected.begin(), expected.end(), line), 1) << "in the golden list: " << line;
}

TEST(Identities, EveryIdentityClassAndEnumerationIsFound) {
    ::fenmo::Model model = ::fenmo::Model::create();
    for (const Identity& identity : golden()) {
        // Look-up by identity reaches the element the walk from the root reaches.
        std::vector<std::string> line;
        dump(registry().findElement(::fenmo::uuidFromLiteral(identity.id)), line);
        EXPECT_EQ(line.empty() ? "" : line.front(), identity.line);
        if (identity.kind != "class" && identity.kind != "enum") continue;
        SCOPED_TRACE(identity.name);
        const meta::Type byId = as<meta::Type>(registry().findElement(::fenmo::uuidFromLiteral(identity.id)));
        ASSERT_TRUE(byId);
        EXPECT_EQ(registry().getType(u16(identity.name)), byId);
        // Enumerations' native names begin with "::", the classes' do not.
        const std::u16string native =
            u16((identity.kind == "enum" ? "::" : "") + std::string("tav::fenmo::treeNode::") +
                identity.name.substr(kPrefix.size()));
        EXPECT_EQ(byId->getNativeName(), native);
        EXPECT_EQ(registry().getTypeByNativeName(native), byId);
        if (const meta::Class cls = as<meta::Class>(byId); cls.get()) {
            // Elements made by the registered builder factory report this very handle as their class.
            auto builder = cls->instantiateBuilder(model);
            ASSERT_TRUE(builder);
            EXPECT_EQ(builder->create(::fenmo::uuid{})->getMetaClass(), cls);
        }
    }
}

// A registered property in the format of properties.txt.
std::string describe(const std::string& className, const meta::Property::Impl& p) {
    std::ostringstream line;
    line << className << " " << u8(p.getName()) << " " << (p.hasIndex() ? std::to_string(p.getIndex()) : "-")
         << " " << static_cast<int>(p.getKind()) << " " << (p.isComposite() ? "yes" : "-") << " "
         << (p.getType().get() ? u8(p.getType()->getName()) : "<none>");
    auto flag = [](bool set, const char* name) { return set ? std::string(" ") + name : std::string(); };
    line << flag(!p.isOrdered(), "unordered") << flag(!p.isUnique(), "nonunique")
         << flag(!p.hasPublicMutator(), "nomutator") << flag(p.hasDefaultValue(), "defaultnone")
         << flag(p.getDefaultValue().has_value(), "default") << flag(p.isDerived(), "derived")
         << flag(p.isReadOnly(), "readonly") << flag(p.isTransient(), "transient")
         << flag(p.hasCustomQualification(), "customqual");
    if (const meta::Property& opposite = p.getOpposite(); opposite.get())
        line << " opposite=" << u8(opposite->getOwningClass()->getName()) << "." << u8(opposite->getName());
    return line.str();
}

TEST(Schema, PropertiesMatchThePropertyTable) {
    // Every property of every class, in declaration order, derived ones in their place.
    const std::vector<std::string> table = dataLines("properties.txt");
    std::vector<std::string> registered;
    for (const Identity& identity : golden()) {
        if (identity.kind != "class") continue;
        const meta::Class cls =
            as<meta::Class>(registry().findElement(::fenmo::uuidFromLiteral(identity.id)));
        ASSERT_TRUE(cls) << identity.name;
        for (const meta::Property& p : cls->getProperties())
            registered.push_back(describe(identity.name.substr(kPrefix.size()), *p.get()));
    }
    ASSERT_EQ(registered.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(registered[i], table[i]);
}

TEST(Schema, FactsThatAreEasyToGetWrong) {
    // Through the handles the element classes use. A derived property takes no index: attrsOfParent comes
    // after the derived `parent` and is still index 3; isInherited comes after platformAttrs (10).
    EXPECT_EQ(schema::ChildAttributes::attrsOfParent()->getIndex(), 3u);
    EXPECT_FALSE(schema::ChildAttributes::parent()->hasIndex());
    EXPECT_FALSE(schema::TreeNode::isInherited()->hasIndex());
    EXPECT_EQ(schema::TreeNode::platformAttrs()->getIndex(), 10u);
    EXPECT_FALSE(schema::ParentAttributes::children()->isUnique());
    EXPECT_FALSE(schema::BlockAttributes::tavBlocks()->isOrdered());
    EXPECT_FALSE(schema::ParentAttributes::attrsOfChildren()->isOrdered());
    EXPECT_EQ(schema::ChildAttributes::attrsOfParent()->getOpposite(),
              schema::ParentAttributes::attrsOfChildren());
    EXPECT_EQ(schema::ParentAttributes::attrsOfChildren()->getOpposite(),
              schema::ChildAttributes::attrsOfParent());
    // That no other property is non-unique, unordered or has an opposite, and which have no public mutator
    // (the bus type attributes, unlike the like-named signal attributes), the property table shows.
}

// Copies of the meta-package share its handles; only the instance getInstance built takes the metamodel
// out, so copying, assigning and dropping copies leaves every registration in place.
TEST(MetaPackage, CopiesLeaveTheRegistrationInPlace) {
    tav::fenmo::MetaPackageArvelle* instance = tav::fenmo::MetaPackageArvelle::getInstance();
    // Runs when the library unloads, after this test: a count that only copies could have raised.
    static int cleanupRuns = 0;
    instance->addCleanup([] { ++cleanupRuns; });
    auto* serializers = meta::PropertySerializerRegistry::getInstance();
    const std::size_t serializerCount = serializers->size();
    {
        tav::fenmo::MetaPackageArvelle copy(*instance);
        tav::fenmo::MetaPackageArvelle other(copy);
        other = copy;
        copy = *instance;
        *instance = other;
    }
    EXPECT_EQ(tav::fenmo::MetaPackageArvelle::getInstance(), instance);
    EXPECT_EQ(cleanupRuns, 0);
    const meta::Package root = as<meta::Package>(
        registry().findElement(::fenmo::uuidFromLiteral(tav::fenmo::MetaPackageArvelle::kRootIdentity)));
    ASSERT_TRUE(root);
    EXPECT_EQ(root, schema::rootPackage());
    EXPECT_EQ(registry().getType(u"tav.fenmo.treeNode.TreeNode"), schema::TreeNode::metaClass());
    EXPECT_EQ(serializers->size(), serializerCount);
    const meta::PropertySerializer* names =
        serializers->findPropertySerializer(schema::Complexity::type(), u"");
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(names->parseValue(u"COMPLEX", schema::Complexity::type()).getInteger(), 2);
    // The element classes still work.
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::SignalAttributes signal = tn::SignalAttributes::create(model, ::fenmo::uuid{});
    signal->setComplexity(tn::Complexity::COMPLEX);
    EXPECT_EQ(signal->getMetaClass(), schema::SignalAttributes::metaClass());
}

}  // namespace
