#pragma once
// Host values the scripting tests pass and check, and the checks of the errors scripts see.

#include <fenmo/Exceptions.hpp>
#include <fenmo/qorin/Conversions.hpp>
#include <plexo/ClassSystem.hpp>
#include <plexo/HostArray.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace host_test {

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
// The one output of a call.
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

// The same for a framework exception raised directly (a marshaler called without the host).
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

}  // namespace host_test
