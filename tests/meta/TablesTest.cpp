// The metamodel tables the library is registered from, read as data: every row stands for the element of
// its identity in the registry, with the row's name, kind, index, type and opposite, and every serializer
// row for the serializer registered under its key.

#include "MetaTestSupport.hpp"

#include <fenmo/meta/PackageTable.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>

namespace arvelle_test {
namespace {

template <class Handle>
Handle registered(const char* identity) {
    Handle found = ::fenmo::handleCast<Handle>(registry().findElement(::fenmo::uuidFromLiteral(identity)));
    EXPECT_TRUE(found.get()) << identity;
    return found;
}

std::string identityOf(const ::fenmo::ModelElement::Impl* element) {
    return element ? ::fenmo::toString(element->getUuid()) : "";
}

void expectSerializers(const meta::PackageTable& table, const meta::Type& type, meta::Rows rows) {
    auto& serializers = *meta::PropertySerializerRegistry::getInstance();
    for (std::size_t i = rows.first; i < rows.first + rows.count; ++i) {
        const meta::SerializerRow& row = table.serializers[i];
        const meta::PropertySerializer* found = serializers.findPropertySerializer(type, row.key);
        ASSERT_NE(nullptr, found) << u8(type->getName()) << " " << u8(row.key);
        EXPECT_TRUE(row.isOurs(*found));
    }
}

TEST(Tables, EveryRowIsTheRegisteredElementOfItsIdentity) {
    const meta::RootTable& root = tav::fenmo::MetaPackageArvelle::metamodelTables();
    EXPECT_EQ(identityOf(schema::rootPackage().get()), root.identity);
    std::size_t properties = 0, classes = 0, literals = 0;
    for (const meta::PackageTable* table : root.packages) {
        for (const meta::PrimitiveRow& row : table->primitives) {
            meta::PrimitiveType type = registered<meta::PrimitiveType>(row.identity);
            EXPECT_EQ(row.name, type->getName());
            expectSerializers(*table, type, row.serializers);
        }
        for (const meta::ClassRow& row : table->classes) {
            meta::Class cls = registered<meta::Class>(row.identity);
            EXPECT_EQ(row.qualifiedName, cls->getQualifiedName());
            EXPECT_EQ(cls.get(), registry().getTypeByNativeName(row.nativeName).get());
            for (std::size_t i = row.properties.first; i < row.properties.first + row.properties.count; ++i) {
                const meta::PropertyRow& p = table->properties[i];
                meta::Property property = registered<meta::Property>(p.identity);
                EXPECT_EQ(p.name, property->getName());
                EXPECT_EQ(p.kind, property->getKind());
                EXPECT_EQ(p.index, property->getIndex());
                EXPECT_EQ(cls.get(), property->owningClass());
                EXPECT_EQ(p.opposite == meta::kNoRow ? "" : table->properties[p.opposite].identity,
                          identityOf(property->getOpposite().get()));
                ++properties;
            }
            ++classes;
        }
        for (const meta::EnumRow& row : table->enums) {
            meta::Enum enumeration = registered<meta::Enum>(row.identity);
            EXPECT_EQ(row.qualifiedName, enumeration->getQualifiedName());
            for (std::size_t i = row.literals.first; i < row.literals.first + row.literals.count; ++i) {
                meta::EnumLiteral literal = registered<meta::EnumLiteral>(table->literals[i].identity);
                EXPECT_EQ(table->literals[i].value, literal->getValue());
                EXPECT_EQ(enumeration.get(), literal->getEnum().get());
                ++literals;
            }
            expectSerializers(*table, enumeration, row.serializers);
        }
    }
    EXPECT_EQ(10u, classes);
    EXPECT_EQ(59u, properties);
    EXPECT_EQ(19u, literals);
}

}  // namespace
}  // namespace arvelle_test
