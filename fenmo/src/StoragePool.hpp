#pragma once
// Reusable snapshots for inner transaction levels, for undo and for commits that keep no history, so
// that steady editing allocates none.

#include <fenmo/ModelElement.hpp>
#include <fenmo/meta/Class.hpp>

#include <typeinfo>
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
    // Deletes the snapshots kept for elements of `metaClass`, while the class's code is still there.
    void forget(const ModelElement::Impl& metaClass) noexcept;

private:
    static constexpr std::size_t kKeepPerClass = 16;
    // Snapshots by the dynamic class of the elements they were made for; a model uses few classes.
    struct Shelf {
        const std::type_info* type;
        const ModelElement::Impl* metaClass;
        std::vector<ModelElement::Impl::Storage*> storages;
    };
    std::vector<Shelf>::iterator shelfOf(const ModelElement::Impl& element);
    std::vector<Shelf> m_shelves;
};

}  // namespace fenmo::detail
