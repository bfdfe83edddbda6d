#pragma once
// Helpers shared by the element tests: models with a change log, host pointers that are never
// dereferenced, exception checks by key, a readable form of values, and elements that record when the
// framework snapshots them.

#include <arvelle/treeNode/All.hpp>

#include <fenmo/Builder.hpp>
#include <fenmo/ChangeReport.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace boost {

// Lets GoogleTest print stored property values in failure messages.
template <class T>
void PrintTo(const optional<T>& value, std::ostream* os) {
    if (value)
        ::testing::internal::UniversalPrint(*value, os);
    else
        *os << "none";
}

}  // namespace boost

namespace fenmo {

// Lets GoogleTest print values in failure messages.
inline void PrintTo(const Value& value, std::ostream* os) {
    *os << "Value(" << narrow(value.typeName()) << ", flags " << static_cast<int>(value.getFlags());
    const Value::Payload& p = value.payload();
    if (auto* s = std::get_if<std::u16string>(&p))
        *os << ", \"" << toUtf8(*s) << "\"";
    else if (auto* b = std::get_if<bool>(&p))
        *os << ", " << (*b ? "true" : "false");
    else if (auto* i = std::get_if<std::int32_t>(&p))
        *os << ", " << *i;
    else if (auto* ptr = std::get_if<const void*>(&p))
        *os << ", ptr " << *ptr;
    else if (auto* list = std::get_if<std::shared_ptr<const Value::List>>(&p))
        *os << ", " << (*list)->size() << " entries";
    else if (std::get_if<CollectionView>(&p))
        *os << ", collection";
    else if (std::get_if<ModelElement>(&p))
        *os << ", element";
    *os << ")";
}

}  // namespace fenmo

namespace elements_test {

using namespace std::string_literals;

namespace fm = ::fenmo;
namespace tn = ::tav::fenmo::treeNode;
namespace schema = ::tav::fenmo::treeNode::schema;

inline const fm::ReflectionPrivateTag& standardTag() {
    return fm::ReflectionPrivateTag::standard();
}
inline const fm::ReflectionPrivateTag& privilegedTag() {
    return fm::ReflectionPrivateTag::privileged();
}

inline const fm::meta::Type& stringType() {
    return fm::meta::StandardTypes::stringMeta();
}
inline const fm::meta::Type& integerType() {
    return fm::meta::StandardTypes::integerMeta();
}
inline const fm::meta::Type& booleanType() {
    return fm::meta::StandardTypes::booleanMeta();
}

// Distinct host pointers: addresses inside a static array, ordered by index, never dereferenced.
inline TAVBlock* block(int i) {
    static char storage[64];
    return reinterpret_cast<TAVBlock*>(&storage[i]);
}
inline tavPort* port(int i) {
    static char storage[64];
    return reinterpret_cast<tavPort*>(&storage[i]);
}

// Values of the metamodel's types.
inline fm::Value text(std::u16string s) {
    return fm::Value::ofString(std::move(s));
}
inline fm::Value emptyOf(const fm::meta::Property& property) {
    return fm::Value(property->getType(), boost::none);
}
template <class E>
fm::Value enumValue(const fm::meta::Enum& type, E value) {
    return fm::Value::ofEnum(type, static_cast<std::int32_t>(value));
}

// A model that keeps every change report it publishes.
struct LoggedModel {
    fm::Model model = fm::Model::create();
    std::vector<fm::ChangeReport> reports;
    fm::ListenerToken token = model->addListener([this](const fm::ChangeReport& r) { reports.push_back(r); });

    fm::Model::Impl* operator->() const { return model.get(); }
    // Starts a fresh history and log, so that a test counts only its own steps.
    void forget() {
        model->clearHistory();
        reports.clear();
    }
};

// The changes a report lists for one element, or null.
inline const fm::ElementChange* changesOf(const fm::ChangeReport& report, const fm::ModelElement& element) {
    for (const fm::ElementChange& change : report.modified())
        if (change.element.get() == element.get()) return &change;
    return nullptr;
}
inline const fm::PropertyChange* changeOf(const fm::ChangeReport& report, const fm::ModelElement& element,
                                          const fm::meta::Property& property) {
    if (const fm::ElementChange* change = changesOf(report, element))
        for (const fm::PropertyChange& pc : change->properties)
            if (pc.property.get() == property.get()) return &pc;
    return nullptr;
}

// Runs `f` and returns the exception of type E it throws; a test failure if it throws nothing or
// something else.
template <class E, class F>
std::optional<E> thrown(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "unexpected exception: " << e.what();
        return std::nullopt;
    }
    ADD_FAILURE() << "no exception was thrown";
    return std::nullopt;
}

// The value of every stored property of an element, read reflectively, collections as their entries:
// two equal states mean the element is exactly as it was.
struct PropertyState {
    bool has = false;
    fm::Value value;
    friend bool operator==(const PropertyState& a, const PropertyState& b) {
        return a.has == b.has && a.value == b.value;
    }
    friend void PrintTo(const PropertyState& s, std::ostream* os) {
        *os << (s.has ? "set " : "unset ");
        fm::PrintTo(s.value, os);
    }
};

inline std::size_t storedCount(const fm::meta::Class& cls) {
    std::size_t n = 0;
    for (const fm::meta::Property& p : cls->getProperties())
        if (p->hasIndex()) ++n;
    return n;
}

inline std::vector<PropertyState> stateOf(const fm::ModelElement& element) {
    std::vector<PropertyState> state;
    const std::size_t n = storedCount(element->getMetaClass());
    for (std::size_t i = 1; i <= n; ++i) {
        fm::meta::Property property = element->getPropertyByIndex(i);
        PropertyState s;
        s.has = element->hasPropertyValue(property, standardTag());
        s.value = element->getPropertyValue(property, standardTag());
        if (s.value.getFlags() == fm::ValueFlags::Set || s.value.getFlags() == fm::ValueFlags::Sequence)
            s.value = fm::Value::ofList(property->getType(), s.value.getFlags(), s.value.getEntries());
        state.push_back(std::move(s));
    }
    return state;
}

// An element of class X that records each snapshot the framework takes of it (the property index and
// the transaction depth at that moment), so that tests see what a setter announced and when.
template <class X>
class Recording final : public X::Impl {
public:
    struct Snapshot {
        std::size_t index;
        std::size_t depth;
    };

    Recording(const fm::Model& model, const fm::uuid& id) : X::Impl(model, id) {}

    void copyValue(fm::ModelElement::Impl::Storage* storage, std::size_t index) const override {
        fm::Model::Impl* model = this->getModelImpl();
        snapshots.push_back({index, model ? model->transactionDepth() : 0});
        X::Impl::copyValue(storage, index);
    }

    mutable std::vector<Snapshot> snapshots;
};

// A new recording element of class X, announced in a transaction of its own.
template <class X>
X createRecording(const fm::Model& model, Recording<X>*& recording) {
    fm::Transaction transaction = model->beginTransaction(false);
    recording = new Recording<X>(model, fm::newUuid());
    fm::ModelElement element(recording, true);
    recording->notifyCreated();
    transaction.commit(boost::none);
    return fm::handleCast<X>(element);
}

}  // namespace elements_test
