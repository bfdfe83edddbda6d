#pragma once
// Scripting classes the tests register: the framework tests' Node ("fenmoTest.Node") and a Complexity
// enumeration ("fenmoTest.Complexity") over the library's meta::Enum; the library's own classes
// ("tav.fenmo.treeNode.TreeNode", ...) come from its scripting binding, so that their collections can be
// walked from scripts.

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

// Registers the test namespace ("fenmoTest"), the library's and the framework's.
void registerTestNamespaces();

// Fails the test unless f raises a host error with this catalog and key; returns the error.
plexo::HostError expectHostError(const std::function<void()>& f, const std::string& catalog,
                                 const std::string& key);

inline plexo::Array str(const char* text) {
    return plexo::Array(plexo::createString(text));
}
inline plexo::Array num(double value) {
    return plexo::Array(plexo::createDoubleScalar(value));
}
inline plexo::Array emptyDouble() {
    return plexo::Array(plexo::createNumericMatrix(0, 0, plexo::NumericClass::Double));
}
inline std::u16string text(const plexo::Array& array) {
    return fenmo::qorin::textFromHost(*array);
}
// Whether two arrays hold the same scripting object.
inline bool sameObject(const plexo::HostArray& a, const plexo::HostArray& b) {
    return !a.instances().empty() && !b.instances().empty() && a.instances()[0] == b.instances()[0];
}

// Checks around every test: the framework's namespace registered, and after it nothing left bound and
// every info released.
class QorinTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::size_t m_infos = 0;
};

}  // namespace qorin_test
