#pragma once
// Metamodel elements are announced to the registry model in an internal transaction of their own.

#include <fenmo/ModelImpl.hpp>

namespace fenmo::meta::detail {

template <class Handle>
Handle announce(const Model& model, typename Handle::Impl* impl) {
    Handle handle(impl, true);
    Transaction transaction = model->beginTransaction(true);
    handle->notifyCreated();
    transaction.commit(boost::none);
    return handle;
}

}  // namespace fenmo::meta::detail
