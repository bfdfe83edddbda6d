#pragma once
// The model: its elements by identity, nested transactions, undo and redo, change listeners, proxies.

#include <fenmo/Export.hpp>
#include <fenmo/ModelElement.hpp>
#include <fenmo/Transaction.hpp>
#include <fenmo/ChangeReport.hpp>

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

namespace detail {
class FENMO_LOCAL ModelState;
}

class Model::Impl {
public:
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    const uuid& getId() const noexcept { return m_id; }
    ModelLink* link() const noexcept { return m_link; }

    // The live element with this identity, or an empty handle.
    ModelElement findElement(const uuid& id) const;
    std::size_t elementCount() const noexcept;
    // The live elements, in no particular order.
    std::vector<ModelElement> elements() const;
    // Calls `visit` with each live element, in the same order, without a list or a reference of each;
    // `visit` must not add elements to the model or take them out.
    void forEachElement(const std::function<void(ModelElement::Impl&)>& visit) const;

    // Transactions nest; only the outermost commit records an undo step and informs listeners.
    // `internal`: the changes are bookkeeping (registration), neither recorded for undo nor reported.
    Transaction beginTransaction(bool internal);
    // An edit: recorded for undo (while recording is on) and reported; beginTransaction(false).
    Transaction beginEdit() { return beginTransaction(false); }
    // The edit of one of the elements' own operations (a setter, a collection change, a creation). Called
    // inside another operation, it joins that operation's level instead of opening one: whatever it
    // refuses, the enclosing operation takes back whole, so a level of its own would only repeat the
    // old values. Anywhere else it opens a level as beginEdit() does, which the operations it calls join.
    Transaction beginOperation();
    // An edit that becomes an undo step even while undo recording is switched off.
    Transaction beginRevertibleTransaction();
    bool isInTransaction() const noexcept;
    std::size_t transactionDepth() const noexcept;

    // Undo and redo of committed outermost transactions.
    bool canUndo() const noexcept;
    bool canRedo() const noexcept;
    void undo();
    void redo();
    // Recording can be switched off for bulk work; undo steps already recorded stay.
    void setUndoRecording(bool on) noexcept;
    bool isUndoRecording() const noexcept;
    // While elements are restored as a file states them, hooks that file new elements by convention
    // (children a builder creates joining their parent's map) stay out: the file says where each belongs.
    void setRestoring(bool on) noexcept;
    bool isRestoring() const noexcept;
    // Oldest steps are dropped first once either bound is passed (0 steps: no history at all).
    void setHistoryLimits(std::size_t maxSteps, std::size_t maxBytes);
    std::size_t undoStepCount() const noexcept;
    std::size_t redoStepCount() const noexcept;
    // Bytes of snapshots and records the history holds (an estimate from allocation sizes).
    std::size_t historyBytes() const noexcept;
    void clearHistory();

    // Listeners receive one report per outermost commit, undo and redo. Dropping the token removes it.
    ListenerToken addListener(std::function<void(const ChangeReport&)> listener);
    // A listener that throws does not make the change fail, nor keep the listeners after it from being
    // told. Its exception goes to this handler once every listener has heard the report (and the
    // history has been trimmed); without a handler the model keeps the latest few for
    // takeListenerErrors().
    void setListenerErrorHandler(std::function<void(std::exception_ptr)> handler);
    std::vector<std::exception_ptr> takeListenerErrors() noexcept;

    // Proxies: an element standing for one of this or another open model, identified by a ProxyId.
    ModelElement createProxy(const meta::Class& metaClass, const ProxyId& id);
    const ProxyId* proxyIdOf(const ModelElement::Impl& element) const;
    // The real element a proxy stands for, if its model is open and holds it; otherwise an empty handle.
    ModelElement resolveProxy(const ModelElement& referencing, const ModelElement& proxy);
    ModelElement peekResolveProxy(const ModelElement& proxy) const;
    // An open model by identity.
    static Model findModel(const uuid& id);
    // Makes every open model let go of what it keeps of elements of `metaClass` beyond its live elements
    // (reusable snapshots, history), before the class's code is unloaded.
    static void forgetClassInOpenModels(const ModelElement::Impl& metaClass) noexcept;

private:
    friend class Model;
    friend class ModelElement::Impl;
    friend class Transaction;
    friend class detail::ModelState;

    explicit Impl(const uuid& id);
    ~Impl();

    void addRef() noexcept { m_refCount.fetch_add(1, std::memory_order_relaxed); }
    void removeRef() noexcept;

    // Called by elements and transactions.
    void recordCreated(ModelElement::Impl& element);
    void recordModifying(ModelElement::Impl& element, std::size_t index);
    detail::JournalBase* collectionJournal(const ModelElement::Impl& element, std::size_t index) noexcept;
    void recordDestroyed(ModelElement::Impl& element);
    void commit(std::size_t depth);
    void abandon(std::size_t depth);
    // Whether the level a transaction opened is still the open one at its depth.
    bool isOpen(std::size_t depth, std::uint64_t serial) const noexcept;
    void forgetProxy(const ModelElement::Impl& element) noexcept;

    std::atomic<std::int32_t> m_refCount{0};
    uuid m_id;
    ModelLink* m_link;
    std::unique_ptr<detail::ModelState> m_state;
};

}  // namespace fenmo

FENMO_API_END
