// The scripting host on its own: host arrays, namespaces and classes defined on first use, the binding
// registry, methods, properties, enumerations and errors, driven through the embedding API with a small
// handle class ("demo.Widget") and an enumeration ("demo.Color") written here.

#include <plexo/ClassSystem.hpp>
#include <plexo/Embedding.hpp>
#include <plexo/Factory.hpp>
#include <plexo/HostArray.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace plexo;
namespace pf = plexo::factory;

// A native object with its own count of live instances, so that tests see releases.
struct Widget {
    static inline int live = 0;
    std::u16string name;
    std::int32_t size = 0;
    Widget() { ++live; }
    ~Widget() { --live; }
};

Widget* widgetOf(void* native) {
    if (!native) pf::raiseInvalidHandle();
    return static_cast<Widget*>(native);
}

int g_populations = 0;
int g_defineFailures = 0;  // defineClass of demo.Flaky fails this many more times

class WidgetInfo : public pf::HandleClassInfo<Widget, 0> {
public:
    WidgetInfo() : HandleClassInfo("Widget", "demo.Widget") {}
    void release(void* native) override {
        if (pf::BindingRegistry::remove(native)) delete static_cast<Widget*>(native);
    }
    void defineClass(ClassDefinition& definition) override {
        pf::initStringDataTypes();
        auto* ctor = new pf::PlexoMethod("Widget", DefaultAttributes, "",
                                         [](int& nOut, HostArray** out, int nIn, const HostArray* const* in) {
                                             // Reads its inputs before it makes the native object, so that a
                                             // refusal leaves nothing behind.
                                             std::u16string name =
                                                 nIn > 0 ? pf::extractString(*in[0]) : std::u16string();
                                             auto* widget = new Widget;
                                             widget->name = std::move(name);
                                             pf::BindingRegistry::announceForConstructor(
                                                 widget, makeInterned("demo.Widget"), *out[0], true);
                                             nOut = 1;
                                         });
        pf::createSignatureImpl(ctor->signature(), true, "opt_name", {"demo.Widget"}, {"char"});
        definition.addMethod(ctor);

        auto* grow = new pf::PlexoMethod(
            "grow", DefaultAttributes, "",
            [](int& nOut, HostArray** out, int nIn, const HostArray* const* in) {
                Widget* w = widgetOf(getNativeObject(makeInterned("demo.Widget"), *in[0]));
                w->size += nIn > 1 ? static_cast<std::int32_t>(getScalarDouble(*in[1])) : 1;
                if (nOut > 0) out[0] = createInt32Scalar(w->size);
                nOut = 1;
            });
        pf::createSignatureImpl(grow->signature(), false, "", {"int32"}, {"demo.Widget", "double"}, 1);
        definition.addMethod(grow);

        // Static: the widget bound to nothing yet, or the same object for the same native each time.
        auto* shared = new pf::PlexoMethod("shared", Static | OverridesAll, "",
                                           [](int& nOut, HostArray** out, int, const HostArray* const*) {
                                               static Widget* single = nullptr;
                                               if (!single || !pf::BindingRegistry::isBound(single))
                                                   single = new Widget;
                                               bool isNew = false;
                                               out[0] = pf::BindingRegistry::announce(
                                                   single, makeInterned("demo.Widget"), isNew);
                                               nOut = 1;
                                           });
        pf::createSignatureImpl(shared->signature(), false, "", {"demo.Widget"}, {});
        definition.addMethod(shared);

        auto* secret = new pf::PlexoMethod("secret", Hidden | ForceMembership, "",
                                           [](int& nOut, HostArray** out, int, const HostArray* const*) {
                                               out[0] = createString("hidden");
                                               nOut = 1;
                                           });
        pf::createSignatureImpl(secret->signature(), false, "", {"char"}, {"demo.Widget"});
        definition.addMethod(secret);

        // Fails with the text given, after having made an output (which the host releases).
        auto* fail = new pf::PlexoMethod("fail", DefaultAttributes, "",
                                         [](int&, HostArray** out, int, const HostArray* const* in) {
                                             out[0] = createString("dropped");
                                             const std::u16string text = pf::extractString(*in[1]);
                                             throw std::runtime_error(std::string(text.begin(), text.end()));
                                         });
        pf::createSignatureImpl(fail->signature(), false, "", {"char"}, {"demo.Widget", "char"});
        definition.addMethod(fail);

        auto validate = [](void* native) { return widgetOf(native); };
        definition.addProperty(new pf::PropertyImpl(
            "name",
            new pf::AdaptedClassGetter<Widget*>("PlexoFactoryString scalar", validate,
                                                [](Widget* const& w) { return createStringUtf16(w->name); }),
            new pf::AdaptedClassSetter<Widget*>(
                validate, [](Widget* const& w, const HostArray& v) { w->name = pf::extractString(v); }),
            0));
        definition.addProperty(new pf::PropertyImpl(
            "size",
            new pf::AdaptedClassGetter<Widget*>("int32 scalar", validate,
                                                [](Widget* const& w) { return createInt32Scalar(w->size); }),
            nullptr, 8192));
        definition.addProperty(new pf::PropertyImpl(
            "color",
            new pf::AdaptedClassGetter<Widget*>("demo.Color", validate,
                                                [](Widget* const& w) {
                                                    Array v(createInt32Scalar(w->size % 3));
                                                    return omCreateBuiltinBasedArrayFromUnderlyingArray(
                                                        makeInterned("demo.Color"), *v);
                                                }),
            new pf::AdaptedClassSetter<Widget*>(validate,
                                                [](Widget* const& w, const HostArray& v) {
                                                    if (!isClass(&v, "demo.Color"))
                                                        raiseHostError("demo", "NotAColor", "not a color");
                                                    w->size = omGetUnderlyingArray(v)->int32s()[0];
                                                }),
            0));
    }
};

