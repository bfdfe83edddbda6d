// The package loader over a small metamodel written down as tables: what it registers, that unloading
// takes all of it out, and that a registration failing at any one of its steps leaves nothing behind.

#include <fenmo/meta/PackageLoader.hpp>
#include <fenmo/meta/PropertySerializer.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

using namespace fenmo::meta;
using fenmo::ValueKind;

enum class Colour : std::int32_t { Red, Green };

template <int Form>
class ColourSerializer : public DefaultPropertySerializer<Colour> {
public:
    explicit ColourSerializer(const Type& type) : DefaultPropertySerializer<Colour>(type.get()) {}

protected:
    std::u16string doSerializeValue(Colour) const override { return u"colour"; }
    Colour doParseValue(const std::u16string&) const override { return Colour::Red; }
};
using ByName = ColourSerializer<0>;
using ById = ColourSerializer<1>;

// ---- The metamodel: a package "base" with one host pointer type, and a package "shapes" with two
// classes that refer to each other, to the pointer type and to an enumeration.

constexpr SerializerRow kBaseSerializers[] = {
    {SerializerKey::Default, &makeSerializer<ByName>, &isSerializer<ByName>},
};
constexpr PrimitiveRow kPrimitives[] = {
    {u"Handle",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a01",
     u"test::Handle *",
     &typeIdName<long*>,
     nullptr,
     {0, 1}},
};
constexpr PackageTable kBase{u"base",         u"https://loader.test/base", kPrimitives, {}, {}, {}, {}, {},
                             kBaseSerializers};

constexpr PropertyRow kProperties[] = {
    // Shape
    {u"name",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a02",
     ValueKind::Optional,
     false,
     Ordered | Unique | DefaultNone,
     1,
     {TypeRef::Table::Standard, TypeRef::String},
     kNoRow},
    {u"lines",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a03",
     ValueKind::Sequence,
     true,
     Ordered | QualificationUnique,
     2,
     {TypeRef::Table::Class, 1},
     4},
    {u"handle",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a04",
     ValueKind::Optional,
     false,
     NoPublicMutator,
     3,
     {TypeRef::Table::Primitive, 0, &kBase},
     kNoRow},
    {u"colour",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a05",
     ValueKind::Single,
     false,
     Derived | ReadOnly | Transient,
     kNoIndex,
     {TypeRef::Table::Enum, 0},
     kNoRow},
    // Line
    {u"shape",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a06",
     ValueKind::Single,
     false,
     CustomQualification,
     1,
     {TypeRef::Table::Class, 0},
     1},
};
constexpr OperationRow kOperations[] = {
    {u"grow",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a07",
     u"by",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a08",
     {TypeRef::Table::Class, 1},
     nullptr},
};
constexpr ClassRow kClasses[] = {
    {u"Shape",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a09",
     u"test.shapes.Shape",
     u"test::Shape",
     {TypeRef::Table::Standard, TypeRef::ModelElement},
     {0, 4},
     {0, 1},
     nullptr,
     nullptr},
    {u"Line",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a0a",
     u"test.shapes.Line",
     u"test::Line",
     {TypeRef::Table::Standard, TypeRef::ModelElement},
     {4, 1},
     {1, 0},
     nullptr,
     nullptr},
};
constexpr LiteralRow kLiterals[] = {
    {u"RED", "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a0b", 0},
    {u"GREEN", "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a0c", 1},
};
constexpr SerializerRow kShapeSerializers[] = {
    {SerializerKey::Default, &makeSerializer<ByName>, &isSerializer<ByName>},
    {SerializerKey::Id, &makeSerializer<ById>, &isSerializer<ById>},
};
constexpr EnumRow kEnums[] = {
    {u"Colour",
     "0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a0d",
     u"test.shapes.Colour",
     u"::test::Colour",
     {TypeRef::Table::Standard, TypeRef::Integer},
     {0, 2},
     nullptr,
     {0, 2}},
};
constexpr PackageTable kShapes{u"shapes",
                               u"https://loader.test/shapes",
                               {},
                               kClasses,
                               kProperties,
                               kOperations,
                               kEnums,
                               kLiterals,
                               kShapeSerializers};

