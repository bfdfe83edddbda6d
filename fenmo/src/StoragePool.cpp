#include "StoragePool.hpp"

namespace fenmo::detail {

StoragePool::~StoragePool() {
    for (auto& [type, storages] : m_shelves)
        for (auto* s : storages) delete s;
}

std::vector<StoragePool::Shelf>::iterator StoragePool::shelfOf(const ModelElement::Impl& element) {
    const std::type_info* type = &typeid(element);
    for (auto it = m_shelves.begin(); it != m_shelves.end(); ++it)
        if (it->first == type) return it;
    return m_shelves.end();
}

ModelElement::Impl::Storage* StoragePool::take(const ModelElement::Impl& element) {
    auto shelf = shelfOf(element);
    if (shelf == m_shelves.end() || shelf->second.empty()) return element.createStorage();
    auto* storage = shelf->second.back();
    shelf->second.pop_back();
    return storage;
}

void StoragePool::give(const ModelElement::Impl& element, ModelElement::Impl::Storage* storage) noexcept {
    if (!storage) return;
    try {
        auto shelf = shelfOf(element);
        if (shelf == m_shelves.end()) shelf = m_shelves.insert(m_shelves.end(), Shelf(&typeid(element), {}));
        if (shelf->second.size() < kKeepPerClass) {
            storage->bits().clearAll();
            storage->releaseValues();
            shelf->second.push_back(storage);
            return;
        }
    } catch (...) {
    }
    delete storage;
}

}  // namespace fenmo::detail
