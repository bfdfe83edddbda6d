#include "ElementAccess.hpp"
#include "ModelState.hpp"

#include <fenmo/Builder.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Class.hpp>

#include <mutex>
#include <unordered_map>

namespace fenmo {

namespace {

// The open models by identity, so that proxies can find the model they point into.
struct OpenModels {
    std::mutex mutex;
    std::unordered_map<uuid, Model::Impl*, UuidHash> byId;
};

OpenModels& openModels() {
    static OpenModels* models = new OpenModels;  // never destroyed: models may close during exit
    return *models;
}

}  // namespace

// ---- Model handle

Model::Model(Impl* impl, bool addRef) noexcept : m_impl(impl) {
    if (impl && addRef) impl->addRef();
}

Model::~Model() {
    if (m_impl) m_impl->removeRef();
}

Model Model::create() { return create(newUuid()); }

Model Model::create(const uuid& id) {
    OpenModels& open = openModels();
    std::unique_lock lock(open.mutex);
    // Proxies find a model by its identity, so two open models cannot share one.
    if (open.byId.count(id))
        throw InvalidValueException({u"a model with the identity " + toU16String(id) + u" is already open"});
    auto* impl = new Impl(id);
    open.byId.emplace(id, impl);
    lock.unlock();
    return Model(impl, true);
}

void Model::Impl::forgetClassInOpenModels(const ModelElement::Impl& metaClass) noexcept {
    // Held by handles taken under the lock, and told outside it: letting go of history may release
    // what keeps a model alive, and closing a model takes the lock.
    std::vector<Model> models;
    {
        OpenModels& open = openModels();
        std::lock_guard lock(open.mutex);
        models.reserve(open.byId.size());
        for (auto& [id, impl] : open.byId) {
            std::int32_t count = impl->m_refCount.load(std::memory_order_acquire);
            while (count > 0)
                if (impl->m_refCount.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel)) {
                    models.push_back(Model(impl, false));
                    break;
                }
        }
    }
    for (Model& model : models) model->m_state->forgetClass(metaClass);
}

// ---- Model::Impl

Model::Impl::Impl(const uuid& id)
    : m_id(id), m_link(new ModelLink(this)), m_state(std::make_unique<detail::ModelState>(*this)) {}

Model::Impl::~Impl() {
    // Elements told about the tear-down may still call back into the model.
    m_state->teardown();
    m_link->clear();
    m_state.reset();
    m_link->removeRef();
}

void Model::Impl::removeRef() noexcept {
    if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    {
        OpenModels& open = openModels();
        std::lock_guard lock(open.mutex);
        // findModel may have taken a reference meanwhile.
        if (m_refCount.load(std::memory_order_acquire) != 0) return;
        auto it = open.byId.find(m_id);
        if (it != open.byId.end() && it->second == this) open.byId.erase(it);
    }
    delete this;
}

Model Model::Impl::findModel(const uuid& id) {
    OpenModels& open = openModels();
    std::lock_guard lock(open.mutex);
    auto it = open.byId.find(id);
    if (it == open.byId.end()) return Model();
    Impl* impl = it->second;
    std::int32_t count = impl->m_refCount.load(std::memory_order_acquire);
    while (count > 0)
        if (impl->m_refCount.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel))
            return Model(impl, false);
    return Model();
}

ModelElement Model::Impl::findElement(const uuid& id) const {
    return ModelElement(m_state->index.find(id), true);
}

std::size_t Model::Impl::elementCount() const noexcept { return m_state->index.size(); }

std::vector<ModelElement> Model::Impl::elements() const {
    std::vector<ModelElement> result;
    result.reserve(m_state->index.size());
    m_state->index.forEach([&](ModelElement::Impl* e) { result.emplace_back(e, true); });
    return result;
}

void Model::Impl::forEachElement(const std::function<void(ModelElement::Impl&)>& visit) const {
    m_state->index.forEach([&](ModelElement::Impl* e) { visit(*e); });
}

Transaction Model::Impl::beginTransaction(bool internal) {
    std::size_t depth = m_state->begin(internal, false);
    addRef();
    return Transaction(this, depth, m_state->serialOf(depth));
}

Transaction Model::Impl::beginOperation() {
    if (m_state->inOperation()) {
        const std::size_t depth = m_state->depth();
        addRef();
        return Transaction(this, depth, m_state->serialOf(depth), true);
    }
    std::size_t depth = m_state->begin(false, false, true);
    addRef();
    return Transaction(this, depth, m_state->serialOf(depth));
}

