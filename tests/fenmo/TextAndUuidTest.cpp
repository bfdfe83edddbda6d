// Identities and their text form; UTF-16 / UTF-8 conversion.

#include <fenmo/Text.hpp>
#include <fenmo/Uuid.hpp>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

TEST(Uuid, TextFormRoundTripsAndBadTextIsRefused) {
    const fenmo::uuid id = fenmo::uuidFromLiteral("003E43E2-57b0-4B0B-8601-dcf003018644");
    EXPECT_EQ(fenmo::toString(id), "003e43e2-57b0-4b0b-8601-dcf003018644");
    EXPECT_EQ(fenmo::toU16String(id), u"003e43e2-57b0-4b0b-8601-dcf003018644");
    EXPECT_EQ(id.data[0], 0x00);
    EXPECT_EQ(id.data[1], 0x3e);
    EXPECT_EQ(id.data[15], 0x44);
    EXPECT_EQ(fenmo::uuidFromLiteral(fenmo::toString(id)), id);

    for (const char* bad : {"003e43e2-57b0-4b0b-8601-dcf00301864", "003e43e2-57b0-4b0b-8601-dcf0030186441",
                            "003e43e2-57b0-4b0b-8601-dcf00301864g", "003e43e2+57b0-4b0b-8601-dcf003018644",
                            "003e43e-257b0-4b0b-8601-dcf003018644", ""})
        EXPECT_THROW(fenmo::uuidFromLiteral(bad), std::domain_error) << bad;
}

TEST(Uuid, NewIdentitiesAreRandomVersion4AndDistinctAcrossThreads) {
    std::vector<std::vector<fenmo::uuid>> made(4);
    std::vector<std::thread> threads;
    for (auto& list : made)
        threads.emplace_back([&list] {
            for (int i = 0; i < 5000; ++i) list.push_back(fenmo::newUuid());
        });
    for (std::thread& t : threads) t.join();
    std::unordered_set<fenmo::uuid, fenmo::UuidHash> seen;
    for (const auto& list : made)
        for (const fenmo::uuid& id : list) {
            EXPECT_EQ(id.data[6] >> 4, 4);
            EXPECT_EQ(id.data[8] & 0xC0, 0x80);
            EXPECT_TRUE(seen.insert(id).second) << fenmo::toString(id);
        }
}

TEST(Text, ConversionKeepsValidTextAndReplacesInvalidUnits) {
    const std::u16string mixed = u"a\u00e9\u6f22\U0001F600z";
    const std::string utf8 = "a\xc3\xa9\xe6\xbc\xa2\xf0\x9f\x98\x80z";
    EXPECT_EQ(fenmo::toUtf8(mixed), utf8);
    EXPECT_EQ(fenmo::toUtf16(utf8), mixed);
    EXPECT_EQ(fenmo::toUtf8(u""), "");

    // Broken input never throws; what is valid in it survives.
    std::u16string lone = u"x";
    lone.push_back(char16_t(0xD800));
    lone += u"y";
    EXPECT_EQ(fenmo::toUtf8(lone), "x\xef\xbf\xbdy");
    std::u16string pairAndLone = u"\U0001F600";
    pairAndLone.push_back(char16_t(0xDC00));
    EXPECT_EQ(fenmo::toUtf8(pairAndLone), "\xf0\x9f\x98\x80\xef\xbf\xbd")
        << "a valid surrogate pair must survive an unpaired surrogate elsewhere in the text";
    const std::u16string fromBroken = fenmo::toUtf16("ok\xff!");
    EXPECT_EQ(fromBroken.substr(0, 2), u"ok");
    EXPECT_EQ(fromBroken.back(), u'!');
    EXPECT_NE(fromBroken.find(u'\uFFFD'), std::u16string::npos);

    EXPECT_EQ(fenmo::widen("0x1F"), u"0x1F");
    EXPECT_EQ(fenmo::narrow(u"0x1F"), "0x1F");
    EXPECT_EQ(fenmo::widenNumber(-2147483648LL), u"-2147483648");
}

}  // namespace
