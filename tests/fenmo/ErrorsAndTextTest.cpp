// Errors with message identifiers and the model's state after a refused operation; identities in text
// form; UTF-16 / UTF-8 conversion.

#include "Support.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/TextOrder.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <algorithm>
#include <random>
#include <set>
#include <stdexcept>
#include <string_view>
#include <vector>

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

// The catalog lists each key once, with a text that places no more arguments than the key takes; each
// keyed exception carries its entry's text, and a key of another catalog still shows its arguments.
TEST(Errors, OneCatalogOfKeysTextsAndArgumentCounts) {
    std::set<std::string_view> keys;
    for (const fenmo::MessageEntry& entry : fenmo::frameworkMessages()) {
        SCOPED_TRACE(std::string(entry.key));
        EXPECT_TRUE(keys.insert(entry.key).second);
        EXPECT_LE(entry.minArguments, entry.maxArguments);
        std::size_t placed = 0;
        for (std::size_t i = 0; i + 2 < entry.text.size(); ++i)
            if (entry.text[i] == '{' && entry.text[i + 2] == '}')
                placed = std::max<std::size_t>(placed, entry.text[i + 1] - '0' + 1);
        EXPECT_LE(placed, entry.maxArguments);
        std::vector<std::u16string> arguments;
        for (std::size_t i = 0; i < entry.maxArguments; ++i)
            arguments.push_back(u"arg" + fenmo::widenNumber(i));
        const fenmo::MessageIdException e("fenmo:messages", std::string(entry.key), arguments);
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("fenmo:messages/" + std::string(entry.key) + ": ", 0), 0u) << what;
        for (const std::u16string& argument : arguments)
            EXPECT_NE(what.find(fenmo::toUtf8(argument)), std::string::npos) << what;
    }
    EXPECT_EQ(keys.size(), 15u);
    EXPECT_STREQ(
        fenmo::CannotAddIncompatibleTypesException({u"A", u"B"}).what(),
        "fenmo:messages/CannotAddIncompatibleTypes: an element of class 'A' cannot be added where 'B' is "
        "expected");
    EXPECT_STREQ(fenmo::InvalidValueException().what(), "fenmo:messages/InvalidValue: invalid value");
    EXPECT_STREQ(fenmo::MessageIdException("Qorin:class", "InvalidHandle", {u"h", u"i"}).what(),
                 "Qorin:class/InvalidHandle: h, i");
    // A keyed exception built with more arguments than its key takes is a mistake of the caller, caught
    // in debug builds.
    EXPECT_DEBUG_DEATH(fenmo::CannotModifyProxyException({u"extra"}), "arguments");
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
                            "003e43e-257b0-4b0b-8601-dcf003018644", "g03e43e2-57b0-4b0b-8601-dcf003018644",
                            "003e43e2-57b0-4b0b-8601-dcf00301\xff" "644", ""})
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

// Keyed maps order names with textLess: it must agree with the standard order on every pair, including
// units above 0x7fff (a signed comparison would put them first), differences in any of the four units
// a step compares, and texts that are prefixes of each other.
TEST(Text, OrderAgreesWithTheStandardOrder) {
    const char16_t units[] = {u'a',
                              u'b',
                              u'0',
                              char16_t(0x00ff),
                              char16_t(0x0100),
                              char16_t(0x7fff),
                              char16_t(0x8000),
                              char16_t(0xd800),
                              char16_t(0xffff),
                              char16_t(0)};
    std::mt19937 random(7);
    std::vector<std::u16string> texts = {u"", u"c12345", u"c12399", u"c1234", u"d1", u"c123456789"};
    for (int k = 0; k < 400; ++k) {
        std::u16string text(random() % 11, u'a');
        for (char16_t& unit : text) unit = units[random() % std::size(units)];
        texts.push_back(text);
        // A near twin: one unit changed, or one added or taken off the end.
        std::u16string twin = text;
        if (!twin.empty() && random() % 3 == 0)
            twin.pop_back();
        else if (random() % 2 == 0)
            twin.push_back(units[random() % std::size(units)]);
        else if (!twin.empty())
            twin[random() % twin.size()] = units[random() % std::size(units)];
        texts.push_back(twin);
    }
    for (const std::u16string& a : texts)
        for (const std::u16string& b : texts)
            ASSERT_EQ(fenmo::textLess(a, b), a < b) << fenmo::toUtf8(a) << " / " << fenmo::toUtf8(b);
}

}  // namespace
}  // namespace fenmo_test
