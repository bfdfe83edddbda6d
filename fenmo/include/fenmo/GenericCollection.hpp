#pragma once
// Element-neutral access to the framework's element collections, for callers that know elements only
// as ModelElement (scripting bindings, editors). Every element handed in is tested against the
// collection's element class first.

#include <fenmo/Export.hpp>
#include <fenmo/Collection.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Class.hpp>

#include <cstddef>

FENMO_API_BEGIN

namespace fenmo {

class GenericCollectionInterface {
public:
    virtual ~GenericCollectionInterface() = default;
    virtual std::size_t size() const = 0;
    // The element at position i, in the collection's order.
    virtual ModelElement get(std::size_t i) const = 0;
    // Adds an element (an empty or destroyed one is ignored).
    virtual void add(const ModelElement& element) = 0;
    virtual bool remove(const ModelElement& element) = 0;
    virtual void clear() = 0;
    virtual const meta::Class& elementClass() const = 0;
};

class GenericSequenceInterface : public GenericCollectionInterface {
public:
    // A reference to one position; assigning through it replaces the element there.
    class Position {
    public:
        Position(GenericSequenceInterface& sequence, std::size_t index) : m_sequence(&sequence), m_index(index) {}
        ModelElement get() const { return m_sequence->get(m_index); }
        // An empty or destroyed element is refused ("CannotAddNonExistentObject").
        Position& operator=(const ModelElement& element) {
            m_sequence->replaceThroughPosition(m_index, element);
            return *this;
        }

    private:
        GenericSequenceInterface* m_sequence;
        std::size_t m_index;
    };

    virtual void insert(std::size_t i, const ModelElement& element) = 0;
    // Replaces the element at i (an empty or destroyed element is ignored).
    virtual void replace(std::size_t i, const ModelElement& element) = 0;
    virtual void erase(std::size_t i) = 0;
    Position at(std::size_t i) { return Position(*this, i); }

protected:
    virtual void replaceThroughPosition(std::size_t i, const ModelElement& element) = 0;
};

namespace detail {

// Refuses a position outside [0, end) with "InvalidValue" naming the position.
inline void checkPosition(std::size_t position, std::size_t end) {
    if (position >= end)
        throw InvalidValueException({u"position " + widenNumber(static_cast<long long>(position))});
}

// Refuses an element whose class is not `expected` or derived from it.
inline void checkElementClass(const ModelElement& element, const meta::Class& expected) {
    const meta::Class& actual = element->getMetaClass();
    if (!actual.get() || !actual->conformsTo(expected))
        throw CannotAddIncompatibleTypesException(
            {actual.get() ? actual->getQualifiedName() : std::u16string(), expected->getQualifiedName()});
}

}  // namespace detail

}  // namespace fenmo

FENMO_API_END