// A subclass with nothing of its own: everything comes from demo.Widget.
class GadgetInfo : public pf::HandleClassInfo<Widget, 0> {
public:
    GadgetInfo() : HandleClassInfo("Gadget", "demo.Gadget") {}
    void defineClass(ClassDefinition& definition) override {
        definition.addSuperclass(makeInterned("demo.Widget"), 1, 0, 1);
    }
};

class FlakyInfo : public pf::HandleClassInfo<Widget, 0> {
public:
    FlakyInfo() : HandleClassInfo("Flaky", "demo.Flaky") {}
    void defineClass(ClassDefinition& definition) override {
        definition.addMethod(new pf::PlexoMethod("noop", DefaultAttributes, ""));
        if (g_defineFailures > 0) {
            --g_defineFailures;
            raiseHostError("demo", "DefineFailed", "cannot define now");
        }
    }
};

class ColorValue final : public PlexoEnumInfo {
public:
    ColorValue(std::string name, std::int32_t value, ClassId cls)
        : m_name(std::move(name)), m_value(value), m_class(cls) {}
    std::string getName() const override { return m_name; }
    const HostArray* getMemberObject() override {
        if (!m_member) {
            Array v(createInt32Scalar(m_value));
            m_member.reset(omCreateBuiltinBasedArrayFromUnderlyingArray(m_class, *v));
        }
        return m_member.get();
    }

private:
    std::string m_name;
    std::int32_t m_value;
    ClassId m_class;
    Array m_member;
};

class ColorInfo : public pf::NonHandleClassInfo<int, int> {
public:
    ColorInfo() : NonHandleClassInfo("Color", "demo.Color") {}
    bool isEnumeration() const override { return true; }
    void defineClass(ClassDefinition& definition) override {
        definition.addSuperclass(makeInterned("int32"), 0, 0, 1);
        const char* names[] = {"RED", "GREEN", "BLUE"};
        for (std::int32_t i = 0; i < 3; ++i)
            definition.addEnumerationValue(new ColorValue(names[i], i, definition.classId()));
    }
};

