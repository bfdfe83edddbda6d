#pragma once
// Helpers shared by the element tests: models with a change log, host pointers that are never
// dereferenced, values of the metamodel's types, exception checks by key, the reflective state of an
// element, and elements that record when the framework snapshots them.

#include <arvelle/treeNode/All.hpp>

#include <fenmo/Builder.hpp>
#include <fenmo/ChangeReport.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace boost {

// Lets GoogleTest print stored property values in failure messages.
template <class T>
void PrintTo(const optional<T>& value, std::ostream* os) {
    if (value) ::testing::internal::UniversalPrint(*value, os);
    if (!value) *os << "none";
}

}  // namespace boost

namespace fenmo {

// Lets GoogleTest print values in failure messages.
inline void PrintTo(const Value& value, std::ostream* os) {
    *os << "Value(" << narrow(value.typeName()) << ", flags " << static_cast<int>(value.getFlags());
    const Value::Payload& p = value.payload();
    if (auto* s = std::get_if<std::u16string>(&p)) *os << ", \"" << toUtf8(*s) << "\"";
    if (auto* i = std::get_if<std::int32_t>(&p)) *os << ", " << *i;
    if (auto* ptr = std::get_if<const void*>(&p)) *os << ", ptr " << *ptr;
    *os << ")";
}

}  // namespace fenmo

namespace elements_test {

using namespace std::string_literals;

namespace fm = ::fenmo;
namespace tn = ::tav::fenmo::treeNode;
namespace S = ::tav::fenmo::treeNode::schema;
using Tag = fm::ReflectionPrivateTag;
// Reflective access as hosts use it: public, and privileged (which may also write protected properties).
inline const fm::Reflection reflect;
inline const fm::Reflection privileged(fm::Access::Privileged);
using Std = fm::meta::StandardTypes;
template <class T>
using opt = boost::optional<T>;

// Distinct host pointers: addresses inside a static array, ordered by index, never dereferenced.
inline TAVBlock* block(int i) {
    static char storage[64];
    return reinterpret_cast<TAVBlock*>(&storage[i]);
}
inline tavPort* port(int i) {
    static char storage[64];
    return reinterpret_cast<tavPort*>(&storage[i]);
}

inline fm::Value text(std::u16string s) {
    return fm::Value::ofString(std::move(s));
}
inline fm::Value emptyOf(const fm::meta::Property& p) {
    return fm::Value(p->getType(), boost::none);
}
inline fm::Value zeroOf(const fm::meta::Property& p) {
    return fm::Value::singleWithoutPayload(p->getType());
}
inline fm::Value blockValue(TAVBlock* b) {
    return fm::Value::ofPointer(S::nativeTypes::TavBlockPtr(), b);
}

// A value of the property's type: the zero value, or `some` value that is neither zero nor absent.
inline fm::Value valueOf(const fm::meta::Property& p, bool some) {
    const fm::meta::Type& t = p->getType();
    if (t.get() == Std::stringMeta().get()) return text(some ? u"x" : u"");
    if (t.get() == Std::booleanMeta().get()) return fm::Value::ofBoolean(some);
    if (t.get() == Std::integerMeta().get()) return fm::Value::ofInteger(some ? INT_MIN : 0);
    if (t.get() == S::nativeTypes::TavBlockPtr().get() || t.get() == S::nativeTypes::TavPortPtr().get())
        return fm::Value::ofPointer(t, some ? block(1) : nullptr);
    return fm::Value::ofEnum(t, some);  // every enumeration of the metamodel has enumerators 0 and 1
}

// One element of each attribute class whose properties are single values.
inline std::vector<fm::ModelElement> singleValuedElements(const fm::Model& model) {
    return {tn::BusTypeElementAttributes::create(model, fm::newUuid()),
            tn::BusTypeRootAttributes::create(model, fm::newUuid()),
            tn::MessageQueueAttributes::create(model, fm::newUuid()),
            tn::PlatformAttributes::create(model, fm::newUuid()),
            tn::PropagationAttributes::create(model, fm::newUuid()),
            tn::SignalAttributes::create(model, fm::newUuid())};
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

// The change a report lists for one property of one element, or null.
inline const fm::PropertyChange* changeOf(const fm::ChangeReport& report, const fm::ModelElement& element,
                                          const fm::meta::Property& property) {
    for (const fm::ElementChange& change : report.modified())
        for (const fm::PropertyChange& pc : change.properties)
            if (change.element.get() == element.get() && pc.property.get() == property.get()) return &pc;
    return nullptr;
}

// The exception of type E that `f` throws, or nothing if it throws none (others propagate).
template <class E, class F>
std::optional<E> thrown(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e;
    }
    return std::nullopt;
}

// `f` must be refused with "InvalidValue" naming `number`, an enumerator that no literal has.
template <class F>
void expectUnknownEnumerator(F&& f, std::int32_t number) {
    auto e = thrown<fm::InvalidValueException>(f);
    ASSERT_TRUE(e.has_value()) << number << " was accepted";
    EXPECT_EQ(e->arguments(), std::vector<std::u16string>{fm::widenNumber(number)});
}

// The properties that have an index (all but the derived ones), in index order.
inline std::vector<fm::meta::Property> storedProperties(const fm::ModelElement& e) {
    std::vector<fm::meta::Property> stored;
    for (const fm::meta::Property& p : e->getMetaClass()->getProperties())
        if (p->hasIndex()) stored.push_back(p);
    return stored;
}

// A reflective write with the privileged tag, which every stored property of these classes accepts.
inline void write(const fm::ModelElement& e, const fm::meta::Property& p, const fm::Value& v) {
    privileged.set(e, p, v);
}

// Whether each stored property is set, and its value read reflectively (collections as their
// entries): two equal states mean the element is exactly as it was.
using State = std::vector<std::pair<bool, fm::Value>>;
inline State stateOf(const fm::ModelElement& element) {
    State state;
    for (const fm::meta::Property& p : storedProperties(element)) {
        fm::Value v = reflect.get(element, p);
        if (v.getFlags() == fm::ValueKind::Set)
            v = fm::Value::ofList(p->getType(), v.getFlags(), v.getEntries());
        state.emplace_back(reflect.has(element, p), std::move(v));
    }
    return state;
}

// An element of class X that records each snapshot the framework takes of it (the property index and
// the transaction depth at that moment), so that tests see what a setter announced and when.
template <class X>
class Recording final : public X::Impl {
public:
    Recording(const fm::Model& model, const fm::uuid& id) : X::Impl(model, id) {}

    void copyValue(fm::ModelElement::Impl::Storage* storage, std::size_t index) const override {
        snapshots.emplace_back(index, this->getModelImpl()->transactionDepth());
        X::Impl::copyValue(storage, index);
    }

    mutable std::vector<std::pair<std::size_t, std::size_t>> snapshots;
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
