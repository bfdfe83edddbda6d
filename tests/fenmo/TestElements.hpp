#pragma once
// Two small element classes written by hand on the framework's pattern templates, the way generated
// classes are, and the metamodel they are registered under:
//
//   Part: text (String, optional, 1), rank (Integer, mandatory, 2)
//   Item: label (String, 1), count (Integer, 2), child (contains a Part, 3), spare (contains a Part, 4),
//         sub (contains an Item, 5)

#include <fenmo/Builder.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/meta/AbstractMetaPackage.hpp>
#include <fenmo/pattern/Creation.hpp>
#include <fenmo/pattern/Reflection.hpp>

#include <boost/optional.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fenmo_test {

using fenmo::Model;
using fenmo::ModelElement;
using fenmo::ReflectionPrivateTag;
using fenmo::uuid;
using fenmo::Value;
namespace meta = fenmo::meta;

// The test metamodel, registered once in the framework's registry.
struct TestMeta : private meta::AbstractMetaPackage {
    static const TestMeta& get();

    static const meta::Property& partText() { return get().m_partText; }
    static const meta::Property& partRank() { return get().m_partRank; }
    static const meta::Property& itemLabel() { return get().m_itemLabel; }
    static const meta::Property& itemCount() { return get().m_itemCount; }
    static const meta::Property& itemChild() { return get().m_itemChild; }
    static const meta::Property& itemSpare() { return get().m_itemSpare; }
    static const meta::Property& itemSub() { return get().m_itemSub; }

    meta::Package m_package;
    meta::Class m_part, m_item;
    meta::Property m_partText, m_partRank;
    meta::Property m_itemLabel, m_itemCount, m_itemChild, m_itemSpare, m_itemSub;

    static const std::u16string kUri;

private:
    TestMeta();
    meta::Property property(const meta::Class& owner, const std::u16string& name, fenmo::ValueFlags kind,
                            bool composite, const meta::Type& type, std::size_t index, const char* id);
};

// Calls of the snapshot hooks, so that tests can see how often the framework copies values.
struct HookCounts {
    static inline std::atomic<int> copyValue{0};
    static inline std::atomic<int> copyStateFromStorage{0};
    static void reset() {
        copyValue = 0;
        copyStateFromStorage = 0;
    }
};

class Part : public fenmo::ElementHandle<Part> {
public:
    class Impl;
    class Builder;

    Part() noexcept = default;
    Part(Impl* impl, bool addRef) noexcept;
    static Part create(const Model& model, const uuid& id = uuid());
    static const meta::Class& metaClass();

    // The raw reference operations, public here so that tests can reach them.
    using ModelElement::release;
    using ModelElement::swap;
};

class Part::Impl : public ModelElement::Impl {
public:
    class Storage;

    const boost::optional<std::u16string>& getText() const noexcept { return m_text; }
    void setText(const boost::optional<std::u16string>& value);
    const boost::optional<std::int32_t>& getRank() const noexcept { return m_rank; }
    void setRank(const boost::optional<std::int32_t>& value);

    ~Impl() override;
    const meta::Class& getMetaClass() const override;
    bool hasPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) const override;
    Value getPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) override;
    void setPropertyValue(const meta::Property& property, const Value& value,
                          const ReflectionPrivateTag& tag) override;
    ModelElement::Impl::Storage* createStorage() const override;
    void copyValue(ModelElement::Impl::Storage* storage, std::size_t index) const override;
    void copyStateFromStorage(ModelElement::Impl::Storage* storage) override;
    meta::Property getPropertyByIndex(std::size_t index) override;

private:
    friend class Part;
    Impl(const Model& model, const uuid& id) : ModelElement::Impl(model, id) {}
    Impl(ModelElement::Builder& builder, const uuid& id) : ModelElement::Impl(builder, id) {}

    boost::optional<std::u16string> m_text;
    boost::optional<std::int32_t> m_rank;

public:
    using Properties = fenmo::pattern::PropertyList<
        fenmo::pattern::OptionalValue<&Impl::m_text, 1, &TestMeta::partText, &Impl::setText>,
        fenmo::pattern::OptionalValue<&Impl::m_rank, 2, &TestMeta::partRank, &Impl::setRank>>;
    static constexpr std::size_t kCount = 2;
};

