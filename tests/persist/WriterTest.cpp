// What the writer reads through the classes' direct field readers and how it writes it: the readers
// answer as reflection does, texts and numbers are written byte for byte, bad text is refused.

#include "PersistSupport.hpp"

#include "ExampleModel.hpp"

#include <fenmo/Reflection.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/StandardTypes.hpp>
#include <fenmo/query/Node.hpp>

#include <climits>

namespace persisttest {
namespace {

namespace q = ::fenmo::query::detail;
using ::fenmo::ModelElement;
using ::fenmo::Value;
namespace meta = ::fenmo::meta;

const ::fenmo::Reflection kKeep(::fenmo::Access::Privileged, ::fenmo::Proxies::Keep);

bool isType(const meta::Property& property, const meta::Type& type) {
    return property->typeImpl() == type.get();
}

// Host pointers and lists of primitive values have no direct readers: the writer reads them reflectively.
bool readReflectively(const meta::Property& p) {
    const ModelElement::Impl* type = p->typeImpl();
    const bool element = dynamic_cast<const meta::Class::Impl*>(type) != nullptr;
    const bool known = element || isType(p, meta::StandardTypes::stringMeta()) ||
                       isType(p, meta::StandardTypes::booleanMeta()) ||
                       isType(p, meta::StandardTypes::integerMeta()) ||
                       dynamic_cast<const meta::Enum::Impl*>(type) != nullptr;
    return !known || (p->isMany() && !element);
}

// Gives each single-valued scalar of `element` a value, now and then none.
void fillScalars(std::mt19937& random, const ModelElement& element) {
    for (const meta::Property& p : element->getMetaClass()->getAllProperties()) {
        if (p->isDerived() || p->isMany() || p->isReadOnly() || !p->hasIndex()) continue;
        const ModelElement::Impl* type = p->typeImpl();
        if (dynamic_cast<const meta::Class::Impl*>(type)) continue;
        if (random() % 3 == 0) {
            if (!p->isMandatory()) kKeep.unset(element, p);
            continue;
        }
        if (isType(p, meta::StandardTypes::stringMeta()))
            kKeep.set(element, p, Value::ofString(randomText(random)));
        else if (isType(p, meta::StandardTypes::booleanMeta()))
            kKeep.set(element, p, Value::ofBoolean(random() % 2 == 0));
        else if (isType(p, meta::StandardTypes::integerMeta()))
            kKeep.set(element, p, Value::ofInteger(random() % 2 ? INT32_MIN : INT32_MAX));
        else if (auto* enumeration = dynamic_cast<const meta::Enum::Impl*>(type))
            kKeep.set(
                element, p,
                Value::ofEnum(p->getType(), static_cast<int>(random() % enumeration->getLiterals().size())));
    }
}

class Collect final : public q::CollectionVisitor {
public:
    bool visit(ModelElement::Impl* element) override {
        held.push_back(element);
        return true;
    }
    std::vector<ModelElement::Impl*> held;
};

// The readers of `p` say what reflection says of `e`, with proxies kept.
void expectReadersAgree(const ModelElement& e, const meta::Property& p, const q::PropertyAccess& r) {
    const std::string what = ::fenmo::toUtf8(p->getQualifiedName());
    const bool has = kKeep.has(e, p);
    const Value value = kKeep.get(e, p);
    if (r.text) {
        const std::u16string* text = r.text(*e.get());
        EXPECT_EQ(text != nullptr, has) << what;
        if (text) {
            EXPECT_EQ(*text, value.getString()) << what;
        }
    } else if (r.number) {
        std::int32_t number = -7;
        const bool set = r.number(*e.get(), number);
        EXPECT_EQ(set, has) << what;
        if (set) {
            EXPECT_EQ(number,
                      isType(p, meta::StandardTypes::booleanMeta()) ? value.getBoolean() : value.getInteger())
                << what;
        }
    } else if (r.element) {
        ModelElement::Impl* held = r.element(*e.get());
        EXPECT_EQ(held != nullptr, has) << what;
        EXPECT_EQ(held, value.getElement().get()) << what;
    } else {
        ASSERT_TRUE(r.collection && r.size) << what;
        Collect collect;
        r.collection(*e.get(), collect);
        const Value::List entries = value.getEntries();
        EXPECT_EQ(r.size(*e.get()), entries.size()) << what;
        EXPECT_EQ(!collect.held.empty(), has) << what;
        ASSERT_EQ(collect.held.size(), entries.size()) << what;
        for (std::size_t i = 0; i < entries.size(); ++i)
            EXPECT_EQ(collect.held[i], entries[i].getElement().get()) << what << " entry " << i;
    }
}

TEST(FieldReaders, AnswerAsReflectionAndOnlyForStoredFieldsTheyCanRead) {
    Model model = Model::create();
    arvelle::tools::buildExample(model);
    std::mt19937 random(11);
    for (int round = 0; round < 3; ++round) {
        if (round > 0)
            for (const ModelElement& e : model->elements())
                if (!::fenmo::handleCast<tn::ChildAttributes>(e)) fillScalars(random, e);
        int checked = 0;
        for (const ModelElement& e : model->elements()) {
            for (const meta::Property& p : e->getMetaClass()->getAllProperties()) {
                q::PropertyAccess readers;
                const bool given = e->fieldReaders(p, readers);
                EXPECT_EQ(given, !p->isDerived() && !readReflectively(p))
                    << ::fenmo::toUtf8(p->getQualifiedName());
                if (!given) continue;
                expectReadersAgree(e, p, readers);
                ++checked;
            }
        }
        EXPECT_GT(checked, 100);
    }
    // A class written by hand (the metamodel's own) has none.
    q::PropertyAccess readers;
    EXPECT_FALSE(tn::TreeNode::metaClass()->fieldReaders(tn::schema::TreeNode::childAttrs(), readers));
}

// The line of the element with identity `id` in a saved text.
std::string lineOf(const std::string& text, const uuid& id) {
    const std::size_t at = text.find("f:id=\"" + ::fenmo::toString(id) + "\"");
    if (at == std::string::npos) return {};
    const std::size_t begin = text.rfind('\n', at) + 1;
    return text.substr(begin, text.find('\n', at) - begin);
}

TEST(Writer, TextsNumbersAndEnumeratorsOfEachElementAreWrittenAsTheyAre) {
    Model model = Model::create();
    tn::TreeNode::Builder root(model);
    auto children = std::make_unique<tn::ParentAttributes::Builder>();
    // Each enumerator on several elements, in an order that differs from the literals'.
    const tn::Complexity order[] = {tn::Complexity::REAL, tn::Complexity::AUTO,    tn::Complexity::COMPLEX,
                                    tn::Complexity::REAL, tn::Complexity::COMPLEX, tn::Complexity::AUTO};
    for (int i = 0; i < 6; ++i) {
        auto child = std::make_unique<tn::TreeNode::Builder>();
        auto place = std::make_unique<tn::ChildAttributes::Builder>();
        place->setName(u"c" + ::fenmo::widenNumber(i))
            .setIndexOne(i == 0   ? INT32_MIN
                         : i == 1 ? INT32_MAX
                                  : -i);
        child->setChildAttrs(std::move(place));
        auto signal = std::make_unique<tn::SignalAttributes::Builder>();
        signal->setComplexity(order[i]);
        if (i == 0)
            signal->setDesc(
                std::u16string(u"a<&>\"'\t\n\r\x01\x1f\x7f \u00e9\u07ff\u0800\u20ac\uffff\U0001F680"));
        if (i == 1) signal->setDesc(std::u16string());
        child->setSignalAttrs(std::move(signal));
        auto route = std::make_unique<tn::PropagationAttributes::Builder>();
        route->setIsMessage(i % 2 == 0).setTavBusDstIPort(i % 3 - 1);
        child->setPropAttrs(std::move(route));
        children->addChildren(std::move(child));
    }
    root.setParentAttrs(std::move(children));
    tn::TreeNode node = root.createTreeNode(uuid());

    const std::string text = ::fenmo::xml::writeModel(model);
    const char* names[] = {"AUTO", "REAL", "COMPLEX"};
    const std::string indices[] = {"-2147483648", "2147483647", "-2", "-3", "-4", "-5"};
    int i = 0;
    for (const tn::TreeNode& child : node->getParentAttrs()->getChildren()) {
        const std::string signal = lineOf(text, child->getSignalAttrs()->getUuid());
        EXPECT_NE(signal.find(std::string(" complexity=\"") + names[static_cast<int>(order[i])] + "\""),
                  std::string::npos)
            << signal;
        const std::string place = lineOf(text, child->getChildAttrs()->getUuid());
        EXPECT_NE(place.find(" indexOne=\"" + indices[i] + "\""), std::string::npos) << place;
        const std::string route = lineOf(text, child->getPropAttrs()->getUuid());
        EXPECT_NE(route.find(i % 2 == 0 ? " isMessage=\"true\"" : " isMessage=\"false\""), std::string::npos)
            << route;
        EXPECT_NE(route.find(" tavBusDstIPort=\"" + std::to_string(i % 3 - 1) + "\""), std::string::npos)
            << route;
        if (i == 0) {
            EXPECT_NE(signal.find(" desc=\"a&lt;&amp;&gt;&quot;'&#9;&#10;&#13;&#1;&#31;\x7f "
                                  "\xc3\xa9\xdf\xbf\xe0\xa0\x80\xe2\x82\xac\xef\xbf\xbf\xf0\x9f\x9a\x80\""),
                      std::string::npos)
                << signal;
        }
        if (i == 1) {
            EXPECT_NE(signal.find(" desc=\"\""), std::string::npos) << "empty, not unset: " << signal;
        }
        if (i > 1) {
            EXPECT_EQ(signal.find(" desc="), std::string::npos) << signal;
        }
        ++i;
    }
    EXPECT_EQ(i, 6);
}

TEST(Writer, TextNoXmlFileCanHoldIsRefusedWithItsPropertyAndPosition) {
    Model model = Model::create();
    tn::TreeNode root = arvelle::tools::buildExample(model);
    const std::string before = ::fenmo::xml::writeModel(model);
    tn::ChildAttributes place = root->getChildAttrs();
    const std::u16string name = place->getName();
    tn::SignalAttributes signal = tn::SignalAttributes::create(model, uuid());
    const struct {
        std::u16string text;
        std::size_t position;
    } bad[] = {{std::u16string(u"ab\0", 3), 2}, {u"x\xD800", 1},           {u"x\xD800y", 1}, {u"\xDC00", 0},
               {u"\U0001F680\xDC00", 2},        {u"\xDBFF\xDBFF\xDC00", 0}};
    for (const auto& [text, position] : bad) {
        signal->setDesc(text);
        const std::string expected = "at position " + std::to_string(position);
        try {
            ::fenmo::xml::writeModel(model);
            ADD_FAILURE() << "saved " << expected;
        } catch (const ::fenmo::SaveFailedException& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find("SignalAttributes.desc"), std::string::npos) << message;
            EXPECT_NE(message.find(expected), std::string::npos) << message;
        }
    }
    signal->destroy();
    EXPECT_EQ(place->getName(), name);
    EXPECT_EQ(::fenmo::xml::writeModel(model), before) << "a refused save leaves the model as it was";
}

}  // namespace
}  // namespace persisttest
