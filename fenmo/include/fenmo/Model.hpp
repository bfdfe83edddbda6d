#pragma once
// The model handle, the link its elements share, and proxy identities.

#include <fenmo/Export.hpp>
#include <fenmo/Uuid.hpp>

#include <boost/optional.hpp>

#include <atomic>
#include <cstdint>
#include <utility>

FENMO_API_BEGIN

namespace fenmo {

// A counted reference to a model. A model owns its live elements; when its last handle goes, its
// elements are invalidated and released.
class Model {
public:
    class Impl;

    Model() noexcept = default;
    Model(Impl* impl, bool addRef) noexcept;
    Model(const Model& other) noexcept : Model(other.m_impl, true) {}
    Model(Model&& other) noexcept : m_impl(std::exchange(other.m_impl, nullptr)) {}
    ~Model();
    Model& operator=(Model other) noexcept {
        std::swap(m_impl, other.m_impl);
        return *this;
    }

    // A new empty model with a random identity, registered among the open models.
    static Model create();
    // A new empty model with the given identity (a loaded model keeps the identity it was saved with).
    static Model create(const uuid& id);

    Impl* get() const noexcept { return m_impl; }
    Impl* operator->() const noexcept { return m_impl; }
    explicit operator bool() const noexcept { return m_impl != nullptr; }
    friend bool operator==(const Model& a, const Model& b) noexcept { return a.m_impl == b.m_impl; }

private:
    Impl* m_impl = nullptr;
};

// What the elements of one model share: a pointer to the model, cleared when the model goes, so that
// elements outliving their model can tell.
class ModelLink {
public:
    explicit ModelLink(Model::Impl* model) noexcept : m_model(model) {}
    ModelLink(const ModelLink&) = delete;
    ModelLink& operator=(const ModelLink&) = delete;

    Model::Impl* model() const noexcept { return m_model.load(std::memory_order_acquire); }
    void clear() noexcept { m_model.store(nullptr, std::memory_order_release); }
    void addRef() noexcept { m_refCount.fetch_add(1, std::memory_order_relaxed); }
    void removeRef() noexcept {
        if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

private:
    std::atomic<Model::Impl*> m_model;
    std::atomic<std::int32_t> m_refCount{1};
};

// The persistent identity of an element that may live in another model: the element's uuid and, when
// it lives elsewhere, the identity of its model.
class ProxyId {
public:
    ProxyId() = default;
    explicit ProxyId(const uuid& elementId, boost::optional<uuid> modelId = boost::none)
        : m_elementId(elementId), m_modelId(modelId) {}

    const uuid& getElementId() const noexcept { return m_elementId; }
    const boost::optional<uuid>& getModelId() const noexcept { return m_modelId; }

    friend bool operator==(const ProxyId& a, const ProxyId& b) {
        return a.m_elementId == b.m_elementId && a.m_modelId == b.m_modelId;
    }

private:
    uuid m_elementId{};
    boost::optional<uuid> m_modelId;
};

}  // namespace fenmo

FENMO_API_END
