#include "StoragePool.hpp"

namespace fenmo::detail {

StoragePool::~StoragePool() {
    for (auto& [type, storages] : m_free)
        for (auto* s : storages) delete s;
}

ModelElement::Impl::Storage* StoragePool::take(const ModelElement::Impl& element) {
    auto it = m_free.find(std::type_index(typeid(element)));
    if (it == m_free.end() || it->second.empty()) return element.createStorage();
    auto* storage = it->second.back();
    it->second.pop_back();
    return storage;
}

void StoragePool::give(const ModelElement::Impl& element, ModelElement::Impl::Storage* storage) noexcept {
    if (!storage) return;
    try {
        auto& free = m_free[std::type_index(typeid(element))];
        if (free.size() < kKeepPerClass) {
            storage->bits().clearAll();
            storage->releaseValues();
            free.push_back(storage);
            return;
        }
    } catch (...) {
    }
    delete storage;
}

}  // namespace fenmo::detail
