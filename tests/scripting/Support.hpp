#pragma once
// The library's scripting classes driven through the embedding API, as a script would drive them. Every
// test starts with the framework's namespace and the library's two namespaces registered, and ends with
// nothing left bound and every info handed to the host released.

#include <arvelle/scripting/Namespaces.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <fenmo/qorin/ValueMarshaler.hpp>
#include <plexo/Embedding.hpp>
#include <plexo/Factory.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace scripting_test {

inline constexpr const char* kTreeNode = "tav.fenmo.treeNode.TreeNode";
inline constexpr const char* kParent = "tav.fenmo.treeNode.ParentAttributes";
inline constexpr const char* kChild = "tav.fenmo.treeNode.ChildAttributes";
inline constexpr const char* kSignal = "tav.fenmo.treeNode.SignalAttributes";
inline constexpr const char* kBlock = "tav.fenmo.treeNode.BlockAttributes";
inline constexpr const char* kComplexity = "tav.fenmo.treeNode.Complexity";

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
inline std::int32_t underlying(const plexo::Array& member, std::size_t i = 0) {
    return plexo::omGetUnderlyingArray(*member)->int32s().at(i);
}
// Whether two arrays hold the same scripting object.
inline bool sameObject(const plexo::HostArray& a, const plexo::HostArray& b) {
    return !a.instances().empty() && !b.instances().empty() && a.instances()[0] == b.instances()[0];
}
inline plexo::Array one(std::vector<plexo::Array> outputs) {
    EXPECT_EQ(outputs.size(), 1u);
    return outputs.empty() ? plexo::Array() : std::move(outputs[0]);
}

// Fails the test unless f raises a host error with this catalog and key; returns the error.
inline plexo::HostError expectHostError(const std::function<void()>& f, const std::string& catalog,
                                        const std::string& key) {
    try {
        f();
    } catch (const plexo::HostError& e) {
        EXPECT_EQ(e.catalog(), catalog) << e.what();
        EXPECT_EQ(e.key(), key) << e.what();
        return e;
    }
    ADD_FAILURE() << "expected " << catalog << "/" << key;
    return plexo::HostError("", "", "");
}

// The same for a framework exception raised directly (marshalers are called without the host).
template <class F>
fenmo::MessageIdException expectMessage(F&& f, const std::string& key) {
    try {
        f();
    } catch (const fenmo::MessageIdException& e) {
        EXPECT_EQ(e.catalog(), "fenmo:messages");
        EXPECT_EQ(e.key(), key) << e.what();
        return e;
    }
    ADD_FAILURE() << "expected " << key;
    return fenmo::MessageIdException("", "", {});
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