class DemoNamespace : public PlexoNamespaceInfo {
public:
    std::string getName() const override { return "demo"; }
    void populateNamespace(NamespaceDefinition& definition) override {
        ++g_populations;
        definition.addClass(new WidgetInfo, 0, 2);
        definition.addClass(new GadgetInfo, 0, 2);
        definition.addClass(new FlakyInfo, 0, 2);
        definition.addClass(new ColorInfo, 0, 2);
        // A namespace may use its own classes while it is populated (as enumerations do to register
        // their conversions).
        getClass(makeInterned("demo.Color"));
    }
};

class PlexoTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_infos = InfoAllocation::liveCount();
        g_populations = 0;
        registerNamespace(new DemoNamespace);
    }
    void TearDown() override {
        shutdown();
        EXPECT_EQ(InfoAllocation::liveCount(), m_infos) << "infos handed to the host were not all released";
        EXPECT_EQ(Widget::live, 0) << "native objects outlived their scripting objects";
    }
    std::size_t m_infos = 0;
};

Array str(const char* text) {
    return Array(createString(text));
}

void expectHostError(const std::function<void()>& f, const std::string& catalog, const std::string& key) {
    try {
        f();
        ADD_FAILURE() << "expected " << catalog << "/" << key;
    } catch (const HostError& e) {
        EXPECT_EQ(e.catalog(), catalog) << e.what();
        EXPECT_EQ(e.key(), key) << e.what();
    }
}

