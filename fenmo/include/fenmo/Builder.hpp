#pragma once
// Builders: collect property values (and builders of contained elements), then create the element with
// everything in place, a whole subtree in one orchestration and one commit.

#include <fenmo/Export.hpp>
#include <fenmo/ModelImpl.hpp>

#include <boost/container/small_vector.hpp>

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

class ModelElement::Builder {
public:
    class Orchestrator;

    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;
    virtual ~Builder();

    virtual const meta::Class& getMetaClass() const = 0;
    // Reflective setters for properties the class does not take: the framework refuses them with
    // "InvalidValue" naming the property.
    virtual void setOrAdd(const meta::Property& property, std::unique_ptr<Builder>& nested);
    virtual void setOrAdd(const meta::Property& property, const Value& value);

    // Creates the element with the given identity (nil: the framework chooses one).
    ModelElement create(const uuid& id);
    // Builds the element without announcing it to the model or creating what it contains (proxies).
    ModelElement createUnannounced(const uuid& id);

    const Model& getModel() const noexcept { return m_model; }
    void setModel(const Model& model) { m_model = model; }

    // Bit i says whether property index i was given a value.
    bool isSet(std::size_t index) const noexcept { return m_bits.test(index); }
    void markSet(std::size_t index) noexcept { m_bits.set(index); }
    void markUnset(std::size_t index) noexcept { m_bits.clear(index); }
    std::size_t bitCount() const noexcept { return m_bits.count(); }

    Orchestrator* getOrchestrator() const noexcept { return m_orchestrator; }

    // The identity the element of a nested builder gets (nil: the framework chooses one), so that a
    // whole tree can be rebuilt with the identities it was saved with.
    void setIdentity(const uuid& id) noexcept { m_identity = id; }
    const uuid& getIdentity() const noexcept { return m_identity; }

protected:
    explicit Builder(std::size_t bitCount) : m_bits(bitCount) {}
    Builder(const Model& model, std::size_t bitCount) : m_model(model), m_bits(bitCount) {}

    // Builds the element; with `unannounced` it is neither announced nor cascaded.
    virtual ModelElement doCreate(bool unannounced, const uuid& id) = 0;

private:
    friend class Orchestrator;
    Model m_model;
    ChangeBits m_bits;
    Orchestrator* m_orchestrator = nullptr;
    uuid m_identity{};
};

// One creation of a tree of builders: a transaction on the model, and the element made from each
// builder, so that asking a builder twice yields the same element.
class ModelElement::Builder::Orchestrator {
public:
    // Opens the transaction on `root`'s model ("CannotCreateWithoutModel" if it has none).
    explicit Orchestrator(Builder& root);
    Orchestrator(const Orchestrator&) = delete;
    Orchestrator& operator=(const Orchestrator&) = delete;
    // Releases the builders; the transaction is abandoned unless committed.
    ~Orchestrator();

    // Makes `builder` part of this orchestration.
    void addBuilder(Builder* builder);
    // The element created from `builder` in this orchestration, or an empty handle.
    ModelElement getCreatedElement(const Builder* builder) const;
    void setCreatedElement(const Builder* builder, const ModelElement& element);
    void commit();

private:
    static constexpr std::size_t kLinearSearchLimit = 16;
    Transaction m_transaction;
    // Most orchestrations create a handful of elements: no allocation for those.
    boost::container::small_vector<Builder*, 4> m_builders;
    boost::container::small_vector<std::pair<const Builder*, ModelElement>, 4> m_created;
    std::unordered_map<const Builder*, std::size_t> m_index;
};

}  // namespace fenmo

FENMO_API_END
