#pragma once
// The library's scripting classes driven through the embedding API, as a script would drive them. Every
// test starts with the framework's namespace and the library's two namespaces registered, and ends with
// nothing left bound and every info handed to the host released.

#include "common/HostValues.hpp"

#include <arvelle/scripting/Namespaces.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <fenmo/qorin/ValueMarshaler.hpp>
#include <plexo/Embedding.hpp>
#include <plexo/Factory.hpp>

#include <gtest/gtest.h>

#include <cstdint>

namespace scripting_test {

using namespace host_test;

inline constexpr const char* kTreeNode = "tav.fenmo.treeNode.TreeNode";
inline constexpr const char* kParent = "tav.fenmo.treeNode.ParentAttributes";
inline constexpr const char* kChild = "tav.fenmo.treeNode.ChildAttributes";
inline constexpr const char* kSignal = "tav.fenmo.treeNode.SignalAttributes";
inline constexpr const char* kBlock = "tav.fenmo.treeNode.BlockAttributes";
inline constexpr const char* kComplexity = "tav.fenmo.treeNode.Complexity";

inline std::int32_t underlying(const plexo::Array& member, std::size_t i = 0) {
    return plexo::omGetUnderlyingArray(*member)->int32s().at(i);
}

class ScriptingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_infos = plexo::InfoAllocation::liveCount();
        fenmo::qorin::initialize();
        // Registered whatever an earlier test of this process did: the mode that registers on every call.
        plexo::setPlexoUsingUSM(true);
        QorinInitialize_arvelle();
        plexo::setPlexoUsingUSM(false);
    }
    void TearDown() override {
        EXPECT_EQ(plexo::factory::BindingRegistry::size(), 0u)
            << "scripting objects still bound after the test dropped them";
        plexo::shutdown();
        EXPECT_EQ(plexo::InfoAllocation::liveCount(), m_infos)
            << "infos handed to the host were not all released";
    }
    std::size_t m_infos = 0;
};

}  // namespace scripting_test
