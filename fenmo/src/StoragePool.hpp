#pragma once
// Reusable snapshots for inner transaction levels, for undo and for commits that keep no history, so
// that steady editing allocates none.

#include <fenmo/ModelElement.hpp>

#include <typeinfo>
#include <utility>
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
    // Snapshots by the dynamic class of the elements they were made for; a model uses few classes.
    using Shelf = std::pair<const std::type_info*, std::vector<ModelElement::Impl::Storage*>>;
    std::vector<Shelf>::iterator shelfOf(const ModelElement::Impl& element);
    std::vector<Shelf> m_shelves;
};

}  // namespace fenmo::detail
