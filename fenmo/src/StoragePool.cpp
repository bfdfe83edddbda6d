#include "StoragePool.hpp"

namespace fenmo::detail {

StoragePool::~StoragePool() {
    for (Shelf& shelf : m_shelves)
        for (auto* s : shelf.storages) delete s;
}

std::vector<StoragePool::Shelf>::iterator StoragePool::shelfOf(const ModelElement::Impl& element) {
    const std::type_info* type = &typeid(element);
    for (auto it = m_shelves.begin(); it != m_shelves.end(); ++it)
        if (it->type == type) return it;
    return m_shelves.end();
}

ModelElement::Impl::Storage* StoragePool::take(const ModelElement::Impl& element) {
    auto shelf = shelfOf(element);
    if (shelf == m_shelves.end() || shelf->storages.empty()) return element.createStorage();
    auto* storage = shelf->storages.back();
    shelf->storages.pop_back();
    return storage;
}

void StoragePool::give(const ModelElement::Impl& element, ModelElement::Impl::Storage* storage) noexcept {
    if (!storage) return;
    try {
        auto shelf = shelfOf(element);
        if (shelf == m_shelves.end())
            shelf =
                m_shelves.insert(m_shelves.end(), Shelf{&typeid(element), element.getMetaClass().get(), {}});
        if (shelf->storages.size() < kKeepPerClass) {
            storage->bits().clearAll();
            storage->releaseValues();
            shelf->storages.push_back(storage);
            return;
        }
    } catch (...) {
        // No room to keep it: the snapshot is simply deleted below.
    }
    delete storage;
}

void StoragePool::forget(const ModelElement::Impl& metaClass) noexcept {
    std::erase_if(m_shelves, [&](Shelf& shelf) {
        if (shelf.metaClass != &metaClass) return false;
        for (auto* s : shelf.storages) delete s;
        return true;
    });
}

}  // namespace fenmo::detail
