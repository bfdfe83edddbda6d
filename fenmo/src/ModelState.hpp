#pragma once
// The private state of a model: its element index, the stack of open transaction levels, the undo
// history and the listeners.

#include "ClassExtents.hpp"
#include "ElementIndex.hpp"
#include "StoragePool.hpp"
#include "TransactionRecord.hpp"

#include <fenmo/ModelImpl.hpp>

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace fenmo::detail {

// One open transaction level. The outermost level finds an element's record through the element's
// own slot number; inner levels, usually small, search their records and index them once they grow.
struct Level {
    Records records;
    std::unordered_map<const ModelElement::Impl*, std::uint32_t> lookup;
    bool internal = false;
    bool revertible = false;
    // Opened by an operation of the model's elements: operations it calls join this level.
    bool operation = false;
    std::uint64_t serial = 0;
};

// One committed outermost transaction, ready to be undone (or, once undone, redone).
struct UndoStep {
    Records records;
    std::size_t bytes = 0;
};

struct Listeners {
    std::uint64_t nextId = 1;
    std::vector<std::pair<std::uint64_t, std::function<void(const ChangeReport&)>>> entries;
};

class ModelState {
public:
    explicit ModelState(Model::Impl& model) : m_model(model), m_listeners(std::make_shared<Listeners>()) {}
    ~ModelState();

    // The state of a model, for the framework's own services (queries).
    static ModelState& of(const Model::Impl& model) noexcept { return *model.m_state; }

    // Elements.
    ElementIndex index;
    // The same elements by class, in the order they entered the model.
    ClassExtents extents;
    std::unordered_map<const ModelElement::Impl*, ProxyId> proxies;

    // Transactions (Transactions.cpp).
    std::size_t depth() const noexcept { return m_depth; }
    std::uint64_t serialOf(std::size_t depth) const noexcept { return m_levels[depth - 1].serial; }
    std::size_t begin(bool internal, bool revertible, bool operation = false);
    // Whether the innermost open level belongs to an operation (one called inside it joins it).
    bool inOperation() const noexcept { return m_depth && m_levels[m_depth - 1].operation; }
    void recordCreated(ModelElement::Impl& element);
    void recordModifying(ModelElement::Impl& element, std::size_t index);
    // The journal of collection property `index` of `element` that the open levels keep: the lowest
    // level's (levels above keep marks in it), or null.
    detail::JournalBase* collectionJournal(const ModelElement::Impl& element, std::size_t index) noexcept {
        return m_depth && !restoring ? journalBelow(m_depth, element, index) : nullptr;
    }
    void recordDestroyed(ModelElement::Impl& element);
    void commit(std::size_t depth);
    void abandon(std::size_t depth);

    // Undo history (History.cpp).
    bool recording = true;
    // See Model::Impl::setRestoring. A model being restored also keeps no old values and its outermost
    // transaction no record of what it creates: whoever restores discards the model when restoring fails.
    bool restoring = false;
    std::size_t maxSteps = SIZE_MAX;
    std::size_t maxBytes = SIZE_MAX;
    bool canUndo() const noexcept { return !m_undo.empty(); }
    bool canRedo() const noexcept { return !m_redo.empty(); }
    std::size_t undoCount() const noexcept { return m_undo.size(); }
    std::size_t redoCount() const noexcept { return m_redo.size(); }
    std::size_t historyBytes() const noexcept { return m_historyBytes; }
    void undo();
    void redo();
    void clearHistory();
    void clearRedo() noexcept;
    void trimHistory();

    // Listeners. A listener that throws does not undo the change it was told about, nor keep the other
    // listeners from hearing it: its exception goes to the error handler, or is kept until taken.
    ListenerToken addListener(std::function<void(const ChangeReport&)> listener);
    std::function<void(std::exception_ptr)> listenerErrorHandler;
    std::vector<std::exception_ptr> takeListenerErrors() noexcept {
        return std::exchange(m_listenerErrors, {});
    }

    // Lets go of everything kept of elements of `metaClass` that the model no longer holds alive:
    // reusable snapshots, and the history if any step holds such an element. Called before the code
    // of a class goes away (a library unloads).
    void forgetClass(const ModelElement::Impl& metaClass) noexcept;

    // Makes an element live again, or takes it out of the model (undo, redo and abandon).
    void revive(ModelElement::Impl& element);
    void kill(ModelElement::Impl& element);

    // Invalidates and releases everything as the model goes away.
    void teardown() noexcept;

private:
    Record* find(std::size_t level, const ModelElement::Impl& element) noexcept;
    Record& ensure(std::size_t level, ModelElement::Impl& element);
    // A record that holds a reference, for creation and destruction.
    Record& ensureOwned(std::size_t level, ModelElement::Impl& element);
    void snapshot(std::size_t level, Record& record, ModelElement::Impl& element, std::size_t index);
    // The lowest journal of the property among levels [0, level).
    detail::JournalBase* journalBelow(std::size_t level, const ModelElement::Impl& element,
                                      std::size_t index) noexcept;
    void restore(std::size_t level, Record& record);
    void restoreDelegated(std::size_t level, Record& record);
    void release(Record& record, bool pooled) noexcept;
    // Releases a record whose element may be gone for good, breaking the links it keeps first.
    void releaseGone(Record& record, bool pooled) noexcept;
    static void breakLinks(ModelElement::Impl& element) noexcept;
    // The bytes a step holds: records, snapshots and the values they keep.
    static std::size_t stepBytes(const UndoStep& step) noexcept;
    void deliverListenerErrors();
    void commitInner(std::size_t level);
    void commitOutermost();
    void closeLevel() noexcept;

    void pushStep(UndoStep step);
    void checkIdentitiesFree(const UndoStep& step, bool forward) const;
    void travel(std::deque<UndoStep>& from, std::deque<UndoStep>& to, bool forward);
    void apply(UndoStep& step, bool forward);
    void dropStep(UndoStep& step, bool wasUndone) noexcept;
    void publish(ChangeReport::Cause cause, const Records& records, bool forward);

    Model::Impl& m_model;
    // Levels [0, m_depth) are open; those above are kept empty for reuse.
    std::vector<Level> m_levels;
    std::size_t m_depth = 0;
    std::uint64_t m_nextSerial = 1;
    StoragePool m_pool;
    std::deque<UndoStep> m_undo;
    std::deque<UndoStep> m_redo;
    std::size_t m_historyBytes = 0;
    std::shared_ptr<Listeners> m_listeners;
    std::vector<std::exception_ptr> m_listenerErrors;
    bool m_applying = false;
};

}  // namespace fenmo::detail
