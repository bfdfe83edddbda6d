#include "Support.hpp"

#include <arvelle/scripting/Namespaces.hpp>
#include <arvelle/treeNode/Enums.hpp>
#include <fenmo/meta/MetaRegistry.hpp>

#include <algorithm>

namespace qorin_test {

using namespace fenmo::qorin;
using fenmo_test::Node;
using plexo::HostArray;
namespace pf = plexo::factory;
namespace tn = tav::fenmo::treeNode;

namespace {

class NodeWrapper final : public FenmoWrapperInfo<Node> {
public:
    NodeWrapper() : FenmoWrapperInfo("Node", "fenmoTest.Node") {}
    void defineClass(plexo::ClassDefinition& definition) override {
        definition.addSuperclass(plexo::makeInterned(kModelElementClass), 1, 0, 1);
        pf::initStringDataTypes();
        // Node has no builder: the constructor makes it directly unless a struct is given.
        definition.addMethod(makeElementConstructor("Node", getFullName(), Node::metaClass(),
                                                    [](const fenmo::Model& model, const fenmo::uuid& id) {
                                                        return fenmo::ModelElement(Node::create(model, id));
                                                    }));
        definition.addProperty(new pf::PropertyImpl(
            "text",
            getter("PlexoFactoryString scalar", [](const Node& n) { return textToHost(n->getText()); }),
            setter([](const Node& n, const HostArray& v) { n->setText(textFromHost(v)); }), 0));
        definition.addProperty(new pf::PropertyImpl(
            "number", getter("int32", [](const Node& n) { return optionalInt32ToHost(n->getNumber()); }),
            setter([](const Node& n, const HostArray& v) { n->setNumber(optionalInt32FromHost(v)); }), 0));
        definition.addProperty(new pf::PropertyImpl(
            "child",
            getter("fenmoTest.Node",
                   [](const Node& n) { return elementToHost(n->getChild(), Node::metaClass()); }),
            setter([](const Node& n, const HostArray& v) {
                n->setChild(fenmo::handleCast<Node>(elementFromHost(v, Node::metaClass())));
            }),
            0));
        definition.addProperty(new pf::PropertyImpl(
            "hasChild",
            getter("logical scalar",
                   [](const Node& n) { return plexo::createLogicalScalar(bool(n->getChild())); }),
            nullptr, 8192));
        definition.addMethod(makeStaticMetaClass(Node::metaClass()));
    }
};

fenmo::meta::Enum complexityEnum() {
    return fenmo::handleCast<fenmo::meta::Enum>(
        fenmo::meta::MetaRegistry::getInstance()->getType(u"tav.fenmo.treeNode.Complexity"));
}

class ComplexityWrapper final : public FenmoEnumInfo<tn::Complexity> {
public:
    ComplexityWrapper() : FenmoEnumInfo("Complexity", "fenmoTest.Complexity") {}
    void defineClass(plexo::ClassDefinition& definition) override {
        FenmoEnumInfo::defineClass(definition);
        std::vector<std::pair<std::string, std::int32_t>> literals;
        for (const auto& [name, literal] : complexityEnum()->getLiterals())
            literals.emplace_back(fenmo::toUtf8(name), literal->getValue());
        std::sort(literals.begin(), literals.end(), [](auto& a, auto& b) { return a.second < b.second; });
        addLiterals(definition, literals, &complexityEnum);
    }
};

class FenmoTestNamespace final : public EmptyParentNamespace {
public:
    FenmoTestNamespace() : EmptyParentNamespace("fenmoTest") {}
    void populateNamespace(plexo::NamespaceDefinition& definition) override {
        definition.addClass(new NodeWrapper, 0, 2);
        auto* complexity = new ComplexityWrapper;
        definition.addClass(complexity, 0, 2);
        // Text conversions into members, under the three names a value of the enumeration is declared by.
        plexo::PlexoClass* cls = plexo::getClass(plexo::makeInterned("fenmoTest.Complexity"));
        for (const char* suffix : {"", " property", " scalar"})
            (new FromAnyAsStringTypeConverter(cls, complexityEnum()))
                ->addAnyConversion(std::string("fenmoTest.Complexity") + suffix);
    }
};

}  // namespace

void registerTestNamespaces() {
    initialize();
    EmptyParentNamespace::Registrar::registerNamespace(new FenmoTestNamespace);
    // The library's own classes (TreeNode, ParentAttributes, ...), registered again for every test.
    plexo::setPlexoUsingUSM(true);
    QorinInitialize_arvelle();
    plexo::setPlexoUsingUSM(false);
}

void QorinTest::SetUp() {
    m_infos = plexo::InfoAllocation::liveCount();
    registerTestNamespaces();
}

void QorinTest::TearDown() {
    EXPECT_EQ(pf::BindingRegistry::size(), 0u) << "scripting objects still bound after the test dropped them";
    plexo::shutdown();
    EXPECT_EQ(plexo::InfoAllocation::liveCount(), m_infos)
        << "infos handed to the host were not all released";
}

}  // namespace qorin_test
