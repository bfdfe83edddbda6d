#include "core/Real.hpp"

#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Text.hpp>

#include <algorithm>
#include <array>
#include <type_traits>

namespace checker {

namespace {

using ::fenmo::Value;
namespace meta = ::fenmo::meta;

template <class X>
ModelElement createOf(const ::fenmo::Model& model, const ::fenmo::uuid& id) {
    return X::create(model, id);
}

struct ClassAccess {
    const meta::Class& (*metaClass)();
    ModelElement (*create)(const ::fenmo::Model&, const ::fenmo::uuid&);
    std::unique_ptr<ModelElement::Builder> (*builder)();
};

template <class X>
ClassAccess access() {
    return {&X::metaClass, &createOf<X>,
            [] { return std::unique_ptr<ModelElement::Builder>(new typename X::Builder()); }};
}

const ClassAccess& classAccess(Kind kind) {
    static const std::array<ClassAccess, kKindCount> classes{
        access<tn::BlockAttributes>(),        access<tn::BusTypeElementAttributes>(),
        access<tn::BusTypeRootAttributes>(),  access<tn::ChildAttributes>(),
        access<tn::MessageQueueAttributes>(), access<tn::ParentAttributes>(),
        access<tn::PlatformAttributes>(),     access<tn::PropagationAttributes>(),
        access<tn::SignalAttributes>(),       access<tn::TreeNode>()};
    return classes[static_cast<std::size_t>(kind)];
}

// ---- Typed setters: one per property of the classes with public setters, in index order.

template <class T>
boost::optional<T> toOptional(const OptionalScalar& value) {
    if (!value) return boost::none;
    if constexpr (std::is_same_v<T, std::u16string> || std::is_same_v<T, bool>)
        return std::get<T>(*value);
    else if constexpr (std::is_same_v<T, int>)
        return std::get<std::int32_t>(*value);
    else if constexpr (std::is_enum_v<T>)
        return static_cast<T>(std::get<EnumValue>(*value).value);
    else
        return reinterpret_cast<T>(std::get<Pointer>(*value).address);
}

template <auto Setter>
struct Typed;
template <class Impl, class T, void (Impl::*Setter)(const boost::optional<T>&)>
struct Typed<Setter> {
    static void set(ModelElement::Impl& element, const OptionalScalar& value) {
        (static_cast<Impl&>(element).*Setter)(toOptional<T>(value));
    }
};

using TypedSetter = void (*)(ModelElement::Impl&, const OptionalScalar&);

const std::vector<TypedSetter>& typedSetters(Kind kind) {
    using S = tn::SignalAttributes::Impl;
    using M = tn::MessageQueueAttributes::Impl;
    using P = tn::PlatformAttributes::Impl;
    using G = tn::PropagationAttributes::Impl;
    static const std::vector<TypedSetter> signal{&Typed<&S::setComplexity>::set,
                                                 &Typed<&S::setMin>::set,
                                                 &Typed<&S::setMax>::set,
                                                 &Typed<&S::setUnit>::set,
                                                 &Typed<&S::setDataType>::set,
                                                 &Typed<&S::setDims>::set,
                                                 &Typed<&S::setDimsMode>::set,
                                                 &Typed<&S::setSampleTime>::set,
                                                 &Typed<&S::setVirtuality>::set,
                                                 &Typed<&S::setDataMode>::set,
                                                 &Typed<&S::setValueType>::set,
                                                 &Typed<&S::setDesc>::set,
                                                 &Typed<&S::setOutputSignalName>::set,
                                                 &Typed<&S::setInitialOutput>::set,
                                                 &Typed<&S::setOutputWhenDisabled>::set};
    static const std::vector<TypedSetter> messageQueue{
        &Typed<&M::setUseDefaultAttrs>::set, &Typed<&M::setQueueCapacity>::set, &Typed<&M::setQueueType>::set,
        &Typed<&M::setQueueOverwriting>::set};
    static const std::vector<TypedSetter> platform{&Typed<&P::setQosType>::set, &Typed<&P::setDataNode>::set};
    static const std::vector<TypedSetter> propagation{
        &Typed<&G::setPartialInfo>::set,    &Typed<&G::setGroundSource>::set,
        &Typed<&G::setTrivialBusName>::set, &Typed<&G::setTavBusOrigSrc>::set,
        &Typed<&G::setTavBusSrc>::set,      &Typed<&G::setTavBusSrcOPort>::set,
        &Typed<&G::setTavBusDst>::set,      &Typed<&G::setTavBusDstIPort>::set,
        &Typed<&G::setIsMessage>::set};
    static const std::vector<TypedSetter> none;
    switch (kind) {
        case Kind::SignalAttributes:
            return signal;
        case Kind::MessageQueueAttributes:
            return messageQueue;
        case Kind::PlatformAttributes:
            return platform;
        case Kind::PropagationAttributes:
            return propagation;
        default:
            return none;
    }
}

std::string utf8(std::u16string_view text) {
    return ::fenmo::toUtf8(text);
}

std::string realIdText(const ModelElement& element, const Pool& pool) {
    if (!element.get()) return "-";
    Id id = pool.idOf(element.get());
    return id ? idText(id) : "?" + ::fenmo::toString(element->getUuid());
}

}  // namespace

const meta::Class& metaClassOf(Kind kind) {
    return classAccess(kind).metaClass();
}

const meta::Property& propertyOf(Kind kind, int index) {
    static const auto tables = [] {
        std::array<std::vector<meta::Property>, kKindCount> t;
        for (int k = 0; k < kKindCount; ++k) {
            for (const meta::Property& p : metaClassOf(static_cast<Kind>(k))->getProperties()) {
                if (!p->hasIndex()) continue;
                if (t[k].size() < p->getIndex()) t[k].resize(p->getIndex());
                t[k][p->getIndex() - 1] = p;
            }
        }
        return t;
    }();
    return tables[static_cast<std::size_t>(kind)].at(static_cast<std::size_t>(index - 1));
}

meta::Property propertyNamed(Kind kind, std::u16string_view name) {
    return metaClassOf(kind)->findProperty(name);
}

bool kindOf(const ModelElement& element, Kind& kind) {
    const meta::Class::Impl* cls = element.get() ? element->getMetaClass().get() : nullptr;
    for (int k = 0; k < kKindCount; ++k)
        if (metaClassOf(static_cast<Kind>(k)).get() == cls) {
            kind = static_cast<Kind>(k);
            return true;
        }
    return false;
}

Value valueOf(Kind kind, int index, const OptionalScalar& value) {
    const meta::Property& p = propertyOf(kind, index);
    if (!value) return Value(p->getType(), boost::none);
    struct Visitor {
        const meta::Property& p;
        Value operator()(const std::u16string& s) const { return Value::ofString(s); }
        Value operator()(bool b) const { return Value::ofBoolean(b); }
        Value operator()(std::int32_t i) const { return Value::ofInteger(i); }
        Value operator()(EnumValue e) const { return Value::ofEnum(p->getType(), e.value); }
        Value operator()(Pointer a) const {
            return Value::ofPointer(p->getType(), reinterpret_cast<const void*>(a.address));
        }
    };
    return std::visit(Visitor{p}, *value);
}

Value zeroValueOf(Kind kind, int index) {
    return Value::singleWithoutPayload(propertyOf(kind, index)->getType());
}

OptionalScalar zeroOf(ScalarKind kind) {
    switch (kind) {
        case ScalarKind::Text:
            return Scalar(std::u16string());
        case ScalarKind::Bool:
            return Scalar(false);
        case ScalarKind::Int:
            return Scalar(std::int32_t{0});
        case ScalarKind::Enum:
            return Scalar(EnumValue{0});
        default:
            return Scalar(Pointer{0});
    }
}

Value wrongValueOf(Kind kind, int index) {
    if (kind == Kind::ChildAttributes) return index == 1 ? Value::ofInteger(7) : Value::ofString(u"7");
    return scalarClass(kind).properties.at(static_cast<std::size_t>(index - 1)).kind == ScalarKind::Text
               ? Value::ofInteger(7)
               : Value::ofString(u"7");
}

void setTyped(ModelElement::Impl& element, Kind kind, int index, const OptionalScalar& value) {
    typedSetters(kind).at(static_cast<std::size_t>(index - 1))(element, value);
}

ModelElement getSlot(tn::TreeNode::Impl& n, int slot) {
    switch (slot) {
        case 1:
            return n.getParentAttrs();
        case 2:
            return n.getChildAttrs();
        case 3:
            return n.getSignalAttrs();
        case 4:
            return n.getBusTypeRootAttrs();
        case 5:
            return n.getBusTypeElementAttrs();
        case 6:
            return n.getBlockAttrs();
        case 7:
            return n.getPropAttrs();
        case 8:
            return n.getMsgQueueAttrs();
        case 9:
            return n.getInheritedParentAttrs();
        default:
            return n.getPlatformAttrs();
    }
}

void setSlotTyped(tn::TreeNode::Impl& n, int slot, const ModelElement& v) {
    using ::fenmo::uncheckedHandleCast;
    switch (slot) {
        case 1:
            return n.setParentAttrs(uncheckedHandleCast<tn::ParentAttributes>(v));
        case 2:
            return n.setChildAttrs(uncheckedHandleCast<tn::ChildAttributes>(v));
        case 3:
            return n.setSignalAttrs(uncheckedHandleCast<tn::SignalAttributes>(v));
        case 4:
            return n.setBusTypeRootAttrs(uncheckedHandleCast<tn::BusTypeRootAttributes>(v));
        case 5:
            return n.setBusTypeElementAttrs(uncheckedHandleCast<tn::BusTypeElementAttributes>(v));
        case 6:
            return n.setBlockAttrs(uncheckedHandleCast<tn::BlockAttributes>(v));
        case 7:
            return n.setPropAttrs(uncheckedHandleCast<tn::PropagationAttributes>(v));
        case 8:
            return n.setMsgQueueAttrs(uncheckedHandleCast<tn::MessageQueueAttributes>(v));
        case 9:
            return n.setInheritedParentAttrs(uncheckedHandleCast<tn::ParentAttributes>(v));
        default:
            return n.setPlatformAttrs(uncheckedHandleCast<tn::PlatformAttributes>(v));
    }
}

ModelElement createIntoSlot(tn::TreeNode::Impl& n, int slot, ModelElement::Builder* b,
                            const ::fenmo::uuid& id) {
    switch (slot) {
        case 1:
            return n.createIntoParentAttrs(b, id);
        case 2:
            return n.createIntoChildAttrs(b, id);
        case 3:
            return n.createIntoSignalAttrs(b, id);
        case 4:
            return n.createIntoBusTypeRootAttrs(b, id);
        case 5:
            return n.createIntoBusTypeElementAttrs(b, id);
        case 6:
            return n.createIntoBlockAttrs(b, id);
        case 7:
            return n.createIntoPropAttrs(b, id);
        case 8:
            return n.createIntoMsgQueueAttrs(b, id);
        case 9:
            return n.createIntoInheritedParentAttrs(b, id);
        default:
            return n.createIntoPlatformAttrs(b, id);
    }
}

ModelElement createElement(Kind kind, const ::fenmo::Model& model, const ::fenmo::uuid& id) {
    return classAccess(kind).create(model, id);
}

// ---- Pool

void Pool::add(Id id, const ModelElement& element) {
    if (m_handles.size() <= static_cast<std::size_t>(id)) m_handles.resize(static_cast<std::size_t>(id) + 1);
    m_handles[static_cast<std::size_t>(id)] = element;
    m_ids[element.get()] = id;
}

Id Pool::idOf(const ModelElement::Impl* element) const {
    auto it = m_ids.find(element);
    return it == m_ids.end() ? 0 : it->second;
}

void Pool::clear() {
    m_ids.clear();
    m_handles.clear();
}

// ---- Builders

std::unique_ptr<ModelElement::Builder> makeBuilder(const BuilderPlan& plan,
                                                   const std::function<ModelElement(const Ref&)>& handleOf) {
    std::unique_ptr<ModelElement::Builder> builder = classAccess(plan.kind).builder();
    if (plan.kind == Kind::ChildAttributes) {
        auto& child = static_cast<tn::ChildAttributes::Builder&>(*builder);
        for (const BuilderPlan::Call& call : plan.calls) {
            if (call.index == 1) {
                if (call.unset)
                    child.unsetName();
                else
                    child.setName(std::get<std::u16string>(*call.value));
            } else {
                if (call.unset)
                    child.unsetIndexOne();
                else
                    child.setIndexOne(std::get<std::int32_t>(*call.value));
            }
        }
        if (!plan.attrsOfParent.isNone())
            child.setAttrsOfParent(
                ::fenmo::uncheckedHandleCast<tn::ParentAttributes>(handleOf(plan.attrsOfParent)));
    } else {
        for (const BuilderPlan::Call& call : plan.calls) {
            if (call.unset)
                builder->markUnset(static_cast<std::size_t>(call.index));
            else
                builder->setOrAdd(propertyOf(plan.kind, call.index),
                                  valueOf(plan.kind, call.index, call.value));
        }
    }
    if (plan.kind == Kind::ParentAttributes) {
        auto& parent = static_cast<tn::ParentAttributes::Builder&>(*builder);
        for (const BuilderPlan& child : plan.children) parent.addChildren(makeBuilder(child, handleOf));
        for (const Ref& ca : plan.attrsOfChildren)
            if (!ca.isNone())
                parent.addAttrsOfChildren(::fenmo::uncheckedHandleCast<tn::ChildAttributes>(handleOf(ca)));
    }
    if (plan.kind == Kind::BlockAttributes)
        for (std::uintptr_t block : plan.blocks)
            static_cast<tn::BlockAttributes::Builder&>(*builder).addTavBlocks(
                reinterpret_cast<TAVBlock*>(block));
    for (const auto& [slot, nested] : plan.slots) {
        std::unique_ptr<ModelElement::Builder> inner = makeBuilder(nested, handleOf);
        builder->setOrAdd(propertyOf(Kind::TreeNode, slot), inner);
    }
    // Refused while the builder is filled: the caller sees the exception and nothing is created.
    if (plan.wrongTypedValue) builder->setOrAdd(propertyOf(plan.kind, 1), wrongValueOf(plan.kind, 1));
    if (plan.wrongClassNested) {
        std::unique_ptr<ModelElement::Builder> misfit = classAccess(Kind::BlockAttributes).builder();
        builder->setOrAdd(propertyOf(Kind::TreeNode, 3), misfit);
    }
    return builder;
}

// ---- Descriptions

std::string valueText(const Value& value, const Pool& pool) {
    if (value.getMeta().isCollection()) {
        std::vector<std::string> items;
        for (const Value& entry : value.getEntries()) items.push_back(valueText(entry, pool));
        return listText(items);
    }
    const Value::Payload& p = value.payload();
    if (const auto* s = std::get_if<std::u16string>(&p)) return scalarText(Scalar(*s));
    if (const auto* b = std::get_if<bool>(&p)) return scalarText(Scalar(*b));
    if (const auto* i = std::get_if<std::int32_t>(&p)) {
        return ::fenmo::internal::isEnumType(value.getType()) ? scalarText(Scalar(EnumValue{*i}))
                                                              : scalarText(Scalar(*i));
    }
    if (const auto* a = std::get_if<const void*>(&p))
        return scalarText(Scalar(Pointer{reinterpret_cast<std::uintptr_t>(*a)}));
    if (const auto* e = std::get_if<ModelElement>(&p)) return realIdText(*e, pool);
    if (!value.hasPayload()) return value.getFlags() == ::fenmo::ValueFlags::Single ? "zero" : "-";
    return "(value)";
}

std::string elementText(const ModelElement& element, const Pool& pool) {
    Kind kind;
    if (!kindOf(element, kind)) return realIdText(element, pool) + " of an unknown class";
    std::string line = realIdText(element, pool) + " " + std::string(kindName(kind)) + " in ";
    ModelElement container = element->container();
    line += realIdText(container, pool);
    if (container.get()) line += "." + std::to_string(element->containingProperty()->getIndex());
    const auto& standard = ::fenmo::ReflectionPrivateTag::standard();
    switch (kind) {
        case Kind::TreeNode: {
            auto& node = static_cast<tn::TreeNode::Impl&>(*element.get());
            std::vector<std::string> slots;
            for (int i = 1; i <= 10; ++i) slots.push_back(realIdText(getSlot(node, i), pool));
            line += " slots " + listText(slots) + (node.getIsInherited() ? " inherited" : "");
            break;
        }
        case Kind::ChildAttributes: {
            auto& child = static_cast<tn::ChildAttributes::Impl&>(*element.get());
            line += " name " + scalarText(Scalar(child.getName())) + " index " +
                    std::to_string(child.getIndexOne()) + " of " +
                    realIdText(child.getAttrsOfParent(), pool) + " parent " +
                    realIdText(child.getParent(), pool);
            break;
        }
        case Kind::ParentAttributes: {
            auto& parent = static_cast<tn::ParentAttributes::Impl&>(*element.get());
            std::vector<std::string> children, entries;
            for (const tn::TreeNode& child : parent.getChildren())
                children.push_back(realIdText(child, pool));
            for (const tn::ChildAttributes& ca : parent.getAttrsOfChildren()) {
                std::string entry = realIdText(ca, pool) + ":" + std::to_string(ca->getIndexOne()) + ":" +
                                    scalarText(Scalar(ca->getName()));
                if (parent.findChildByIndex(ca->getIndexOne()).get() != ca.get() ||
                    parent.findChildByName(ca->getName()).get() != ca.get())
                    entry += "(lookup)";
                entries.push_back(entry);
            }
            line += " children " + listText(children) + " map " + listText(entries);
            break;
        }
        case Kind::BlockAttributes: {
            std::vector<std::string> blocks;
            for (TAVBlock* block : static_cast<tn::BlockAttributes::Impl&>(*element.get()).getTavBlocks())
                blocks.push_back(scalarText(Scalar(Pointer{reinterpret_cast<std::uintptr_t>(block)})));
            line += " tavBlocks=" + listText(blocks);
            break;
        }
        default: {
            const ClassInfo& info = scalarClass(kind);
            for (std::size_t i = 0; i < info.properties.size(); ++i) {
                const meta::Property& p = propertyOf(kind, static_cast<int>(i + 1));
                std::string text = valueText(element->getPropertyValue(p, standard), pool);
                if (element->hasPropertyValue(p, standard) != (text != "-")) text += "(has)";
                line += " " + utf8(info.properties[i].name) + "=" + text;
            }
        }
    }
    return line;
}

namespace {

OptionalScalar scalarOf(const Value& value, std::string& anomaly) {
    const Value::Payload& p = value.payload();
    if (const auto* s = std::get_if<std::u16string>(&p)) return Scalar(*s);
    if (const auto* b = std::get_if<bool>(&p)) return Scalar(*b);
    if (const auto* i = std::get_if<std::int32_t>(&p))
        return ::fenmo::internal::isEnumType(value.getType()) ? Scalar(EnumValue{*i}) : Scalar(*i);
    if (const auto* a = std::get_if<const void*>(&p))
        return Scalar(Pointer{reinterpret_cast<std::uintptr_t>(*a)});
    if (value.hasPayload() || value.getFlags() != ::fenmo::ValueFlags::Optional)
        anomaly = "a value of an unexpected form";
    return std::nullopt;
}

}  // namespace

State readState(const ::fenmo::Model& model, const Pool& pool, std::vector<std::string>& anomalies) {
    State state;
    const auto& standard = ::fenmo::ReflectionPrivateTag::standard();
    auto idOf = [&](const ModelElement& e) -> Id {
        if (!e.get()) return 0;
        if (Id id = pool.idOf(e.get())) return id;
        anomalies.push_back("an element the checker does not know is held: " + realIdText(e, pool));
        return -1;
    };
    std::vector<std::pair<Id, tn::ParentAttributes::Impl*>> parents;
    std::vector<std::pair<Id, tn::ChildAttributes::Impl*>> children;
    for (const ModelElement& element : model->elements()) {
        const Id id = idOf(element);
        Element e;
        if (!kindOf(element, e.kind)) {
            anomalies.push_back("an element of an unknown class: " + realIdText(element, pool));
            continue;
        }
        if (ModelElement container = element->container(); container.get())
            e.container = {idOf(container), static_cast<int>(element->containingProperty()->getIndex())};
        switch (e.kind) {
            case Kind::TreeNode: {
                auto& node = static_cast<tn::TreeNode::Impl&>(*element.get());
                for (int i = 1; i <= 10; ++i)
                    e.slots[static_cast<std::size_t>(i - 1)] = idOf(getSlot(node, i));
                if (node.getIsInherited() != static_cast<bool>(node.getInheritedParentAttrs()))
                    anomalies.push_back(idText(id) + " isInherited disagrees with inheritedParentAttrs");
                break;
            }
            case Kind::ChildAttributes: {
                auto& child = static_cast<tn::ChildAttributes::Impl&>(*element.get());
                e.name = child.getName();
                e.indexOne = child.getIndexOne();
                e.attrsOfParent = idOf(child.getAttrsOfParent());
                children.emplace_back(id, &child);
                break;
            }
            case Kind::ParentAttributes: {
                auto& parent = static_cast<tn::ParentAttributes::Impl&>(*element.get());
                for (const tn::TreeNode& child : parent.getChildren()) e.children.push_back(idOf(child));
                parents.emplace_back(id, &parent);
                break;
            }
            case Kind::BlockAttributes:
                for (TAVBlock* block : static_cast<tn::BlockAttributes::Impl&>(*element.get()).getTavBlocks())
                    e.blocks.push_back(reinterpret_cast<std::uintptr_t>(block));
                break;
            default: {
                const std::size_t count = scalarClass(e.kind).properties.size();
                e.values.resize(count);
                for (std::size_t i = 0; i < count; ++i) {
                    const meta::Property& p = propertyOf(e.kind, static_cast<int>(i + 1));
                    std::string anomaly;
                    e.values[i] = scalarOf(element->getPropertyValue(p, standard), anomaly);
                    if (element->hasPropertyValue(p, standard) != e.values[i].has_value())
                        anomaly = "has disagrees with the value";
                    if (!anomaly.empty())
                        anomalies.push_back(idText(id) + " " + utf8(scalarClass(e.kind).properties[i].name) +
                                            ": " + anomaly);
                }
            }
        }
        if (id > 0) state.elements.emplace(id, std::move(e));
    }
    // What the reference derives: each keyed map from the child attributes, each parent from the map's owner.
    for (auto [id, parent] : parents) {
        std::vector<Id> map;
        for (const tn::ChildAttributes& ca : parent->getAttrsOfChildren()) {
            map.push_back(idOf(ca));
            if (parent->findChildByIndex(ca->getIndexOne()).get() != ca.get() ||
                parent->findChildByName(ca->getName()).get() != ca.get())
                anomalies.push_back(idText(id) + " finds " + realIdText(ca, pool) + " not under its keys");
        }
        if (map != state.childMap(id))
            anomalies.push_back(idText(id) + " holds the map " +
                                elementText(ModelElement(parent, true), pool) +
                                " while the child attributes naming it are different");
    }
    for (auto [id, child] : children) {
        // A parent attributes object that is not alive (a broken model) has no parent to compare with.
        const Id held = id > 0 ? state.elements.at(id).attrsOfParent : 0;
        const Id parent = state.alive(held) ? state.parentOf(id) : 0;
        if (state.alive(held) && idOf(child->getParent()) != parent)
            anomalies.push_back(idText(id) + " getParent disagrees");
    }
    return state;
}

std::vector<std::string> describeReal(const ::fenmo::Model& model, const Pool& pool) {
    std::vector<std::pair<Id, std::string>> lines;
    for (const ModelElement& element : model->elements()) {
        Id id = pool.idOf(element.get());
        lines.emplace_back(id ? id : INT32_MAX, elementText(element, pool));
    }
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> out;
    for (auto& [id, line] : lines) out.push_back(std::move(line));
    return out;
}

Report reportOf(const ::fenmo::ChangeReport& report, const Pool& pool) {
    using Cause = ::fenmo::ChangeReport::Cause;
    Report r{report.cause() == Cause::Commit ? "commit"
             : report.cause() == Cause::Undo ? "undo"
                                             : "redo",
             {},
             {},
             {}};
    auto idOf = [&](const ModelElement& e) {
        Id id = pool.idOf(e.get());
        return id ? id : -1;
    };
    for (const ModelElement& e : report.created()) r.created.push_back(idOf(e));
    for (const ModelElement& e : report.destroyed()) r.destroyed.push_back(idOf(e));
    std::sort(r.created.begin(), r.created.end());
    std::sort(r.destroyed.begin(), r.destroyed.end());
    for (const ::fenmo::ElementChange& change : report.modified())
        for (const ::fenmo::PropertyChange& pc : change.properties)
            r.modified.push_back({idOf(change.element), utf8(pc.property->getName()),
                                  valueText(pc.oldValue, pool), valueText(pc.newValue, pool)});
    std::stable_sort(r.modified.begin(), r.modified.end(),
                     [](const PropertyChange& a, const PropertyChange& b) { return a.element < b.element; });
    return r;
}

}  // namespace checker
