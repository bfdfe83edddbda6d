#pragma once
// Scripting classes the tests register: the framework tests' Node ("fenmoTest.Node") and a Complexity
// enumeration ("fenmoTest.Complexity") over the library's meta::Enum; the library's own classes
// ("tav.fenmo.treeNode.TreeNode", ...) come from its scripting binding, so that their collections can be
// walked from scripts.

#include "common/HostValues.hpp"
#include "fenmo/TestElements.hpp"

#include <fenmo/qorin/Builders.hpp>
#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <fenmo/qorin/ValueMarshaler.hpp>
#include <fenmo/qorin/Wrappers.hpp>
#include <plexo/Embedding.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace qorin_test {

using namespace host_test;

// Registers the test namespace ("fenmoTest"), the library's and the framework's.
void registerTestNamespaces();

// Checks around every test: the framework's namespace registered, and after it nothing left bound and
// every info released.
class QorinTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::size_t m_infos = 0;
};

}  // namespace qorin_test