class Part::Impl::Storage : public fenmo::pattern::SnapshotStorage<Part::Impl::Properties> {
public:
    using SnapshotStorage::SnapshotStorage;
    bool revertUnchanged(ModelElement::Impl* element) override;
    Value getOldValue(const meta::Property& property, const ReflectionPrivateTag& tag) override;
};

// Builds Parts; the framework uses it to make proxies.
class Part::Builder : public ModelElement::Builder {
public:
    explicit Builder(const Model& model) : ModelElement::Builder(model, Impl::kCount + 1) {}
    const meta::Class& getMetaClass() const override { return Part::metaClass(); }

protected:
    ModelElement doCreate(bool unannounced, const uuid& id) override;
};

class Item : public fenmo::ElementHandle<Item> {
public:
    class Impl;

    Item() noexcept = default;
    Item(Impl* impl, bool addRef) noexcept;
    static Item create(const Model& model, const uuid& id = uuid());
    static const meta::Class& metaClass();

    using ModelElement::release;
    using ModelElement::swap;
};

class Item::Impl : public ModelElement::Impl {
public:
    class Storage;

    const boost::optional<std::u16string>& getLabel() const noexcept { return m_label; }
    void setLabel(const boost::optional<std::u16string>& value);
    const boost::optional<std::int32_t>& getCount() const noexcept { return m_count; }
    void setCount(const boost::optional<std::int32_t>& value);
    Part getChild();
    void setChild(const Part& value);
    Part getSpare();
    void setSpare(const Part& value);
    Item getSub();
    void setSub(const Item& value);

    ~Impl() override;
    const meta::Class& getMetaClass() const override;
    bool hasPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) const override;
    Value getPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) override;
    void setPropertyValue(const meta::Property& property, const Value& value,
                          const ReflectionPrivateTag& tag) override;
    void doDestroy(bool notify, bool disassociate) override;
    void inverseAdd(const ModelElement& element, const meta::Property& property) override;
    void inverseRemove(const ModelElement& element, const meta::Property& property) override;
    void basicAssociate(const ModelElement& element, const meta::Property& property) override;
    void basicDisassociateAll() override;
    ModelElement::Impl::Storage* createStorage() const override;
    void copyValue(ModelElement::Impl::Storage* storage, std::size_t index) const override;
    void copyStateFromStorage(ModelElement::Impl::Storage* storage) override;
    meta::Property getPropertyByIndex(std::size_t index) override;

private:
    friend class Item;
    Impl(const Model& model, const uuid& id) : ModelElement::Impl(model, id) {}

    boost::optional<std::u16string> m_label;
    boost::optional<std::int32_t> m_count;
    Part m_child;
    Part m_spare;
    Item m_sub;

public:
    using Properties = fenmo::pattern::PropertyList<
        fenmo::pattern::OptionalValue<&Impl::m_label, 1, &TestMeta::itemLabel, &Impl::setLabel>,
        fenmo::pattern::OptionalValue<&Impl::m_count, 2, &TestMeta::itemCount, &Impl::setCount>,
        fenmo::pattern::ContainmentSlot<&Impl::m_child, 3, &TestMeta::itemChild, &Impl::setChild,
                                        &Impl::getChild>,
        fenmo::pattern::ContainmentSlot<&Impl::m_spare, 4, &TestMeta::itemSpare, &Impl::setSpare,
                                        &Impl::getSpare>,
        fenmo::pattern::ContainmentSlot<&Impl::m_sub, 5, &TestMeta::itemSub, &Impl::setSub, &Impl::getSub>>;
    static constexpr std::size_t kCount = 5;
};

class Item::Impl::Storage : public fenmo::pattern::SnapshotStorage<Item::Impl::Properties> {
public:
    using SnapshotStorage::SnapshotStorage;
    bool revertUnchanged(ModelElement::Impl* element) override;
    Value getOldValue(const meta::Property& property, const ReflectionPrivateTag& tag) override;
};

// Short-hands for tests.
inline boost::optional<std::u16string> text(const char16_t* s) {
    return std::u16string(s);
}

}  // namespace fenmo_test
