// What happens as the library is loaded: the meta-package is built, so that the metamodel is registered
// before any element class is used. Unloading runs its destructor, which takes everything out again.

#include <arvelle/MetaPackageArvelle.hpp>

#include <boost/serialization/singleton.hpp>

namespace {

struct LoadTimeRegistration {
    LoadTimeRegistration() { tav::fenmo::MetaPackageArvelle::getInstance()->addCleanup([] {}); }
};

const LoadTimeRegistration registration;

// Emits (and exports) Boost serialization's singleton_module lock operations from this library.
[[maybe_unused]] boost::serialization::singleton_module& lockOperations = boost::serialization::get_singleton_module();

}  // namespace