Transaction Model::Impl::beginRevertibleTransaction() {
    std::size_t depth = m_state->begin(false, true);
    addRef();
    return Transaction(this, depth, m_state->serialOf(depth));
}

bool Model::Impl::isOpen(std::size_t depth, std::uint64_t serial) const noexcept {
    return depth >= 1 && depth <= m_state->depth() && m_state->serialOf(depth) == serial;
}

bool Model::Impl::isInTransaction() const noexcept { return m_state->depth() > 0; }
std::size_t Model::Impl::transactionDepth() const noexcept { return m_state->depth(); }

void Model::Impl::commit(std::size_t depth) { m_state->commit(depth); }
void Model::Impl::abandon(std::size_t depth) { m_state->abandon(depth); }

bool Model::Impl::canUndo() const noexcept { return m_state->canUndo(); }
bool Model::Impl::canRedo() const noexcept { return m_state->canRedo(); }
void Model::Impl::undo() { m_state->undo(); }
void Model::Impl::redo() { m_state->redo(); }
void Model::Impl::setUndoRecording(bool on) noexcept { m_state->recording = on; }
bool Model::Impl::isUndoRecording() const noexcept { return m_state->recording; }
void Model::Impl::setRestoring(bool on) noexcept { m_state->restoring = on; }
bool Model::Impl::isRestoring() const noexcept { return m_state->restoring; }

void Model::Impl::setHistoryLimits(std::size_t maxSteps, std::size_t maxBytes) {
    m_state->maxSteps = maxSteps;
    m_state->maxBytes = maxBytes;
    m_state->trimHistory();
}

std::size_t Model::Impl::undoStepCount() const noexcept { return m_state->undoCount(); }
std::size_t Model::Impl::redoStepCount() const noexcept { return m_state->redoCount(); }
std::size_t Model::Impl::historyBytes() const noexcept { return m_state->historyBytes(); }
void Model::Impl::clearHistory() { m_state->clearHistory(); }

ListenerToken Model::Impl::addListener(std::function<void(const ChangeReport&)> listener) {
    return m_state->addListener(std::move(listener));
}

void Model::Impl::setListenerErrorHandler(std::function<void(std::exception_ptr)> handler) {
    m_state->listenerErrorHandler = std::move(handler);
}

std::vector<std::exception_ptr> Model::Impl::takeListenerErrors() noexcept {
    return m_state->takeListenerErrors();
}

void Model::Impl::recordCreated(ModelElement::Impl& element) { m_state->recordCreated(element); }
void Model::Impl::recordModifying(ModelElement::Impl& element, std::size_t index) {
    m_state->recordModifying(element, index);
}
detail::JournalBase* Model::Impl::collectionJournal(const ModelElement::Impl& element,
                                                    std::size_t index) noexcept {
    return m_state->collectionJournal(element, index);
}
void Model::Impl::recordDestroyed(ModelElement::Impl& element) { m_state->recordDestroyed(element); }

// ---- Proxies

ModelElement Model::Impl::createProxy(const meta::Class& metaClass, const ProxyId& id) {
    auto builder = metaClass->instantiateBuilder(Model(this, true));
    if (!builder) throw InvalidValueException({metaClass->getQualifiedName()});
    ModelElement proxy = builder->createUnannounced(id.getElementId());
    detail::ElementAccess::setProxy(*proxy.get());
    detail::ElementAccess::setValid(*proxy.get(), true);
    m_state->proxies.emplace(proxy.get(), id);
    return proxy;
}

const ProxyId* Model::Impl::proxyIdOf(const ModelElement::Impl& element) const {
    auto it = m_state->proxies.find(&element);
    return it == m_state->proxies.end() ? nullptr : &it->second;
}

void Model::Impl::forgetProxy(const ModelElement::Impl& element) noexcept { m_state->proxies.erase(&element); }

ModelElement Model::Impl::peekResolveProxy(const ModelElement& proxy) const {
    if (!proxy.get() || !proxy->isProxy()) return proxy;
    const ProxyId* id = proxyIdOf(*proxy.get());
    if (!id) return ModelElement();
    if (!id->getModelId() || *id->getModelId() == m_id) return findElement(id->getElementId());
    Model target = findModel(*id->getModelId());
    return target ? target->findElement(id->getElementId()) : ModelElement();
}

ModelElement Model::Impl::resolveProxy(const ModelElement& referencing, const ModelElement& proxy) {
    (void)referencing;
    ModelElement target = peekResolveProxy(proxy);
    if (target && !target->isProxy()) return target;
    return ModelElement();
}

}  // namespace fenmo
