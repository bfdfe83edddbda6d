// Nested transactions: what each level records, and how a level is committed or abandoned.
//
// Every level keeps, per element it touched, the values properties had when the level began. A value is
// copied once: into the outermost level that lacks it (which becomes the undo record when that level is
// the outermost one). Inner levels that share the same old value only mark the property as delegated to
// the level below. So, for a property, the levels holding its old value form a run from the outermost
// level upwards; levels at or below the one that created the element need no old values at all.

#include "ElementAccess.hpp"
#include "ModelState.hpp"

#include <fenmo/Exceptions.hpp>

#include <stdexcept>


namespace fenmo::detail {

namespace {

constexpr std::size_t kLinearSearchLimit = 8;
// Room for records the outermost level keeps for the next transaction; a bulk transaction (a model
// loaded from a file: a record per element) gives its room back instead of keeping it with the model.
constexpr std::size_t kKeptRecordCapacity = std::size_t{1} << 14;

}  // namespace

std::size_t ModelState::begin(bool internal, bool revertible, bool operation) {
    if (m_applying)
        throw InvalidOperationException({u"a transaction cannot begin while the model undoes or redoes"});
    if (m_levels.size() == m_depth) m_levels.emplace_back();
    m_levels[m_depth].operation = operation;
    m_levels[m_depth++].serial = m_nextSerial++;
    // The outermost transaction decides how the whole is treated.
    Level& outermost = m_levels.front();
    if (m_depth == 1) {
        outermost.internal = internal;
        outermost.revertible = revertible;
    } else {
        outermost.revertible = outermost.revertible || revertible;
    }
    return m_depth;
}

Record* ModelState::find(std::size_t level, const ModelElement::Impl& element) noexcept {
    Level& l = m_levels[level];
    if (level == 0) {
        std::uint32_t slot = ElementAccess::txSlot(const_cast<ModelElement::Impl&>(element));
        if (slot < l.records.size() && l.records[slot].element == &element) return &l.records[slot];
        return nullptr;
    }
    if (l.records.size() > kLinearSearchLimit) {
        auto it = l.lookup.find(&element);
        return it == l.lookup.end() ? nullptr : &l.records[it->second];
    }
    for (Record& r : l.records)
        if (r.element == &element) return &r;
    return nullptr;
}

Record& ModelState::ensure(std::size_t level, ModelElement::Impl& element) {
    if (Record* r = find(level, element)) return *r;
    Level& l = m_levels[level];
    auto slot = static_cast<std::uint32_t>(l.records.size());
    l.records.push_back(Record{&element});
    if (level == 0) {
        element.addRef();
        l.records.back().owns = true;
        ElementAccess::txSlot(element) = slot;
    } else if (l.records.size() > kLinearSearchLimit) {
        if (l.lookup.empty())
            for (std::uint32_t i = 0; i < l.records.size(); ++i) l.lookup.emplace(l.records[i].element, i);
        else
            l.lookup.emplace(&element, slot);
    }
    return l.records.back();
}

Record& ModelState::ensureOwned(std::size_t level, ModelElement::Impl& element) {
    Record& record = ensure(level, element);
    if (!record.owns) {
        element.addRef();
        record.owns = true;
    }
    return record;
}

void ModelState::snapshot(std::size_t level, Record& record, ModelElement::Impl& element, std::size_t index) {
    // While undo recording is on, outermost snapshots usually become undo steps and are made to measure;
    // otherwise they usually end with the transaction, so they come from the pool and go back there (one
    // that a revertible transaction keeps in its step serves there just as well).
    if (!record.storage) record.storage = level == 0 && recording ? element.createStorage() : m_pool.take(element);
    // A collection whose edits a level below keeps in a journal gets a mark in that journal here.
    record.storage->setJournalBelow(level > 0 ? journalBelow(level, element, index) : nullptr);
    element.copyValue(record.storage, index);
    record.storage->setJournalBelow(nullptr);
    record.storage->setChanged(index);
}

detail::JournalBase* ModelState::journalBelow(std::size_t level, const ModelElement::Impl& element,
                                              std::size_t index) noexcept {
    for (std::size_t j = 0; j < level; ++j)
        if (Record* r = find(j, element); r && r->storage && r->storage->isChanged(index))
            if (detail::JournalBase* journal = r->storage->journalFor(index)) return journal;
    return nullptr;
}

void ModelState::recordCreated(ModelElement::Impl& element) {
    if (!m_depth) throw InvalidOperationException({u"an element can only be announced inside a transaction"});
    if (!index.insert(&element))
        throw InvalidValueException({u"an element with the identity " + toU16String(element.getUuid()) +
                                     u" is already in the model"});
    element.addRef();
    extents.insert(element);
    ElementAccess::setValid(element, true);
    // A model being restored is discarded whole when restoring fails, so its outermost level keeps no
    // record of what it creates; inner levels do, as a refused step takes its own elements back.
    if (!(restoring && m_depth == 1)) ensureOwned(m_depth - 1, element).flags |= Record::kCreated;
}

void ModelState::recordModifying(ModelElement::Impl& element, std::size_t index) {
    // Nothing to keep outside a transaction, or for an element not (or no longer) in the model: an element
    // being built has no earlier state. Nor while a model is restored: it is discarded whole when anything
    // fails, so no value is ever put back.
    if (!m_depth || restoring || !element.isValid()) return;
    const std::size_t top = m_depth - 1;
    if (Record* r = find(top, element); r && r->covers(index)) return;

    // Levels at or below the one that created the element need no old value.
    std::size_t first = 0;
    for (std::size_t j = 0; j < top; ++j)
        if (Record* r = find(j, element); r && r->created()) first = j + 1;
    std::size_t level = first;
    while (level <= top) {
        Record* r = find(level, element);
        if (!r || !r->covers(index)) break;
        ++level;
    }
    if (level > top) return;

    snapshot(level, ensure(level, element), element, index);
    for (std::size_t j = level + 1; j <= top; ++j) {
        Record& r = ensure(j, element);
        if (index < 64) r.delegated |= std::uint64_t{1} << index;
        else snapshot(j, r, element, index);
    }
}

void ModelState::recordDestroyed(ModelElement::Impl& element) {
    if (m_depth) ensureOwned(m_depth - 1, element).flags |= Record::kDestroyed;
    kill(element);
}

void ModelState::revive(ModelElement::Impl& element) {
    ElementAccess::setValid(element, true);
    if (index.insert(&element)) {
        element.addRef();
        extents.insert(element);
    }
}

void ModelState::kill(ModelElement::Impl& element) {
    // The caller holds a reference, so the element survives leaving the index.
    element.invalidate();
    if (index.erase(&element)) {
        extents.erase(element);
        element.removeRef();
    }
}

void ModelState::releaseGone(Record& record, bool pooled) noexcept {
    // An element created or destroyed for good may still be linked with others of its subtree (a
    // parent's children and their child attributes hold each other): break those links, or the
    // subtree keeps itself alive.
    if ((record.created() || record.destroyed()) && !record.element->isValid()) breakLinks(*record.element);
    release(record, pooled);
}

void ModelState::breakLinks(ModelElement::Impl& element) noexcept {
    try {
        element.basicDisassociateAll();
    } catch (...) {
        // Letting go of references only fails if a class's hook throws; the element is dead either way,
        // and the worst outcome of stopping here is memory kept, never a changed model.
    }
}

void ModelState::release(Record& record, bool pooled) noexcept {
    if (record.storage) {
        if (pooled) m_pool.give(*record.element, record.storage);
        else delete record.storage;
        record.storage = nullptr;
    }
    if (record.owns) record.element->removeRef();
}

void ModelState::commit(std::size_t depth) {
    if (depth != m_depth) throw InvalidOperationException({u"transactions must end innermost first"});
    if (depth == 1) commitOutermost();
    else commitInner(depth - 1);
}

void ModelState::commitInner(std::size_t level) {
    // Old values kept here are also kept below; only creation and destruction move down.
    Level& inner = m_levels[level];
    for (Record& r : inner.records) {
        if (r.flags && !(restoring && level == 1)) ensureOwned(level - 1, *r.element).flags |= r.flags;
        release(r, true);
    }
    closeLevel();
}

void ModelState::closeLevel() noexcept {
    Level& level = m_levels[--m_depth];
    level.records.clear();
    if (!level.lookup.empty()) level.lookup.clear();
}

void ModelState::commitOutermost() {
    Level& level = m_levels.front();
    const bool internal = level.internal;
    const bool revertible = level.revertible;
    const bool recorded = !internal && (recording || revertible) && maxSteps > 0;
    // Kept records leave with the undo step, in a vector of their own size (one allocation, no slack
    // in the history) while the level keeps its room for the next transaction, unless that room is
    // large; records that are not kept give the room back once done with.
    Records records;
    if (recorded && level.records.capacity() <= kKeptRecordCapacity)
        records.assign(level.records.begin(), level.records.end());
    else if (recorded)
        records = std::move(level.records);
    else
        records.swap(level.records);
    closeLevel();
    struct GiveBack {
        ModelState& state;
        Records& records;
        bool active;
        ~GiveBack() {
            // Listeners may have opened a transaction meanwhile; then the level keeps what it has.
            Records& level = state.m_levels.front().records;
            if (!active || state.m_depth != 0 || !level.empty() || records.capacity() > kKeptRecordCapacity)
                return;
            records.clear();
            records.swap(level);
        }
    } giveBack{*this, records, !recorded};

    // Keep what changed: an element both created and destroyed left no trace; a property set and set
    // back is no change.
    std::size_t kept = 0;
    for (Record& r : records) {
        bool changed = r.storage && r.storage->revertUnchanged(r.element);
        bool keep = r.created() != r.destroyed() || (!r.created() && changed);
        if (keep) records[kept++] = r;
        else
            releaseGone(r, true);
    }
    records.resize(kept);
    if (records.empty()) return;

    if (internal) {
        for (Record& r : records) releaseGone(r, true);
        return;
    }
    clearRedo();
    if (recorded) {
        pushStep(UndoStep{std::move(records), 0});
        // Counted now that the snapshots hold their values.
        m_undo.back().bytes = stepBytes(m_undo.back());
        m_historyBytes += m_undo.back().bytes;
        publish(ChangeReport::Cause::Commit, m_undo.back().records, true);
        trimHistory();
    } else {
        struct Releaser {
            ModelState& state;
            Records& records;
            ~Releaser() {
                for (Record& r : records) state.releaseGone(r, true);
            }
        } releaser{*this, records};
        publish(ChangeReport::Cause::Commit, records, true);
    }
    deliverListenerErrors();
}

void ModelState::abandon(std::size_t depth) {
    while (m_depth > depth) abandon(m_depth);
    if (depth == 0 || depth != m_depth) return;
    const std::size_t top = depth - 1;
    Records& records = m_levels[top].records;
    // Elements created at this level leave before destroyed ones come back, so that an identity reused
    // in between is free again.
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (it->created()) kill(*it->element);
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (it->destroyed() && !it->created()) revive(*it->element);
    for (auto it = records.rbegin(); it != records.rend(); ++it) restore(top, *it);
    for (Record& r : records) releaseGone(r, true);
    closeLevel();
}

void ModelState::restore(std::size_t level, Record& record) {
    if (record.storage && record.storage->anyChanged()) record.element->copyStateFromStorage(record.storage);
    if (record.delegated) restoreDelegated(level, record);
}

void ModelState::restoreDelegated(std::size_t level, Record& record) {
    std::uint64_t remaining = record.delegated;
    for (std::size_t j = level; j-- > 0 && remaining;) {
        Record* outer = find(j, *record.element);
        if (!outer || !outer->storage) continue;
        ModelElement::Impl::Storage& storage = *outer->storage;
        std::uint64_t here = 0;
        for (std::size_t i = 0; i < 64; ++i)
            if ((remaining >> i & 1u) && storage.isChanged(i)) here |= std::uint64_t{1} << i;
        if (!here) continue;
        // Restore just these properties from the outer snapshot: narrow its bits for the call.
        ChangeBits& bits = storage.bits();
        std::vector<std::size_t> saved;
        for (std::size_t i = 0; i < bits.count(); ++i)
            if (bits.test(i)) saved.push_back(i);
        bits.clearAll();
        for (std::size_t i = 0; i < 64; ++i)
            if (here >> i & 1u) bits.set(i);
        try {
            record.element->copyStateFromStorage(&storage);
        } catch (...) {
            bits.clearAll();
            for (std::size_t i : saved) bits.set(i);
            throw;
        }
        bits.clearAll();
        for (std::size_t i : saved) bits.set(i);
        remaining &= ~here;
    }
}

}  // namespace fenmo::detail
