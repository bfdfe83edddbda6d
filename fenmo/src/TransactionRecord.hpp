#pragma once
// What a transaction level knows about one element: whether the element was created or destroyed at
// that level, and where the values its properties had when the level began are kept.

#include <fenmo/ElementAllocator.hpp>
#include <fenmo/ModelElement.hpp>

#include <cstdint>
#include <vector>

namespace fenmo::detail {

struct Record {
    static constexpr std::uint8_t kCreated = 1;
    static constexpr std::uint8_t kDestroyed = 2;

    ModelElement::Impl* element;
    // Old values taken at this level; at inner levels a pooled snapshot, at the outermost the undo record.
    ModelElement::Impl::Storage* storage = nullptr;
    // Properties (index < 64) changed at this level whose old value an outer level already keeps.
    std::uint64_t delegated = 0;
    std::uint8_t flags = 0;
    // Whether the record holds a reference. Records of the outermost level and records of creation and
    // destruction do; other records of inner levels need none, since a record below keeps the element.
    bool owns = false;

    bool created() const noexcept { return flags & kCreated; }
    bool destroyed() const noexcept { return flags & kDestroyed; }
    bool covers(std::size_t index) const noexcept {
        return created() || (storage && storage->isChanged(index)) ||
               (index < 64 && (delegated >> index & 1u));
    }
};

// The records of a level or an undo step. A history keeps one such vector per step, most of them a
// few records long: pooled blocks spare each its heap header and the heap's calls.
using Records = std::vector<Record, PooledAllocator<Record>>;

}  // namespace fenmo::detail