constexpr const PackageTable* kPackages[] = {&kBase, &kShapes};
constexpr RootTable kRoot{"0b7e6a35-3a9e-4c1e-9d7e-2f0c6f3b6a00", u"https://loader.test", kPackages};

// 1 root + 2 packages + 1 primitive type + 2 classes + 5 properties + 1 operation + 1 argument + 1
// enumeration + 2 literals; 3 serializers.
constexpr std::size_t kElements = 16;
constexpr std::size_t kSerializers = 3;

struct Loaded {
    LoadedPackage base, shapes;
};

void load(PackageLoader& loader, Loaded& loaded) {
    PackageLoader::Registration registration = loader.begin();
    loader.instantiate(kBase, loaded.base);
    loader.instantiate(kShapes, loaded.shapes);
    loader.weave(kBase, loaded.base, *MetaRegistry::getInstance(),
                 *PropertySerializerRegistry::getInstance());
    loader.weave(kShapes, loaded.shapes, *MetaRegistry::getInstance(),
                 *PropertySerializerRegistry::getInstance());
    registration.commit();
}

// What the registries hold of this metamodel, in a form tests compare.
struct Registered {
    std::size_t elements, serializers;
    bool root, byQualifiedName, byNativeName, byTypeId, byIdentity;

    static Registered now() {
        MetaRegistry& registry = *MetaRegistry::getInstance();
        return {registry.getMetaRegistryModel()->elementCount(),
                PropertySerializerRegistry::getInstance()->size(),
                registry.findRootPackage(kRoot.uri).get() != nullptr,
                registry.getType(u"test.shapes.Shape").get() != nullptr,
                registry.getTypeByNativeName(u"::test::Colour").get() != nullptr,
                registry.getTypeByTypeIdName(typeid(long*).name()).get() != nullptr,
                registry.findElement(fenmo::uuidFromLiteral(kClasses[1].identity)).get() != nullptr};
    }
    bool operator==(const Registered&) const = default;
};

// Makes the step numbered `failAt` throw while it lives, and counts the steps that ran.
struct InjectedFailure {
    static inline std::optional<std::size_t> failAt;
    static inline std::size_t steps = 0;
    explicit InjectedFailure(std::optional<std::size_t> at) {
        failAt = at;
        steps = 0;
        PackageLoader::setStepHook([](std::size_t step) {
            steps = step + 1;
            if (failAt && step == *failAt) throw std::runtime_error("injected failure");
        });
    }
    ~InjectedFailure() { PackageLoader::setStepHook(nullptr); }
};

