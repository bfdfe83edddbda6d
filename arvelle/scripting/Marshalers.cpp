// The enumeration marshalers are registered while the library loads, and unregistered by one cleanup of
// the meta-package when it is torn down (the library unloads), while the enumeration types still exist.

#include "scripting/Wrappers.gen.hpp"

#include <arvelle/MetaPackageArvelle.hpp>

namespace {

struct EnumerationMarshalerRegistration {
    EnumerationMarshalerRegistration() {
        tav::fenmo::treeNode::qorin::registerEnumerationMarshalers();
        tav::fenmo::MetaPackageArvelle::getInstance()->addCleanup(
            &tav::fenmo::treeNode::qorin::unregisterEnumerationMarshalers);
    }
};

const EnumerationMarshalerRegistration registration;

}  // namespace