TEST(HostArrayTest, ShapesClassesAndCopies) {
    Array empty(createNumericMatrix(0, 0, NumericClass::Double));
    EXPECT_TRUE(isEmpty(empty.get()));
    EXPECT_TRUE(isClass(empty.get(), "double"));
    Array row(createNumericMatrix(1, 3, NumericClass::Int32));
    EXPECT_EQ(getNumberOfElements(row.get()), 3u);
    EXPECT_TRUE(isA(row.get(), "int32"));
    EXPECT_FALSE(isA(row.get(), "double"));
    row->int32s()[2] = 7;
    Array element(omGetArrayElement(*row, 2));
    EXPECT_EQ(element->rows(), 1u);
    EXPECT_EQ(element->int32s()[0], 7);
    EXPECT_THROW(Array(omGetArrayElement(*row, 3)), HostError);

    // UTF-8 text becomes UTF-16 code units, a character beyond the BMP two of them; empty text is 0x0.
    Array text(createString("a\xC3\xA9\xF0\x9F\x98\x80"));
    EXPECT_EQ(text->chars(), u"a\u00e9\U0001F600");
    EXPECT_EQ(text->cols(), 4u);
    Array none(createString(""));
    EXPECT_EQ(none->rows(), 0u);
    EXPECT_TRUE(isChar(none.get()));
    EXPECT_EQ(pf::extractString(*Array(createStringObject(u"obj"))), u"obj");
    Array cell(createCellMatrix(1, 1));
    cell->setCell(0, createString("in a cell"));
    EXPECT_EQ(pf::extractString(*cell), u"in a cell");
    EXPECT_THROW(pf::extractString(*row), HostError);

    // Struct arrays: a new field reaches every element; copies are deep for values.
    Array s(createStructMatrix(1, 2, {"a"}));
    s->setField(1, "b", createDoubleScalar(2));
    EXPECT_EQ(s->fieldNames(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(s->getField(0, "b"), nullptr);
    EXPECT_EQ(getScalarDouble(*s->getField(1, "b")), 2);
    Array copy(duplicateArray(*s));
    s->setField(1, "b", createDoubleScalar(3));
    EXPECT_EQ(getScalarDouble(*copy->getField(1, "b")), 2);
    Array first(omGetArrayElement(*copy, 1));
    EXPECT_EQ(first->numel(), 1u);
    EXPECT_EQ(getScalarDouble(*first->getField(0, "b")), 2);
    StringArray<char16_t> names;
    names.append(u"a");
    names.resize(3);
    names.append(u"d");
    EXPECT_EQ(names.size(), 4u);
    EXPECT_EQ(names[3], u"d");
    EXPECT_EQ(names[1], u"");
    Array emptyStruct(createStructMatrix(0, 0, {"x", "y"}));
    EXPECT_EQ(emptyStruct->fieldNames().size(), 2u);
    EXPECT_TRUE(isEmpty(emptyStruct.get()));
}

TEST_F(PlexoTest, UnregisteringANamespaceDropsItsClassesAndConversions) {
    struct Identity final : TypeConverter {
        HostArray* convert(const HostArray& value) const override { return duplicateArray(value); }
    };
    getClass(makeInterned("demo.Widget"));
    const std::size_t infos = InfoAllocation::liveCount();
    auto* toColor = new Identity;
    auto* toDouble = new Identity;
    adoptConverter(toColor);
    adoptConverter(toDouble);
    addConversion(makeInterned("any"), makeInterned("demo.Color scalar"), toColor);
    addConversion(makeInterned("any"), makeInterned("double"), toDouble);
    const std::uint64_t generation = classGeneration();
    unregisterNamespace("demo");
    EXPECT_FALSE(isNamespaceRegistered("demo"));
    EXPECT_GT(classGeneration(), generation) << "what callers found in the dropped classes is stale";
    EXPECT_LT(InfoAllocation::liveCount(), infos)
        << "the infos of the defined classes went with the namespace";
    EXPECT_EQ(findClass(makeInterned("demo.Widget")), nullptr);
    EXPECT_EQ(findClass(makeInterned("demo.Color")), nullptr) << "classes never defined went too";
    EXPECT_EQ(getConversion(makeInterned("char"), makeInterned("demo.Color scalar")), nullptr);
    EXPECT_EQ(getConversion(makeInterned("char"), makeInterned("double")), toDouble)
        << "other conversions stay";
    expectHostError([] { construct("demo.Widget"); }, kHostCatalog, "UndefinedClass");
    // Registered again, the namespace is populated again on first use.
    registerNamespace(new DemoNamespace);
    Array w = construct("demo.Widget");
    EXPECT_EQ(g_populations, 2);
}

TEST_F(PlexoTest, NamespaceIsPopulatedOnceAndClassesDefinedOnFirstUse) {
    EXPECT_EQ(namespacePopulationCount("demo"), 0u) << "registration alone populates nothing";
    ClassId widget = makeInterned("demo.Widget");
    EXPECT_EQ(widget, makeInterned(std::string("demo.") + "Widget"));
    PlexoClass* cls = getClass(widget);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->info()->getName(), "Widget");
    EXPECT_TRUE(cls->isHandle());
    EXPECT_EQ(cls->options(), 0);
    EXPECT_EQ(cls->version(), 2);
    EXPECT_EQ(getClass(makeInterned("demo.Color"))->enumerationValues().size(), 3u);
    EXPECT_EQ(getClass(widget), cls);
    EXPECT_EQ(g_populations, 1);
    EXPECT_EQ(namespacePopulationCount("demo"), 1u);

    expectHostError([] { getClass(makeInterned("demo.Missing")); }, kHostCatalog, "UndefinedClass");
    expectHostError([] { getClass(makeInterned("nowhere.Thing")); }, kHostCatalog, "UndefinedClass");
    EXPECT_EQ(g_populations, 1) << "an unknown name does not populate the namespace again";

    // A class whose definition fails stays undefined (nothing it added is kept) and is defined later.
    g_defineFailures = 1;
    expectHostError([] { getClass(makeInterned("demo.Flaky")); }, "demo", "DefineFailed");
    PlexoClass* flaky = getClass(makeInterned("demo.Flaky"));
    EXPECT_EQ(flaky->declaredMethods().size(), 1u);

    // Registering the namespace again (as in the USM mode) makes its names populate again on first use;
    // classes already defined stay what they are.
    registerNamespace(new DemoNamespace);
    EXPECT_EQ(getClass(widget), cls);
    getClass(makeInterned("demo.Gadget"));
    EXPECT_EQ(g_populations, 2);

    EXPECT_FALSE(omGetPlexoUsingUSM());
    setPlexoUsingUSM(true);
    EXPECT_TRUE(omGetPlexoUsingUSM());
    setPlexoUsingUSM(false);
}

TEST_F(PlexoTest, NamespacesAndTheirClassesAreListed) {
    EXPECT_EQ(namespaceNames(), std::vector<std::string>{"demo"});
    const std::vector<std::string> all{"demo.Color", "demo.Flaky", "demo.Gadget", "demo.Widget"};
    // Listing populates the namespace once and names defined and pending classes alike.
    getClass(makeInterned("demo.Widget"));
    EXPECT_EQ(classNamesIn("demo"), all);
    EXPECT_EQ(classNamesIn("demo"), all);
    EXPECT_EQ(g_populations, 1);
    EXPECT_TRUE(classNamesIn("nowhere").empty());
    unregisterNamespace("demo");
    EXPECT_TRUE(namespaceNames().empty());
    EXPECT_TRUE(classNamesIn("demo").empty());
}

TEST_F(PlexoTest, ObjectsAreBoundOncePerNativeAndReleasedWhenDropped) {
    Array w = construct("demo.Widget", {str("first").get()});
    ASSERT_TRUE(omIsPLEXO(w.get()));
    EXPECT_TRUE(isClass(w.get(), "demo.Widget"));
    EXPECT_EQ(Widget::live, 1);
    auto* native = static_cast<Widget*>(getNativeObject(makeInterned("demo.Widget"), *w));
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->name, u"first");
    EXPECT_TRUE(pf::BindingRegistry::isBound(native));

    // Announcing the same native again yields the same object; copies share it.
    bool isNew = true;
    Array again(pf::BindingRegistry::announce(native, makeInterned("demo.Widget"), isNew));
    EXPECT_FALSE(isNew);
    EXPECT_EQ(again->instances()[0], w->instances()[0]);
    Array copy(duplicateArray(*w));
    w.reset();
    again.reset();
    EXPECT_EQ(Widget::live, 1) << "a copy still holds the object";
    copy.reset();
    EXPECT_EQ(Widget::live, 0) << "the class info's release ran when the last reference went";
    EXPECT_EQ(pf::BindingRegistry::size(), 0u);

    // A null native gives an empty array of the class; an object of another class gives no native.
    Array empty(pf::BindingRegistry::announce(nullptr, makeInterned("demo.Widget"), isNew));
    EXPECT_FALSE(isNew);
    EXPECT_TRUE(isEmpty(empty.get()));
    EXPECT_TRUE(isClass(empty.get(), "demo.Widget"));
    Array gadget = construct("demo.Widget");
    EXPECT_EQ(getNativeObject(makeInterned("demo.Color"), *gadget), nullptr);
    EXPECT_EQ(getNativeObject(makeInterned("demo.Widget"), *Array(createDoubleScalar(1))), nullptr);

    // Static methods: the same native each call gives the identical object.
    auto a = callStatic("demo.Widget", "shared");
    auto b = callStatic("demo.Widget", "shared");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0]->instances()[0], b[0]->instances()[0]);
    expectHostError([] { callStatic("demo.Widget", "grow"); }, kHostCatalog, "UndefinedMethod");
}