TEST(PackageLoader, RegistersEveryRowAndUnloadTakesAllOfItOut) {
    const Registered before = Registered::now();
    PackageLoader loader(kRoot);
    Loaded loaded;
    load(loader, loaded);

    const Registered after = Registered::now();
    EXPECT_EQ(before.elements + kElements, after.elements);
    EXPECT_EQ(before.serializers + kSerializers, after.serializers);
    EXPECT_TRUE(after.root && after.byQualifiedName && after.byNativeName && after.byTypeId &&
                after.byIdentity);

    const Class& shape = loaded.shapes.classes[0];
    const Class& line = loaded.shapes.classes[1];
    EXPECT_EQ(MetaRegistry::getInstance()->getType(u"test.shapes.Shape").get(), shape.get());
    EXPECT_EQ(shape->getOwningPackage().get(), loaded.shapes.package.get());
    EXPECT_EQ(loaded.shapes.package->getParentPackage().get(), loader.rootPackage().get());
    EXPECT_TRUE(shape->conformsTo(StandardTypes::modelElementMeta().get()));

    const Property& lines = loaded.shapes.properties[1];
    EXPECT_EQ(ValueKind::Sequence, lines->getKind());
    EXPECT_TRUE(lines->isComposite());
    EXPECT_EQ(2u, lines->getIndex());
    EXPECT_EQ(line.get(), lines->typeImpl());
    EXPECT_TRUE(lines->isQualificationUnique());
    EXPECT_EQ(loaded.shapes.properties[4].get(), lines->getOpposite().get());
    EXPECT_EQ(lines.get(), loaded.shapes.properties[4]->getOpposite().get());
    EXPECT_TRUE(loaded.shapes.properties[4]->hasCustomQualification());
    EXPECT_FALSE(loaded.shapes.properties[2]->hasPublicMutator());
    EXPECT_EQ(loaded.base.primitives[0].get(), loaded.shapes.properties[2]->typeImpl());
    EXPECT_TRUE(loaded.shapes.properties[3]->isDerived());
    EXPECT_EQ(0u, loaded.shapes.properties[3]->getIndex());

    EXPECT_EQ(line.get(), loaded.shapes.arguments[0]->typeImpl());
    EXPECT_EQ(loaded.shapes.operations[0].get(), loaded.shapes.arguments[0]->getOperation().get());
    EXPECT_EQ(1, loaded.shapes.literals[1]->getValue());
    EXPECT_EQ(loaded.shapes.enums[0].get(), loaded.shapes.literals[1]->getEnum().get());

    auto& serializers = *PropertySerializerRegistry::getInstance();
    EXPECT_NE(nullptr,
              dynamic_cast<ById*>(serializers.findPropertySerializer(loaded.shapes.enums[0], u"ID")));
    EXPECT_NE(nullptr,
              dynamic_cast<ByName*>(serializers.findPropertySerializer(loaded.base.primitives[0], u"")));

    // A serializer someone else put under one of the loader's keys stays when the loader unloads.
    const Type colour = loaded.shapes.enums[0];
    serializers.registerPropertySerializer(colour, new ById(colour), SerializerKey::Default);
    loader.unload();
    Registered gone = Registered::now();
    EXPECT_EQ(before.serializers + 1, gone.serializers);
    EXPECT_NE(nullptr, serializers.findPropertySerializer(colour, u""));
    serializers.erasePropertySerializer(colour, u"");
    EXPECT_EQ(before, Registered::now());
    EXPECT_FALSE(shape->isValid());

    // Unloading twice does nothing more; loading again works.
    loader.unload();
    Loaded again;
    load(loader, again);
    EXPECT_EQ(after.elements, Registered::now().elements);
    loader.unload();
    EXPECT_EQ(before, Registered::now());
}

TEST(PackageLoader, AFailureAtAnyStepLeavesNothingRegistered) {
    const Registered before = Registered::now();
    std::size_t steps = 0;
    {
        // One registration counts the steps.
        InjectedFailure counting(std::nullopt);
        PackageLoader loader(kRoot);
        Loaded loaded;
        load(loader, loaded);
        steps = InjectedFailure::steps;
        loader.unload();
    }
    ASSERT_GT(steps, 20u);
    ASSERT_EQ(before, Registered::now());

    for (std::size_t failAt = 0; failAt < steps; ++failAt) {
        SCOPED_TRACE("failing at step " + std::to_string(failAt));
        PackageLoader loader(kRoot);
        Loaded loaded;
        {
            InjectedFailure failure(failAt);
            EXPECT_THROW(load(loader, loaded), std::runtime_error);
        }
        EXPECT_EQ(before, Registered::now());
        EXPECT_FALSE(loader.rootPackage().get());
        EXPECT_TRUE(loaded.shapes.classes.empty() && loaded.shapes.properties.empty() &&
                    loaded.base.primitives.empty() && !loaded.shapes.package.get());
        // The same loader registers the tables afterwards, and takes them out again.
        load(loader, loaded);
        EXPECT_EQ(before.elements + kElements, Registered::now().elements);
        loader.unload();
        EXPECT_EQ(before, Registered::now());
    }
}

TEST(PackageLoader, AStaleRegistrationOfTheSameRootIsReplaced) {
    const Registered before = Registered::now();
    PackageLoader first(kRoot);
    Loaded firstLoaded;
    load(first, firstLoaded);
    // A second loader of the same root (a library loaded again without having unloaded) replaces it.
    PackageLoader second(kRoot);
    Loaded secondLoaded;
    load(second, secondLoaded);
    EXPECT_EQ(before.elements + kElements, Registered::now().elements);
    EXPECT_FALSE(firstLoaded.shapes.classes[0]->isValid());
    EXPECT_EQ(MetaRegistry::getInstance()->getType(u"test.shapes.Shape").get(),
              secondLoaded.shapes.classes[0].get());
    // The replaced loader's unload leaves the registration that replaced it alone.
    const Registered registered = Registered::now();
    first.unload();
    EXPECT_EQ(registered, Registered::now());
    second.unload();
    EXPECT_EQ(before, Registered::now());
}

}  // namespace
