// Errors with message identifiers and the model's state after a refused operation; identities in text
// form; UTF-16 / UTF-8 conversion.

#include "Support.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <stdexcept>

namespace fenmo_test {
namespace {

TEST(Errors, CarryCatalogKeyAndArguments) {
    fenmo::CannotAddIncompatibleTypesException e({u"Part", u"\u00e9t\u00e9 \u6f22"});
    EXPECT_EQ(e.catalog(), "fenmo:messages");
    EXPECT_EQ(e.key(), "CannotAddIncompatibleTypes");
    ASSERT_EQ(e.arguments().size(), 2u);
    EXPECT_EQ(e.arguments()[1], u"\u00e9t\u00e9 \u6f22");
    const std::string what = e.what();
    for (const char* part :
         {"fenmo:messages", "CannotAddIncompatibleTypes", "Part", "\xc3\xa9t\xc3\xa9 \xe6\xbc\xa2"})
        EXPECT_NE(what.find(part), std::string::npos) << what;
}

TEST(Errors, RefusedOperationsLeaveTheModelUnchanged) {
    Model model = Model::create();
    Node a = Node::create(model);
    a->setText(txt(u"a"));
    Node p = Node::create(model);
    const auto before = dump(model);
    Recorder recorder(model);

    try {  // a value of another type
        fenmo::Reflection().set(a, TestMeta::textProp(), Value::ofInteger(3));
        FAIL();
    } catch (const fenmo::CannotCastIncompatibleTypesException& e) {
        ASSERT_EQ(e.arguments().size(), 1u);
        EXPECT_EQ(e.arguments()[0], fenmo::meta::StandardTypes::integerMeta()->getQualifiedName());
    }

    try {  // a second element with an identity already in use
        Node::create(model, p->getUuid());
        FAIL();
    } catch (const fenmo::InvalidValueException& e) {
        ASSERT_EQ(e.arguments().size(), 1u);
        EXPECT_NE(e.arguments()[0].find(fenmo::toU16String(p->getUuid())), std::u16string::npos);
    }
    EXPECT_EQ(model->findElement(p->getUuid()).get(), p.get());

    EXPECT_EQ(dump(model), before);
    EXPECT_EQ(model->undoStepCount(), 3u);
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_FALSE(model->isInTransaction());
}

TEST(Uuid, TextFormRoundTripsAndBadTextIsRefused) {
    const fenmo::uuid id = fenmo::uuidFromLiteral("003E43E2-57b0-4B0B-8601-dcf003018644");
    EXPECT_EQ(fenmo::toString(id), "003e43e2-57b0-4b0b-8601-dcf003018644");
    EXPECT_EQ(id.data[1], 0x3e);
    EXPECT_EQ(id.data[15], 0x44);
    for (const char* bad : {"003e43e2-57b0-4b0b-8601-dcf00301864", "003e43e2-57b0-4b0b-8601-dcf0030186441",
                            "003e43e2-57b0-4b0b-8601-dcf00301864g", "003e43e2+57b0-4b0b-8601-dcf003018644",
                            "003e43e-257b0-4b0b-8601-dcf003018644", ""})
        EXPECT_THROW(fenmo::uuidFromLiteral(bad), std::domain_error) << bad;
}

TEST(Text, ConversionKeepsValidTextAndReplacesInvalidUnits) {
    const std::u16string mixed = u"a\u00e9\u6f22\U0001F600z";
    const std::string utf8 = "a\xc3\xa9\xe6\xbc\xa2\xf0\x9f\x98\x80z";
    EXPECT_EQ(fenmo::toUtf8(mixed), utf8);
    EXPECT_EQ(fenmo::toUtf16(utf8), mixed);

    // Broken input never throws; what is valid in it survives.
    std::u16string lone = u"x";
    lone += char16_t(0xD800);
    lone += u"y\U0001F600";
    lone += char16_t(0xDC00);
    EXPECT_EQ(fenmo::toUtf8(lone), "x\xef\xbf\xbdy\xf0\x9f\x98\x80\xef\xbf\xbd")
        << "a valid surrogate pair must survive an unpaired surrogate elsewhere in the text";
    EXPECT_EQ(fenmo::toUtf16("ok\xff!"), u"ok\uFFFD!");

    // Narrowing keeps ASCII and never lets a wider unit pass for the character of its low byte.
    EXPECT_EQ(fenmo::narrow(u"0x1f"), "0x1f");
    EXPECT_EQ(fenmo::narrow(u"a\u0131\u00e9\u0100z\U0001F600"), "a???z??");
}

}  // namespace
}  // namespace fenmo_test
