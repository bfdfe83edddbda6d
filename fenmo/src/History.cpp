// Undo and redo of committed outermost transactions, and the reports sent to listeners.

#include "ElementAccess.hpp"
#include "ModelState.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Property.hpp>

#include <algorithm>
#include <stdexcept>


namespace fenmo::detail {

namespace {

// Clears a flag for the duration of a scope, even when an exception passes.
struct ApplyingGuard {
    bool& flag;
    explicit ApplyingGuard(bool& f) : flag(f) { flag = true; }
    ~ApplyingGuard() { flag = false; }
};

}  // namespace

void ModelState::pushStep(UndoStep step) {
    m_historyBytes += step.bytes;
    m_undo.push_back(std::move(step));
}

// Drops the oldest undo steps while a bound is passed, then, if that is not enough, the redo steps
// furthest from the present.
void ModelState::trimHistory() {
    auto exceeded = [&] { return m_undo.size() + m_redo.size() > maxSteps || m_historyBytes > maxBytes; };
    while (!m_undo.empty() && exceeded()) {
        m_historyBytes -= m_undo.front().bytes;
        dropStep(m_undo.front(), false);
        m_undo.pop_front();
    }
    while (!m_redo.empty() && exceeded()) {
        m_historyBytes -= m_redo.front().bytes;
        dropStep(m_redo.front(), true);
        m_redo.pop_front();
    }
}

void ModelState::clearRedo() noexcept {
    for (UndoStep& step : m_redo) {
        m_historyBytes -= step.bytes;
        dropStep(step, true);
    }
    m_redo.clear();
}

void ModelState::clearHistory() {
    for (UndoStep& step : m_undo) dropStep(step, false);
    for (UndoStep& step : m_redo) dropStep(step, true);
    m_undo.clear();
    m_redo.clear();
    m_historyBytes = 0;
}

void ModelState::undo() { travel(m_undo, m_redo, false); }

void ModelState::redo() { travel(m_redo, m_undo, true); }

// Applies the step nearest the present on one stack and moves it to the other. Applying swaps each
// snapshot for one of the same class, so the history keeps its size.
void ModelState::travel(std::deque<UndoStep>& from, std::deque<UndoStep>& to, bool forward) {
    if (m_depth) throw InvalidOperationException({u"undo and redo are not possible inside a transaction"});
    if (from.empty()) return;
    checkIdentitiesFree(from.back(), forward);
    UndoStep step = std::move(from.back());
    from.pop_back();
    try {
        apply(step, forward);
    } catch (...) {
        m_historyBytes -= step.bytes;
        dropStep(step, forward);
        throw;
    }
    // The snapshots now hold the values of the other side of the step.
    m_historyBytes -= step.bytes;
    step.bytes = stepBytes(step);
    m_historyBytes += step.bytes;
    to.push_back(std::move(step));
    publish(forward ? ChangeReport::Cause::Redo : ChangeReport::Cause::Undo, to.back().records, forward);
    trimHistory();
    deliverListenerErrors();
}

// An element a step brings back must find its identity free: with recording switched off, a new
// element may have taken it meanwhile. Refused before anything changes, leaving model and history as
// they were.
void ModelState::checkIdentitiesFree(const UndoStep& step, bool forward) const {
    const std::uint8_t comesBack = forward ? Record::kCreated : Record::kDestroyed;
    const std::uint8_t goesAway = forward ? Record::kDestroyed : Record::kCreated;
    for (const Record& r : step.records) {
        if ((r.flags & comesBack) == 0 || (r.flags & goesAway) != 0) continue;
        const ModelElement::Impl* holder = index.find(r.element->getUuid());
        if (!holder || holder == r.element) continue;
        bool leaves = std::any_of(step.records.begin(), step.records.end(), [&](const Record& other) {
            return other.element == holder && (other.flags & goesAway) != 0;
        });
        if (!leaves)
            throw InvalidValueException({u"an element with the identity " +
                                         toU16String(r.element->getUuid()) + u" is already in the model"});
    }
}

// Undoing (forward false) or redoing (forward true) a step: elements come back or go away, and every
// recorded property takes the recorded value while the record takes the current one, so the step can
// be applied again in the other direction.
void ModelState::apply(UndoStep& step, bool forward) {
    ApplyingGuard guard(m_applying);
    const std::uint8_t comesBack = forward ? Record::kCreated : Record::kDestroyed;
    const std::uint8_t goesAway = forward ? Record::kDestroyed : Record::kCreated;
    auto& records = step.records;
    // Elements leave before others come back, so that an identity passes from one to the other.
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (it->flags & goesAway) kill(*it->element);
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if ((it->flags & comesBack) && !(it->flags & goesAway)) revive(*it->element);
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (!it->storage || it->storage->exchange(*it->element)) continue;
        ModelElement::Impl& element = *it->element;
        ModelElement::Impl::Storage* current = m_pool.take(element);
        const ChangeBits& bits = it->storage->bits();
        for (std::size_t i = 0; i < bits.count(); ++i) {
            if (!bits.test(i)) continue;
            element.copyValue(current, i);
            current->setChanged(i);
        }
        element.copyStateFromStorage(it->storage);
        m_pool.give(element, it->storage);
        it->storage = current;
    }
}

