// What happens as the library is loaded: the meta-package is built, so that the metamodel is registered
// before any element class is used. Unloading runs its destructor, which takes everything out again.

#include <arvelle/MetaPackageArvelle.hpp>

#include <boost/serialization/singleton.hpp>

namespace {

struct LoadTimeRegistration {
    LoadTimeRegistration() { tav::fenmo::MetaPackageArvelle::getInstance()->addCleanup([] {}); }
};

const LoadTimeRegistration registration;

// Boost serialization's singleton_module lock operations are inline: taking their addresses makes this
// library emit, and export, all four (over the one flag of get_lock, which starts false).
using Module = boost::serialization::singleton_module;
[[gnu::used]] void (Module::*const lockOperation)() = &Module::lock;
[[gnu::used]] void (Module::*const unlockOperation)() = &Module::unlock;
[[gnu::used]] bool (Module::*const isLockedOperation)() = &Module::is_locked;

}  // namespace
