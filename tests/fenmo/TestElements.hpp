#pragma once
// One element class written by hand on the framework's pattern templates, the way generated classes
// are, and the metamodel it is registered under:
//
//   Node: text (String, optional, 1), number (Integer, optional, 2), child (contains a Node, 3)

#include <fenmo/ModelImpl.hpp>
#include <fenmo/meta/AbstractMetaPackage.hpp>
#include <fenmo/pattern/Creation.hpp>
#include <fenmo/pattern/Reflection.hpp>

#include <boost/optional.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

namespace fenmo_test {

using fenmo::Model;
using fenmo::ModelElement;
using fenmo::ReflectionPrivateTag;
using fenmo::Value;
namespace meta = fenmo::meta;

// The test metamodel, registered once in the framework's registry.
struct TestMeta : private meta::AbstractMetaPackage {
    static const TestMeta& get();
    static const meta::Property& textProp() { return get().m_text; }
    static const meta::Property& numberProp() { return get().m_number; }
    static const meta::Property& childProp() { return get().m_child; }

    meta::Package m_package;
    meta::Class m_node;
    meta::Property m_text, m_number, m_child;

private:
    TestMeta();
};

class Node : public fenmo::ElementHandle<Node> {
public:
    class Impl;

    Node() noexcept = default;
    Node(Impl* impl, bool addRef) noexcept;
    static Node create(const Model& model, const fenmo::uuid& id = fenmo::uuid());
    static const meta::Class& metaClass() { return TestMeta::get().m_node; }

    using ModelElement::release;  // public here so that tests can reach it
};

class Node::Impl : public ModelElement::Impl {
public:
    class Storage;

    const boost::optional<std::u16string>& getText() const noexcept { return m_text; }
    void setText(const boost::optional<std::u16string>& value) {
        fenmo::pattern::setOptional(*this, m_text, value, 1);
    }
    const boost::optional<std::int32_t>& getNumber() const noexcept { return m_number; }
    void setNumber(const boost::optional<std::int32_t>& value) {
        fenmo::pattern::setOptional(*this, m_number, value, 2);
    }
    Node getChild() { return fenmo::pattern::readSlot(*this, m_child); }
    void setChild(const Node& value);

    ~Impl() override;
    const meta::Class& getMetaClass() const override { return Node::metaClass(); }
    Value getPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) override;
    void setPropertyValue(const meta::Property& property, const Value& value,
                          const ReflectionPrivateTag& tag) override;
    void doDestroy(bool notify, bool disassociate) override;
    void inverseAdd(const ModelElement& element, const meta::Property& property) override;
    void inverseRemove(const ModelElement& element, const meta::Property& property) override;
    void basicDisassociateAll() override;
    ModelElement::Impl::Storage* createStorage() const override;
    void copyValue(ModelElement::Impl::Storage* storage, std::size_t index) const override;
    void copyStateFromStorage(ModelElement::Impl::Storage* storage) override;
    meta::Property getPropertyByIndex(std::size_t index) override;

private:
    friend class Node;
    Impl(const Model& model, const fenmo::uuid& id) : ModelElement::Impl(model, id) {}

    boost::optional<std::u16string> m_text;
    boost::optional<std::int32_t> m_number;
    Node m_child;

public:
    using Properties = fenmo::pattern::PropertyList<
        fenmo::pattern::OptionalValue<&Impl::m_text, 1, &TestMeta::textProp, &Impl::setText>,
        fenmo::pattern::OptionalValue<&Impl::m_number, 2, &TestMeta::numberProp, &Impl::setNumber>,
        fenmo::pattern::ContainmentSlot<&Impl::m_child, 3, &TestMeta::childProp, &Impl::setChild,
                                        &Impl::getChild>>;
};

class Node::Impl::Storage : public fenmo::pattern::SnapshotStorage<Node::Impl::Properties> {
public:
    using SnapshotStorage::SnapshotStorage;
    bool revertUnchanged(ModelElement::Impl* element) override;
    Value getOldValue(const meta::Property& property, const ReflectionPrivateTag& tag) override;
};

}  // namespace fenmo_test