std::size_t ModelState::stepBytes(const UndoStep& step) noexcept {
    std::size_t bytes = step.records.capacity() * sizeof(Record);
    for (const Record& r : step.records)
        if (r.storage) bytes += r.storage->footprint();
    return bytes;
}

void ModelState::dropStep(UndoStep& step, bool wasUndone) noexcept {
    (void)wasUndone;  // an element this step alone could bring back is the one that is not valid now
    for (Record& r : step.records) releaseGone(r, false);
    step.records.clear();
}

void ModelState::publish(ChangeReport::Cause cause, const Records& records, bool forward) {
    if (m_listeners->entries.empty()) return;
    const ReflectionPrivateTag& tag = ReflectionPrivateTag::unresolved();
    std::vector<ModelElement> created, destroyed;
    std::vector<ElementChange> modified;
    for (const Record& r : records) {
        ModelElement element(r.element, true);
        bool born = forward ? r.created() : r.destroyed();
        bool died = forward ? r.destroyed() : r.created();
        if (born) {
            created.push_back(std::move(element));
            continue;
        }
        if (died) {
            destroyed.push_back(std::move(element));
            continue;
        }
        ElementChange change{element, {}};
        const ChangeBits& bits = r.storage->bits();
        for (std::size_t i = 1; i < bits.count(); ++i) {
            if (!bits.test(i)) continue;
            meta::Property property = r.element->getPropertyByIndex(i);
            // A value that cannot be read (an unset mandatory property) is reported as the empty value.
            PropertyChange pc{property, Value(property->getType(), boost::none), Value(property->getType(), boost::none)};
            try {
                pc.oldValue = r.storage->getOldValue(property, tag);
            } catch (const MessageIdException&) {
            }
            try {
                pc.newValue = r.element->getPropertyValue(property, tag);
            } catch (const MessageIdException&) {
            }
            change.properties.push_back(std::move(pc));
        }
        if (!change.properties.empty()) modified.push_back(std::move(change));
    }
    ChangeReport report(cause, std::move(created), std::move(destroyed), std::move(modified));
    // Listeners may add or remove listeners while being told: one removed meanwhile is not called.
    std::shared_ptr<Listeners> listeners = m_listeners;
    auto entries = listeners->entries;
    for (auto& [id, listener] : entries) {
        bool registered = std::any_of(listeners->entries.begin(), listeners->entries.end(),
                                      [id = id](const auto& entry) { return entry.first == id; });
        if (!registered) continue;
        try {
            listener(report);
        } catch (...) {
            // The change is committed whatever a listener does; its failure is handed on afterwards.
            m_listenerErrors.push_back(std::current_exception());
        }
    }
}

void ModelState::deliverListenerErrors() {
    if (m_listenerErrors.empty()) return;
    if (!listenerErrorHandler) {
        // Kept for takeListenerErrors; a host that never asks keeps only the latest few.
        constexpr std::size_t kKept = 16;
        if (m_listenerErrors.size() > kKept)
            m_listenerErrors.erase(m_listenerErrors.begin(),
                                   m_listenerErrors.end() - static_cast<std::ptrdiff_t>(kKept));
        return;
    }
    std::vector<std::exception_ptr> errors = std::exchange(m_listenerErrors, {});
    for (const std::exception_ptr& error : errors) listenerErrorHandler(error);
}

void ModelState::forgetClass(const ModelElement::Impl& metaClass) noexcept {
    m_pool.forget(metaClass);
    auto holds = [&](const std::deque<UndoStep>& steps) {
        for (const UndoStep& step : steps)
            for (const Record& r : step.records)
                if (r.element->getMetaClass().get() == &metaClass) return true;
        return false;
    };
    if (m_depth == 0 && (holds(m_undo) || holds(m_redo))) clearHistory();
}

ListenerToken ModelState::addListener(std::function<void(const ChangeReport&)> listener) {
    std::uint64_t id = m_listeners->nextId++;
    m_listeners->entries.emplace_back(id, std::move(listener));
    std::weak_ptr<Listeners> weak = m_listeners;
    return ListenerToken([weak, id] {
        if (auto listeners = weak.lock())
            std::erase_if(listeners->entries, [id](const auto& entry) { return entry.first == id; });
    });
}

void ModelState::teardown() noexcept {
    while (m_depth) abandon(m_depth);
    clearHistory();
    std::vector<ModelElement::Impl*> live;
    live.reserve(index.size());
    index.forEach([&](ModelElement::Impl* e) { live.push_back(e); });
    for (ModelElement::Impl* e : live) {
        try {
            e->invalidate();
            e->basicDisassociateAll();
        } catch (...) {
            // Tear-down goes on for every element: one whose hook fails is released all the same.
        }
    }
    extents.clear();
    index = ElementIndex();
    for (ModelElement::Impl* e : live) e->removeRef();
}

ModelState::~ModelState() { teardown(); }

}  // namespace fenmo::detail