TEST_F(PlexoTest, MethodsAndPropertiesCheckTheirInputs) {
    Array w = construct("demo.Widget");
    EXPECT_EQ(pf::extractString(*getProperty(*w, "name")), u"");
    setProperty(*w, "name", *str("renamed"));
    EXPECT_EQ(pf::extractString(*getProperty(*w, "name")), u"renamed");

    auto out = call("grow", {w.get()});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->int32s()[0], 1);
    out = call("grow", {w.get(), Array(createDoubleScalar(4)).get()});
    EXPECT_EQ(getScalarDouble(*getProperty(*w, "size")), 5);
    expectHostError([&] { call("grow", {w.get(), w.get(), w.get()}); }, kHostCatalog, "WrongNumberOfInputs");
    expectHostError([&] { call("nothing", {w.get()}); }, kHostCatalog, "UndefinedMethod");
    expectHostError([&] { call("shared", {w.get()}); }, kHostCatalog, "UndefinedMethod");
    expectHostError([&] { getProperty(*w, "nothing"); }, kHostCatalog, "UndefinedProperty");
    expectHostError([&] { setProperty(*w, "size", *Array(createDoubleScalar(1))); }, kHostCatalog,
                    "ReadOnlyProperty");
    EXPECT_EQ(getScalarDouble(*getProperty(*w, "size")), 5) << "a refused write changes nothing";
    // A property found once is used as its name is, refusals included.
    const PlexoPropertyInfo* name = findProperty(*w, "name");
    const PlexoPropertyInfo* size = findProperty(*w, "size");
    ASSERT_NE(name, nullptr);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(findProperty(*w, "nothing"), nullptr);
    setProperty(*w, *name, *str("found"));
    EXPECT_EQ(pf::extractString(*getProperty(*w, *name)), u"found");
    expectHostError([&] { setProperty(*w, *size, *Array(createDoubleScalar(1))); }, kHostCatalog,
                    "ReadOnlyProperty");
    expectHostError([&] { getProperty(*Array(createDoubleScalar(1)), *name); }, kHostCatalog, "NotAnObject");
    EXPECT_EQ(getScalarDouble(*getProperty(*w, *size)), 5);
    expectHostError([&] { setProperty(*Array(createDoubleScalar(1)), "name", *str("x")); }, kHostCatalog,
                    "NotAnObject");
    expectHostError([&] { construct("demo.Widget", {w.get()}); }, kHostCatalog, "NotText");
    EXPECT_EQ(Widget::live, 1) << "a failed construction leaves no native behind";

    // A subclass inherits methods and properties; its objects convert to the superclass.
    Array g = construct("demo.Widget");
    PlexoClass* gadget = getClass(makeInterned("demo.Gadget"));
    EXPECT_TRUE(gadget->conformsTo(makeInterned("demo.Widget")));
    EXPECT_NE(gadget->findProperty("name"), nullptr);
    expectHostError([] { construct("demo.Gadget"); }, kHostCatalog, "NoConstructor");

    // Hidden methods are callable but not listed.
    auto names = methodNames("demo.Widget");
    EXPECT_EQ(std::count(names.begin(), names.end(), "secret"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "grow"), 1);
    EXPECT_EQ(pf::extractString(*call("secret", {w.get()})[0]), u"hidden");
    EXPECT_EQ(propertyNames("demo.Gadget"), (std::vector<std::string>{"name", "size", "color"}));
}

