#pragma once
// Shared by the metamodel tests: conversions, the registry and the data files of tests/data.

#include <arvelle/treeNode/All.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/MetaRegistry.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace arvelle_test {

namespace meta = ::fenmo::meta;
namespace schema = tav::fenmo::treeNode::schema;
namespace tn = tav::fenmo::treeNode;

inline std::string u8(std::u16string_view text) {
    return ::fenmo::toUtf8(text);
}
inline std::u16string u16(std::string_view text) {
    return ::fenmo::toUtf16(text);
}
inline meta::MetaRegistry& registry() {
    return *meta::MetaRegistry::getInstance();
}

// The non-comment lines of a file of tests/data.
inline std::vector<std::string> dataLines(const std::string& name) {
    std::ifstream in(std::string(ARVELLE_TEST_DATA) + "/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

// Runs `call`, expecting a MessageIdException of catalog "fenmo:messages" with `key` (and `arguments`, unless
// none are given).
template <class Call>
void expectMessage(Call&& call, const std::string& key, const std::vector<std::u16string>& arguments = {}) {
    try {
        call();
        ADD_FAILURE() << "expected " << key;
    } catch (const ::fenmo::MessageIdException& e) {
        EXPECT_EQ(e.catalog(), "fenmo:messages");
        EXPECT_EQ(e.key(), key);
        if (!arguments.empty()) {
            EXPECT_EQ(e.arguments(), arguments);
        }
    }
}

}  // namespace arvelle_test
