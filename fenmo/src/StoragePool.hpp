#pragma once
// Reusable snapshots for inner transaction levels and for undo, so that steady editing allocates none.

#include <fenmo/ModelElement.hpp>

#include <typeindex>
#include <unordered_map>
#include <vector>

namespace fenmo::detail {

class StoragePool {
public:
    StoragePool() = default;
    StoragePool(const StoragePool&) = delete;
    StoragePool& operator=(const StoragePool&) = delete;
    ~StoragePool();

    // A snapshot suitable for `element`, with no change bit set.
    ModelElement::Impl::Storage* take(const ModelElement::Impl& element);
    void give(const ModelElement::Impl& element, ModelElement::Impl::Storage* storage) noexcept;

private:
    static constexpr std::size_t kKeepPerClass = 16;
    std::unordered_map<std::type_index, std::vector<ModelElement::Impl::Storage*>> m_free;
};

}  // namespace fenmo::detail