TEST_F(PlexoTest, EnumerationMembersAndConversions) {
    Array red = enumerationMember("demo.Color", "RED");
    Array blue = enumerationMember("demo.Color", "BLUE");
    EXPECT_TRUE(isClass(red.get(), "demo.Color"));
    EXPECT_TRUE(isA(red.get(), "int32")) << "members are int32-based";
    EXPECT_EQ(omGetUnderlyingArray(*blue)->int32s()[0], 2);
    PlexoEnumInfo* info = getClass(makeInterned("demo.Color"))->findEnumerationValue("GREEN");
    EXPECT_EQ(info->getMemberObject(), info->getMemberObject()) << "the member object is made once";
    expectHostError([] { enumerationMember("demo.Color", "PINK"); }, kHostCatalog,
                    "InvalidEnumerationMember");

    // The built-in member constructor comes first; it takes names and numbers.
    PlexoClass* color = getClass(makeInterned("demo.Color"));
    ASSERT_FALSE(color->methods().empty());
    Array byName(omConstructObjectWithClient(
        color->id(), 1, std::vector<const HostArray*>{str("GREEN").get()}.data(), Client::defaultClient()));
    EXPECT_EQ(omGetUnderlyingArray(*byName)->int32s()[0], 1);
    Array numbers(createNumericMatrix(1, 3, NumericClass::Double));
    numbers->doubles() = {2, 0, 1};
    Array many(omConstructObjectWithClient(
        color->id(), 1, std::vector<const HostArray*>{numbers.get()}.data(), Client::defaultClient()));
    EXPECT_EQ(omGetNumberOfElementsInUnderlyingArray(*many), 3u);
    EXPECT_EQ(many->cols(), 3u);
    Array second(omGetArrayElement(*many, 1));
    EXPECT_TRUE(isClass(second.get(), "demo.Color"));
    EXPECT_EQ(omGetUnderlyingArray(*second)->int32s()[0], 0);
    Array none(omCreatePLEXOEmpty(color->id()));
    EXPECT_TRUE(isEmpty(none.get()));
    EXPECT_EQ(omGetNumberOfElementsInUnderlyingArray(*none), 0u);
    expectHostError(
        [&] { Array(omCreateBuiltinBasedArrayFromUnderlyingArray(makeInterned("demo.Widget"), *numbers)); },
        kHostCatalog, "InvalidUnderlyingArray");

    // A property typed by the enumeration takes text through a registered conversion from "any".
    struct NameToColor final : TypeConverter {
        HostArray* convert(const HostArray& value) const override {
            if (!isChar(&value)) return nullptr;
            return enumerationMember("demo.Color", std::string(value.chars().begin(), value.chars().end()))
                .release();
        }
    };
    Array w = construct("demo.Widget");
    expectHostError([&] { setProperty(*w, "color", *str("BLUE")); }, "demo", "NotAColor");
    auto* converter = new NameToColor;
    adoptConverter(converter);
    addConversion(makeInterned("any"), makeInterned("demo.Color"), converter);
    EXPECT_EQ(getConversion(makeInterned("char"), makeInterned("demo.Color")), converter);
    EXPECT_EQ(getConversion(makeInterned("char"), makeInterned("demo.Widget")), nullptr);
    setProperty(*w, "color", *str("BLUE"));
    Array c = getProperty(*w, "color");
    EXPECT_EQ(omGetUnderlyingArray(*c)->int32s()[0], 2);
    setProperty(*w, "color", *red);
    EXPECT_EQ(omGetUnderlyingArray(*getProperty(*w, "color"))->int32s()[0], 0);
}

