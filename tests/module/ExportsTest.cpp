// The incidental exports of the library: Boost serialization's singleton_module lock operations over one
// process-wide flag that starts false. Nothing in the library uses them, but hosts may link against them.

#include "ModuleSupport.hpp"

#include <gtest/gtest.h>

using namespace arvelle_test;

namespace {

// Member functions of singleton_module that do not touch the object: `this` first.
using GetLockFn = bool& (*)(void*);
using LockFn = void (*)(void*);
using IsLockedFn = bool (*)(void*);

TEST(Exports, SingletonModuleLockOperations) {
    Library library;
    char module = 0;  // stands in for the object; the operations only use the shared flag
    auto getLock = library.symbol<GetLockFn>("_ZN5boost13serialization16singleton_module8get_lockEv");
    EXPECT_FALSE(getLock(&module)) << "the flag starts false";

    LockFn lock = nullptr, unlock = nullptr;
    IsLockedFn isLocked = nullptr;
    try {
        lock = library.symbol<LockFn>("_ZN5boost13serialization16singleton_module4lockEv");
        unlock = library.symbol<LockFn>("_ZN5boost13serialization16singleton_module6unlockEv");
        isLocked = library.symbol<IsLockedFn>("_ZN5boost13serialization16singleton_module9is_lockedEv");
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    EXPECT_FALSE(isLocked(&module));
    lock(&module);
    EXPECT_TRUE(isLocked(&module));
    EXPECT_TRUE(getLock(&module));
    unlock(&module);
    EXPECT_FALSE(isLocked(&module));
    EXPECT_FALSE(getLock(&module));
}

}  // namespace