// A handle whose object is never valid, for validateSelfPointer.
struct DeadHandle {
    struct Impl {};
    DeadHandle(Impl*, bool) {}
    explicit operator bool() const { return false; }
};

TEST_F(PlexoTest, NativeErrorsReachTheCallerTranslated) {
    Array w = construct("demo.Widget");
    // Errors that are not host errors: the translator may give them a catalog and key.
    setErrorTranslator([](const std::exception& e, HostError& out) {
        if (std::string(e.what()) != "translated") return false;
        out = HostError("native:catalog", "Translated", e.what(), {u"arg"});
        return true;
    });
    try {
        call("fail", {w.get(), str("translated").get()});
        ADD_FAILURE();
    } catch (const HostError& e) {
        EXPECT_EQ(e.catalog(), "native:catalog");
        EXPECT_EQ(e.key(), "Translated");
        EXPECT_EQ(e.arguments(), std::vector<std::u16string>{u"arg"});
    }
    try {
        call("fail", {w.get(), str("plain").get()});
        ADD_FAILURE();
    } catch (const HostError& e) {
        EXPECT_EQ(e.catalog(), kHostCatalog);
        EXPECT_EQ(e.key(), "NativeError");
        EXPECT_EQ(e.text(), "plain");
    }
    setErrorTranslator({});
    // The invalid-handle refusals of the factory layer: no native, or one that is no longer valid.
    int dummy = 0;
    expectHostError([] { pf::validateSelfPointer<DeadHandle>(nullptr); }, "Qorin:class", "InvalidHandle");
    expectHostError([&] { pf::validateSelfPointer<DeadHandle>(&dummy); }, "Qorin:class", "InvalidHandle");
}

}  // namespace
