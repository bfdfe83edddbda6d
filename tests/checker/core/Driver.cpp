#include "core/Driver.hpp"

#include "core/Real.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/GenericCollection.hpp>
#include <fenmo/Persistence.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Uuid.hpp>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <unordered_map>

namespace checker {

// Every known defect is fixed: operations that ran into one are run and checked.
const std::uint32_t kDefaultDefects = kAllDefects;

namespace {

using ::fenmo::Value;
using Tag = ::fenmo::ReflectionPrivateTag;
using ChildMap = ::fenmo::DoubleKeyElementMap<int, std::u16string, tn::ChildAttributes>;

// ---- Operation kinds and their weights

enum class Op : std::uint8_t {
    Create,
    Build,
    CreateIntoSlot,
    CreateIntoChildren,
    SetScalar,
    SetScalarReflective,
    BlockEdit,
    SetSlot,
    SetSlotReflective,
    SetName,
    SetIndexOne,
    SetAttrsOfParent,
    SetParent,
    AddChild,
    RemoveChild,
    ChildrenEdit,
    MapEdit,
    ReadPosition,
    Destroy,
    Begin,
    End,
    Undo,
    Redo,
    History,
    Listener,
};

struct OpInfo {
    Op op;
    const char* name;
    unsigned weight;
};

constexpr OpInfo kOps[] = {
    {Op::Create, "Create", 4},
    {Op::Build, "Build", 8},
    {Op::CreateIntoSlot, "CreateIntoSlot", 4},
    {Op::CreateIntoChildren, "CreateIntoChildren", 5},
    {Op::SetScalar, "SetScalar", 7},
    {Op::SetScalarReflective, "SetScalarReflective", 5},
    {Op::BlockEdit, "BlockEdit", 3},
    {Op::SetSlot, "SetSlot", 6},
    {Op::SetSlotReflective, "SetSlotReflective", 2},
    {Op::SetName, "SetName", 6},
    {Op::SetIndexOne, "SetIndexOne", 6},
    {Op::SetAttrsOfParent, "SetAttrsOfParent", 5},
    {Op::SetParent, "SetParent", 5},
    {Op::AddChild, "AddChild", 4},
    {Op::RemoveChild, "RemoveChild", 2},
    {Op::ChildrenEdit, "ChildrenEdit", 7},
    {Op::MapEdit, "MapEdit", 4},
    {Op::ReadPosition, "ReadPosition", 2},
    {Op::Destroy, "Destroy", 4},
    {Op::Begin, "Begin", 3},
    {Op::End, "End", 7},
    {Op::Undo, "Undo", 6},
    {Op::Redo, "Redo", 4},
    {Op::History, "History", 2},
    {Op::Listener, "Listener", 2},
};
constexpr std::size_t kOpCount = std::size(kOps);

std::array<unsigned, kOpCount> weightsFrom(const std::string& text) {
    std::array<unsigned, kOpCount> weights;
    for (std::size_t i = 0; i < kOpCount; ++i) weights[i] = kOps[i].weight;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t comma = text.find(',', from);
        std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        std::size_t equals = item.find('=');
        if (equals != std::string::npos)
            for (std::size_t i = 0; i < kOpCount; ++i)
                if (item.substr(0, equals) == kOps[i].name)
                    weights[i] = static_cast<unsigned>(std::strtoul(item.c_str() + equals + 1, nullptr, 10));
        from = comma == std::string::npos ? text.size() : comma + 1;
    }
    return weights;
}

// ---- The arguments of one operation: its seven bytes, then a generator seeded by them.

class Args {
public:
    explicit Args(const std::uint8_t* bytes) {
        std::memcpy(m_bytes, bytes, sizeof m_bytes);
        for (std::uint8_t b : m_bytes) m_state = m_state * 131 + b;
    }
    std::uint8_t byte() {
        return m_used < sizeof m_bytes ? m_bytes[m_used++] : static_cast<std::uint8_t>(next() >> 56);
    }
    std::size_t below(std::size_t n) {
        if (n <= 1) return 0;
        return n <= 256 ? byte() % n : static_cast<std::size_t>(next() % n);
    }
    bool chance(unsigned percent) { return byte() * 100u < percent * 256u; }

private:
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint8_t m_bytes[kOperationSize - 1];
    std::size_t m_used = 0;
    std::uint64_t m_state = 0x5eed;
};

template <class T>
const T& oneOf(Args& a, std::initializer_list<T> items) {
    return *(items.begin() + static_cast<std::ptrdiff_t>(a.below(items.size())));
}

// ---- How the driver stops

// A check failed: the run ends here.
struct CheckFailure {
    std::string category, message;
};
// The driver's own exception, thrown out of `levels` open transactions.
struct Unwind {
    std::size_t levels;
};

enum class End { Commit, Abandon, Destructor };

std::string utf8(std::u16string_view text) {
    return ::fenmo::toUtf8(text);
}

std::string differences(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    std::set<std::string> e(expected.begin(), expected.end()), a(actual.begin(), actual.end());
    std::string out;
    int shown = 0;
    for (const std::string& line : expected)
        if (!a.count(line) && shown++ < 8) out += "\n  reference: " + line;
    shown = 0;
    for (const std::string& line : actual)
        if (!e.count(line) && shown++ < 8) out += "\n  model:     " + line;
    return out;
}

std::string keysText(const Expect& x) {
    std::string out;
    for (const std::string& k : x.keys) out += (out.empty() ? "" : " or ") + k;
    return x.anyKey ? out + " or any other failure" : out;
}

// Reports agree when they list the same created and destroyed elements and the same changed properties
// with the same values; a collection may also be listed with equal old and new entries (it was touched
// and holds the same entries again, which the framework does not look into).
bool reportsAgree(const Report& expected, const Report& real, std::string& why) {
    if (expected.cause != real.cause || expected.created != real.created ||
        expected.destroyed != real.destroyed) {
        why = "expected " + reportText(expected) + "\n  reported " + reportText(real);
        return false;
    }
    auto same = [](const PropertyChange& a, const PropertyChange& b) {
        return a.element == b.element && a.property == b.property;
    };
    for (const PropertyChange& c : expected.modified) {
        auto it = std::find_if(real.modified.begin(), real.modified.end(),
                               [&](const auto& r) { return same(c, r); });
        if (it == real.modified.end() || it->oldValue != c.oldValue || it->newValue != c.newValue) {
            why = "expected " + reportText(expected) + "\n  reported " + reportText(real);
            return false;
        }
    }
    for (const PropertyChange& r : real.modified) {
        bool expectedToo = std::any_of(expected.modified.begin(), expected.modified.end(),
                                       [&](const auto& c) { return same(c, r); });
        if (!expectedToo && !(isCollectionProperty(r.property) && r.oldValue == r.newValue)) {
            why = "expected " + reportText(expected) + "\n  reported " + reportText(real);
            return false;
        }
    }
    return true;
}

class Driver {
public:
    Driver(const std::uint8_t* data, std::size_t size, const Options& options)
        : m_data(data),
          m_count(size / kOperationSize),
          m_options(options),
          m_weights(weightsFrom(options.weights)) {
        for (unsigned w : m_weights) m_totalWeight += w;
    }

    Result run() {
        try {
            setUp();
            scope();
            m_current = m_count;
            note("end of input");
            compareStates();
        } catch (const CheckFailure& f) {
            m_result.failed = true;
            m_result.failedAt = m_current;
            m_result.category = f.category;
            m_result.message = f.message;
        } catch (const std::exception& e) {
            m_result.failed = true;
            m_result.failedAt = m_current;
            m_result.category = "unexpected exception";
            m_result.message =
                "operation " + std::to_string(m_current) + " (" + m_description + "): " + e.what();
        }
        m_result.operations = std::min(m_current + 1, m_count);
        return m_result;
    }

private:
    // ---- Set-up: an empty model, another model whose elements serve as foreign values, and one proxy per
    // class.

    void setUp() {
        m_model = ::fenmo::Model::create();
        m_token =
            m_model->addListener([this](const ::fenmo::ChangeReport& r) { m_reports.push_back(keep(r)); });
        m_other = ::fenmo::Model::create();
        tn::TreeNode::Builder root(m_other);
        auto parent = std::make_unique<tn::ParentAttributes::Builder>();
        auto child = std::make_unique<tn::TreeNode::Builder>();
        auto keys = std::make_unique<tn::ChildAttributes::Builder>();
        keys->setName(u"a").setIndexOne(1);
        child->setChildAttrs(std::move(keys));
        parent->addChildren(std::move(child));
        root.setParentAttrs(std::move(parent));
        tn::TreeNode foreignRoot = root.createTreeNode(::fenmo::uuid());
        tn::ParentAttributes foreignParent = foreignRoot->getParentAttrs();
        m_foreign[index(Kind::TreeNode)] = foreignRoot;
        m_foreign[index(Kind::ParentAttributes)] = foreignParent;
        m_foreign[index(Kind::ChildAttributes)] = foreignParent->getChildren()[0]->getChildAttrs();
        m_foreign[index(Kind::SignalAttributes)] = tn::SignalAttributes::create(m_other, ::fenmo::uuid());
        m_foreign[index(Kind::BlockAttributes)] = tn::BlockAttributes::create(m_other, ::fenmo::uuid());
        for (int k = 0; k < kKindCount; ++k)
            m_proxies[static_cast<std::size_t>(k)] =
                m_model->createProxy(metaClassOf(static_cast<Kind>(k)), ::fenmo::ProxyId(freshUuid()));
        m_otherCount = m_other->elementCount();
    }

    // A report's collection values view collections (the old ones those of a history step, which trimming may
    // drop): what a listener keeps past the call must be copied out.
    static ::fenmo::ChangeReport keep(const ::fenmo::ChangeReport& r) {
        std::vector<::fenmo::ElementChange> modified = r.modified();
        for (::fenmo::ElementChange& change : modified)
            for (::fenmo::PropertyChange& pc : change.properties)
                for (Value* v : {&pc.oldValue, &pc.newValue})
                    if (v->getMeta().isCollection())
                        *v = Value::ofList(v->getType(), v->getFlags(), v->getEntries());
        return ::fenmo::ChangeReport(r.cause(), r.created(), r.destroyed(), std::move(modified));
    }

    static std::size_t index(Kind kind) { return static_cast<std::size_t>(kind); }
    std::size_t depth() const { return m_ref.depth(); }

    ::fenmo::uuid freshUuid() {
        ::fenmo::uuid id{};
        const std::uint32_t n = ++m_fresh;
        id.data[0] = 0xc8;
        std::memcpy(id.data + 12, &n, sizeof n);
        id.data[6] = 0x40;  // version 4, as the framework's own
        id.data[8] = 0x80;
        return id;
    }

    // ---- The input, operation by operation

    Op decode(std::uint8_t b) const {
        if (m_totalWeight == 0) return Op::Undo;
        unsigned pick = b * m_totalWeight / 256;
        for (std::size_t i = 0; i < kOpCount; ++i) {
            if (pick < m_weights[i]) return kOps[i].op;
            pick -= m_weights[i];
        }
        return Op::Undo;
    }

    // Runs operations until the input ends or, inside a transaction, until one ends it; answers how it ends.
    End scope() {
        while (m_next < m_count) {
            m_current = m_next++;
            const std::uint8_t* bytes = m_data + m_current * kOperationSize;
            Args a(bytes + 1);
            const Op op = decode(bytes[0]);
            if (op == Op::Begin) {
                if (depth() < 4)
                    transaction(a);
                else
                    note("begin (four transactions open already: nothing)");
            } else if (op == Op::End) {
                if (depth() == 0) {
                    note("end (no transaction open: nothing)");
                } else if (auto end = endOf(a)) {
                    return *end;
                }
            } else {
                perform(op, a);
                if (kOps[static_cast<std::size_t>(op)].name == m_options.tamperKind) tamper();
            }
        }
        return End::Commit;  // the input ended: what is open is committed
    }

    void perform(Op op, Args& a) {
        switch (op) {
            case Op::Create:
                return opCreate(a);
            case Op::Build:
                return opBuild(a);
            case Op::CreateIntoSlot:
                return opCreateIntoSlot(a);
            case Op::CreateIntoChildren:
                return opCreateIntoChildren(a);
            case Op::SetScalar:
                return opSetScalar(a);
            case Op::SetScalarReflective:
                return opSetScalarReflective(a);
            case Op::BlockEdit:
                return opBlockEdit(a);
            case Op::SetSlot:
                return opSetSlot(a);
            case Op::SetSlotReflective:
                return opSetSlotReflective(a);
            case Op::SetName:
                return opSetName(a);
            case Op::SetIndexOne:
                return opSetIndexOne(a);
            case Op::SetAttrsOfParent:
                return opSetAttrsOfParent(a);
            case Op::SetParent:
                return opSetParent(a);
            case Op::AddChild:
                return opChildOperation(a, true);
            case Op::RemoveChild:
                return opChildOperation(a, false);
            case Op::ChildrenEdit:
                return opChildrenEdit(a);
            case Op::MapEdit:
                return opMapEdit(a);
            case Op::ReadPosition:
                return opReadPosition(a);
            case Op::Destroy:
                return opDestroy(a);
            case Op::Undo:
                return travel(false);
            case Op::Redo:
                return travel(true);
            case Op::History:
                return opHistory(a);
            case Op::Listener:
                return opListener(a);
            case Op::Begin:
            case Op::End:
                return;
        }
    }

    void note(const std::string& description) {
        m_description = description;
        if (m_options.trace) std::fprintf(stderr, "[%zu] %s\n", m_current, description.c_str());
        if (m_options.log) m_result.log.push_back("[" + std::to_string(m_current) + "] " + description);
    }

    [[noreturn]] void fail(const std::string& check, const std::string& detail) {
        throw CheckFailure{check + " during " + m_operationKind, "operation " + std::to_string(m_current) +
                                                                     " (" + m_description + "): " + check +
                                                                     " differs: " + detail};
    }

    // ---- Choosing elements

    std::vector<Id> aliveOf(Kind kind) const {
        std::vector<Id> ids;
        for (const auto& [id, e] : m_ref.current.elements)
            if (e.kind == kind) ids.push_back(id);
        return ids;
    }
    std::vector<Id> deadOf(Kind kind) const {
        std::vector<Id> ids;
        for (Id id = 1; static_cast<std::size_t>(id) < m_pool.size(); ++id)
            if (m_pool.known(id) && m_kinds[static_cast<std::size_t>(id)] == kind && !m_ref.current.alive(id))
                ids.push_back(id);
        return ids;
    }
    static Ref here(Id id, Kind kind) { return Ref{Ref::Origin::Here, id, kind}; }

    // The element an operation changes: mostly a live one, sometimes a destroyed one or a proxy.
    Ref pickSubject(Kind kind, Args& a, bool proxies = true) {
        const std::uint8_t b = a.byte();
        if (proxies && b < 6) return Ref{Ref::Origin::Proxy, 0, kind};
        if (b < 22) {
            std::vector<Id> dead = deadOf(kind);
            if (!dead.empty()) return here(dead[a.below(dead.size())], kind);
        }
        std::vector<Id> alive = aliveOf(kind);
        if (!alive.empty()) return here(alive[a.below(alive.size())], kind);
        std::vector<Id> dead = deadOf(kind);
        if (!dead.empty()) return here(dead[a.below(dead.size())], kind);
        return Ref{Ref::Origin::Proxy, 0, kind};
    }
    // A value: a live element mostly, sometimes none, a destroyed one, or one of the other model.
    Ref pickValue(Kind kind, Args& a) {
        const std::uint8_t b = a.byte();
        if (b < 24) return Ref{Ref::Origin::None, 0, kind};
        if (b < 40) {
            std::vector<Id> dead = deadOf(kind);
            if (!dead.empty()) return here(dead[a.below(dead.size())], kind);
        }
        if (b < 52 && m_foreign[index(kind)].get()) return Ref{Ref::Origin::OtherModel, 0, kind};
        std::vector<Id> alive = aliveOf(kind);
        if (!alive.empty()) return here(alive[a.below(alive.size())], kind);
        return Ref{Ref::Origin::None, 0, kind};
    }

    ModelElement handleOf(const Ref& r) const {
        switch (r.origin) {
            case Ref::Origin::Here:
                return m_pool.handle(r.id);
            case Ref::Origin::OtherModel:
                return m_foreign[index(r.kind)];
            case Ref::Origin::Proxy:
                return m_proxies[index(r.kind)];
            default:
                return ModelElement();
        }
    }
    template <class Impl>
    Impl& implOf(const Ref& r) const {
        return static_cast<Impl&>(*handleOf(r).get());
    }

    std::string refText(const Ref& r) const {
        switch (r.origin) {
            case Ref::Origin::Here:
                return (m_ref.current.alive(r.id) ? "" : "dead ") + std::string(kindName(r.kind)) +
                       idText(r.id);
            case Ref::Origin::OtherModel:
                return "other model's " + std::string(kindName(r.kind));
            case Ref::Origin::Proxy:
                return "proxy " + std::string(kindName(r.kind));
            default:
                return "none";
        }
    }

    Kind anyKind(Args& a) { return static_cast<Kind>(a.below(kKindCount)); }
    bool full() const { return m_ref.current.elements.size() >= m_options.maxElements; }

    // ---- Values

    OptionalScalar randomScalar(Kind kind, int index, Args& a) {
        const PropertyInfo& p = scalarClass(kind).properties.at(static_cast<std::size_t>(index - 1));
        const std::uint8_t b = a.byte();
        if (b < 40) return std::nullopt;
        switch (p.kind) {
            case ScalarKind::Text:
                return Scalar(oneOf<std::u16string>(a, {u"", u"a", u"b", u"double", u"\u0131"}));
            case ScalarKind::Bool:
                return Scalar(a.chance(50));
            case ScalarKind::Int:
                return Scalar(oneOf<std::int32_t>(a, {0, 1, -1, 7, INT_MIN, INT_MAX}));
            case ScalarKind::Enum:
                // Now and then a value that has no literal.
                if (b < 46) return Scalar(EnumValue{oneOf<std::int32_t>(a, {p.literals, 99, -7})});
                return Scalar(
                    EnumValue{static_cast<std::int32_t>(a.below(static_cast<std::size_t>(p.literals)))});
            default:
                return Scalar(Pointer{oneOf<std::uintptr_t>(a, {0, 16, 32, 48})});
        }
    }
    std::u16string randomName(Args& a) {
        return oneOf<std::u16string>(a, {u"a", u"b", u"c", u"", u"\u0131", u"d"});
    }
    int randomIndex(Args& a) { return oneOf<int>(a, {0, 1, 2, 3, 4, -1, INT_MAX}); }

    BuilderPlan randomPlan(Kind kind, Args& a, int level) {
        BuilderPlan plan;
        plan.kind = kind;
        if (hasScalars(kind)) {
            const int count = static_cast<int>(scalarClass(kind).properties.size());
            for (std::size_t n = a.below(4); n > 0; --n) {
                int index = 1 + static_cast<int>(a.below(static_cast<std::size_t>(count)));
                if (a.chance(12))
                    plan.calls.push_back({true, index, std::nullopt});
                else
                    plan.calls.push_back({false, index, randomScalar(kind, index, a)});
            }
            plan.wrongTypedValue = a.chance(2);
        }
        switch (kind) {
            case Kind::ChildAttributes:
                if (a.chance(88)) plan.calls.push_back({false, 1, Scalar(randomName(a))});
                if (a.chance(88)) plan.calls.push_back({false, 2, Scalar(std::int32_t{randomIndex(a)})});
                if (a.chance(6)) plan.calls.push_back({true, 1 + static_cast<int>(a.below(2)), std::nullopt});
                if (a.chance(20)) plan.attrsOfParent = pickValue(Kind::ParentAttributes, a);
                plan.wrongTypedValue = a.chance(2);
                break;
            case Kind::ParentAttributes:
                if (level < 2)
                    for (std::size_t n = a.below(4); n > 0; --n)
                        plan.children.push_back(randomPlan(Kind::TreeNode, a, level + 1));
                if (a.chance(15))
                    for (std::size_t n = 1 + a.below(2); n > 0; --n)
                        plan.attrsOfChildren.push_back(pickValue(Kind::ChildAttributes, a));
                break;
            case Kind::TreeNode:
                for (int slot = 1; slot <= 10; ++slot) {
                    const Kind slotKind = nodeSlots()[static_cast<std::size_t>(slot - 1)].kind;
                    unsigned percent = slot == 1   ? (level < 2 ? 35 : 0)
                                       : slot == 2 ? (level ? 90 : 40)
                                       : slot == 9 ? (level < 2 ? 6 : 0)
                                                   : 10;
                    if (a.chance(percent)) plan.slots.push_back({slot, randomPlan(slotKind, a, level)});
                }
                if (!plan.slots.empty() && a.chance(3)) {
                    const int slot = plan.slots.front().slot;
                    plan.slots.push_back(
                        {slot, randomPlan(nodeSlots()[static_cast<std::size_t>(slot - 1)].kind, a, 2)});
                }
                plan.wrongClassNested = a.chance(2);
                break;
            case Kind::BlockAttributes:
                for (std::size_t n = a.below(4); n > 0; --n)
                    plan.blocks.push_back(oneOf<std::uintptr_t>(a, {16, 32, 48, 64}));
                break;
            default:
                break;
        }
        return plan;
    }

    // The identity a creation asks for, as the reference sees it and as the framework gets it.
    std::pair<Identity, ::fenmo::uuid> pickIdentity(Args& a) {
        const std::uint8_t b = a.byte();
        if (b < 150) return {Identity::Chosen, ::fenmo::uuid()};
        if (b < 205) return {Identity::Fresh, freshUuid()};
        std::vector<Id> alive, dead;
        for (const auto& [id, e] : m_ref.current.elements) alive.push_back(id);
        for (Id id = 1; static_cast<std::size_t>(id) < m_pool.size(); ++id)
            if (m_pool.known(id) && !m_ref.current.alive(id)) dead.push_back(id);
        if (b < 228 && !alive.empty())
            return {Identity::ReuseAlive, m_pool.handle(alive[a.below(alive.size())])->getUuid()};
        if (dead.empty()) return {Identity::Chosen, ::fenmo::uuid()};
        const ::fenmo::uuid id = m_pool.handle(dead[a.below(dead.size())])->getUuid();
        // A live element may carry that identity again.
        for (Id live : alive)
            if (m_pool.handle(live)->getUuid() == id) return {Identity::ReuseAlive, id};
        return {Identity::ReuseDead, id};
    }
    static std::string identityText(Identity identity) {
        switch (identity) {
            case Identity::Chosen:
                return "";
            case Identity::Fresh:
                return " with a new identity";
            case Identity::ReuseAlive:
                return " with a live element's identity";
            default:
                return " with a destroyed element's identity";
        }
    }

    std::string planText(const BuilderPlan& plan) const {
        std::string out = std::string(kindName(plan.kind)) + "{";
        for (const BuilderPlan::Call& c : plan.calls)
            out += (c.unset ? "unset " : "") + std::to_string(c.index) +
                   (c.unset ? "" : "=" + scalarText(c.value)) + " ";
        if (!plan.attrsOfParent.isNone()) out += "attrsOfParent=" + refText(plan.attrsOfParent) + " ";
        for (const Ref& r : plan.attrsOfChildren) out += "attrsOfChildren+" + refText(r) + " ";
        for (const auto& [slot, nested] : plan.slots)
            out += "s" + std::to_string(slot) + "=" + planText(nested) + " ";
        for (const BuilderPlan& c : plan.children) out += "child=" + planText(c) + " ";
        for (std::uintptr_t b : plan.blocks) out += "p" + std::to_string(b) + " ";
        if (plan.wrongTypedValue) out += "wrongTypedValue ";
        if (plan.wrongClassNested) out += "wrongClassNested ";
        return out + "}";
    }

    std::unique_ptr<ModelElement::Builder> builderOf(const BuilderPlan& plan) const {
        return makeBuilder(plan, [this](const Ref& r) { return handleOf(r); });
    }

    // ---- One operation on both sides

    struct Mark {
        std::size_t reports, undo, redo, bytes;
    };
    Mark mark() const {
        return {m_reports.size(), m_model->undoStepCount(), m_model->redoStepCount(),
                m_model->historyBytes()};
    }

    // Runs `refOp` on a copy of the reference state and `realOp` on the model, and checks that both agree:
    // refused alike (nothing changed, nothing reported, history as it was) or done alike (same state; at
    // the top level one report and one undo step, or none when nothing changed).
    template <class RefOp, class RealOp>
    void operation(const std::string& description, RefOp&& refOp, RealOp&& realOp) {
        Expect x;
        State scratch = m_ref.current;
        Id nextId = m_ref.nextId;
        refOp(scratch, x, nextId);
        if (x.refused() && createsFiledPair(m_ref.current, scratch)) x.defects |= kRollbackLeak;
        if (const std::uint32_t off = x.defects & ~m_options.defects) {
            note(description + " (not run: " + defectNames(off) + ")");
            ++m_result.skipped;
            ++m_result.counts[m_operationKind].notRun;
            return;
        }
        note(description);
        const Mark before = mark();
        ModelElement root;
        bool threw = false;
        std::string key, what;
        try {
            root = realOp();
        } catch (const ::fenmo::MessageIdException& e) {
            threw = true;
            key = e.key();
            what = e.what();
        } catch (const std::exception& e) {
            threw = true;
            key = "std::exception";
            what = e.what();
        }
        bool accepted = !x.refused();
        if (accepted && threw) fail("outcome", "expected it to pass; it failed: " + what);
        if (!accepted && !threw && !x.mayPass)
            fail("outcome", "expected a refusal (" + keysText(x) + "); it passed");
        if (!accepted && threw && !x.anyKey && std::find(x.keys.begin(), x.keys.end(), key) == x.keys.end())
            fail("outcome", "expected a refusal (" + keysText(x) + "); got " + what);
        ++(accepted ? m_result.counts[m_operationKind].done : m_result.counts[m_operationKind].refused);
        if (accepted) {
            State old = std::move(m_ref.current);
            m_ref.current = std::move(scratch);
            m_ref.nextId = nextId;
            pairCreated(x, root);
            if (depth() == 0)
                afterOutermost(old, "commit", false);
            else
                expectQuiet(before);
        } else {
            expectQuiet(before);
        }
        compareStates();
    }

    // The elements an operation created, found in the real model by their paths from the element it returned.
    void pairCreated(const Expect& x, const ModelElement& root) {
        for (const Expect::Created& c : x.created) {
            ModelElement at = root;
            for (const auto& [step, n] : c.path) {
                if (!at.get()) break;
                if (step == 's') {
                    auto* node = dynamic_cast<tn::TreeNode::Impl*>(at.get());
                    at = node ? getSlot(*node, n) : ModelElement();
                } else {
                    auto* parent = dynamic_cast<tn::ParentAttributes::Impl*>(at.get());
                    at = parent && static_cast<std::size_t>(n) < parent->getChildren().size()
                             ? ModelElement(parent->getChildren()[static_cast<std::size_t>(n)])
                             : ModelElement();
                }
            }
            Kind kind;
            if (!at.get() || !kindOf(at, kind) || kind != m_ref.current.at(c.id).kind ||
                m_pool.idOf(at.get()))
                fail("creation", "no new " + std::string(kindName(m_ref.current.at(c.id).kind)) +
                                     " where the reference created " + idText(c.id));
            m_pool.add(c.id, at);
            if (m_kinds.size() <= static_cast<std::size_t>(c.id))
                m_kinds.resize(static_cast<std::size_t>(c.id) + 1);
            m_kinds[static_cast<std::size_t>(c.id)] = kind;
        }
    }

    void expectQuiet(const Mark& before) {
        const Mark now = mark();
        if (now.reports != before.reports)
            fail("report",
                 "nothing should be reported; got " + reportText(reportOf(m_reports.back(), m_pool)));
        if (now.undo != before.undo || now.redo != before.redo || now.bytes != before.bytes)
            fail("history", "the history changed: undo " + std::to_string(before.undo) + "->" +
                                std::to_string(now.undo) + ", redo " + std::to_string(before.redo) + "->" +
                                std::to_string(now.redo) + ", bytes " + std::to_string(before.bytes) + "->" +
                                std::to_string(now.bytes));
    }

    // After an outermost commit, an undo or a redo (`before` is the state it started from): one report of
    // exactly what changed, and the history the reference keeps.
    void afterOutermost(const State& before, const std::string& cause, bool revertible) {
        Report expected = reportOf(before, m_ref.current, cause);
        if (!(m_options.defects & kReportsDropDestroyed)) {
            // Known: a destroyed element in a single-element property is reported as no value.
            auto drop = [&](std::string& value) {
                if (value.size() > 1 && value[0] == '#' && !m_ref.current.alive(std::stoi(value.substr(1))))
                    value = "-";
            };
            for (PropertyChange& c : expected.modified)
                if (!isCollectionProperty(c.property)) drop(c.oldValue), drop(c.newValue);
        }
        std::vector<Report> real;
        for (std::size_t i = m_reportsChecked; i < m_reports.size(); ++i)
            real.push_back(reportOf(m_reports[i], m_pool));
        m_reportsChecked = m_reports.size();
        // A listener that throws does not fail the change: its error is kept for the host to take.
        const std::size_t throwing = static_cast<std::size_t>(std::count_if(
            m_listeners.begin(), m_listeners.end(), [](const Listener& l) { return l.throws; }));
        if (const std::size_t errors = m_model->takeListenerErrors().size(); errors != throwing * real.size())
            fail("listeners", std::to_string(errors) + " listener errors kept for " +
                                  std::to_string(real.size()) + " reports and " + std::to_string(throwing) +
                                  " throwing listeners");
        bool touched = false;
        std::string why;
        if (emptyReport(expected)) {
            if (real.size() > 1) fail("report", std::to_string(real.size()) + " reports for no change");
            if (real.size() == 1) {
                if (!reportsAgree(expected, real[0], why)) fail("report", why);
                touched = true;  // collections touched and the same again: a step and a report are allowed
            }
        } else {
            if (real.size() != 1)
                fail("report", "expected one report (" + reportText(expected) + "), got " +
                                   std::to_string(real.size()));
            if (!reportsAgree(expected, real[0], why)) fail("report", why);
        }
        if (cause == "commit" && (touched || !emptyReport(expected))) {
            m_ref.redo.clear();
            if ((m_ref.recording || revertible) && m_ref.maxSteps > 0) {
                m_ref.undo.push_back({before, m_ref.current});
                m_ref.trimToStepLimit();
            } else {
                // Not recorded: the steps before it stay in the model, but undoing them now would restore
                // values this edit has changed since. Such a history is the host's to handle; the checker
                // checks that nothing was recorded, then forgets the history on both sides.
                if (m_model->undoStepCount() != m_ref.undo.size() || m_model->redoStepCount() != 0)
                    fail("history", "an edit without recording changed the steps held");
                m_model->clearHistory();
                m_ref.undo.clear();
            }
        }
        alignHistory();
    }

    // The model may hold fewer steps than the reference only because of its byte bound, the oldest first.
    void alignHistory() {
        const std::size_t u = m_model->undoStepCount(), r = m_model->redoStepCount();
        if (u > m_ref.undo.size() || r > m_ref.redo.size())
            fail("history", "the model holds " + std::to_string(u) + " undo and " + std::to_string(r) +
                                " redo steps; the reference " + std::to_string(m_ref.undo.size()) + " and " +
                                std::to_string(m_ref.redo.size()));
        if (u < m_ref.undo.size() || r < m_ref.redo.size()) {
            if (m_ref.maxBytes == SIZE_MAX)
                fail("history", "steps were dropped within the step bound, without a byte bound");
            if (r < m_ref.redo.size() && u > 0) fail("history", "redo steps were dropped before undo steps");
            while (m_ref.undo.size() > u) m_ref.undo.pop_front();
            while (m_ref.redo.size() > r) m_ref.redo.pop_front();
        }
        if (m_model->historyBytes() > m_ref.maxBytes)
            fail("history", "the history holds " + std::to_string(m_model->historyBytes()) +
                                " bytes, bound " + std::to_string(m_ref.maxBytes));
        if (m_model->canUndo() != (u > 0) || m_model->canRedo() != (r > 0))
            fail("history", "canUndo/canRedo");
    }

    // The whole model against the reference.
    void compareStates() {
        std::vector<std::string> anomalies;
        if (readState(m_model, m_pool, anomalies) != m_ref.current || !anomalies.empty()) {
            std::string detail = differences(describe(m_ref.current), describeReal(m_model, m_pool));
            for (const std::string& a : anomalies) detail += "\n  model:     " + a;
            fail("state", detail);
        }
        if (m_model->elementCount() != m_ref.current.elements.size())
            fail("state", "element count " + std::to_string(m_model->elementCount()) + ", reference " +
                              std::to_string(m_ref.current.elements.size()));
        for (Id id = 1; static_cast<std::size_t>(id) < m_pool.size(); ++id) {
            if (!m_pool.known(id)) continue;
            const ModelElement& handle = m_pool.handle(id);
            const bool alive = m_ref.current.alive(id);
            if (static_cast<bool>(handle) != alive)
                fail("state", idText(id) + (alive ? " should be alive" : " should be destroyed"));
            if (alive && m_model->findElement(handle->getUuid()).get() != handle.get())
                fail("state", idText(id) + " is not found by its identity");
        }
        for (const Listener& l : m_listeners)
            if (*l.heard != m_reports.size() - l.since)
                fail("listeners", "a listener heard " + std::to_string(*l.heard) + " reports of " +
                                      std::to_string(m_reports.size() - l.since));
        if (m_other->elementCount() != m_otherCount) fail("state", "the other model changed");
        checkSaveLoadRoundTrip();
        checkLiveQueries();
    }

    // Saved and loaded again (into a new model), the model must be the reference's: the same elements by
    // identity, values, containment and order. Every `saveLoadEvery` operations, as it writes and parses
    // the whole model.
    void checkSaveLoadRoundTrip() {
        if (!m_options.saveLoadEvery || m_current % m_options.saveLoadEvery != 0) return;
        // While the loader's re-filing is known, leave out what it touches.
        const std::vector<Id> misfiled = m_options.defects & kLoadFilesUnfiledChildren
                                             ? std::vector<Id>()
                                             : m_ref.current.misfiledChildren();
        ::fenmo::Model loaded;
        const std::string text = ::fenmo::xml::writeModel(m_model);
        if (m_options.trace) std::fprintf(stderr, "%s\n", text.c_str());
        try {
            ::fenmo::xml::LoadOptions options;
            options.newIdentity = true;
            loaded = ::fenmo::xml::readModel(text, "checker.xml", options);
        } catch (const std::exception& e) {
            // The re-filing clashes on a key among the siblings it files the child attributes with.
            if (!misfiled.empty() &&
                std::string(e.what()).find("UniquenessConstraint") != std::string::npos) {
                ++m_result.counts["SaveAndLoad"].notRun;
                return;
            }
            fail("save and load", std::string("the saved model does not load: ") + e.what());
        }
        ++m_result.counts["SaveAndLoad"].done;
        std::unordered_map<::fenmo::uuid, Id, ::fenmo::UuidHash> ids;
        for (const auto& [id, e] : m_ref.current.elements) ids.emplace(m_pool.handle(id)->getUuid(), id);
        Pool pool;
        for (const ModelElement& e : loaded->elements())
            if (auto it = ids.find(e->getUuid()); it != ids.end()) pool.add(it->second, e);
        std::vector<std::string> anomalies;
        State expected = m_ref.current, actual = readState(loaded, pool, anomalies);
        for (Id ca : misfiled) {
            expected.at(ca).attrsOfParent = 0;
            if (actual.alive(ca)) actual.at(ca).attrsOfParent = 0;
        }
        if (actual != expected || !anomalies.empty()) {
            std::string detail = differences(describe(expected), describeReal(loaded, pool));
            for (const std::string& a : anomalies) detail += "\n  loaded:    " + a;
            fail("save and load", detail);
        }
        if (loaded->undoStepCount() != 0) fail("save and load", "loading made an undo step");
    }
    // Hook: once live queries exist, keep a few open on the model and compare their current results with
    // a fresh evaluation of the same query here. Not built: there are no live queries yet.
    void checkLiveQueries() {}

    // ---- Transactions

    void transaction(Args& a) {
        m_operationKind = "Begin";
        const bool revertible = a.chance(20);
        note(revertible ? "begin a revertible transaction" : "begin a transaction");
        m_ref.levels.push_back({m_ref.current});
        m_ref.revertible = m_ref.revertible || revertible;
        ++m_result.counts["Begin"].done;
        End end = End::Commit;
        try {
            ::fenmo::Transaction t =
                revertible ? m_model->beginRevertibleTransaction() : m_model->beginTransaction(false);
            compareStates();
            end = scope();
            try {
                if (end == End::Commit)
                    t.commit(boost::none);
                else if (end == End::Abandon)
                    t.abandon();
            } catch (const std::exception& e) {
                fail("outcome", std::string("ending the transaction failed: ") + e.what());
            }
        } catch (const Unwind& u) {
            finish(End::Abandon);
            if (u.levels > 1) throw Unwind{u.levels - 1};
            return;
        }
        finish(end);
    }

    // How an End operation ends the innermost transaction(s), unless that would run into a defect family that
    // is switched off (then it does nothing).
    std::optional<End> endOf(Args& a) {
        m_operationKind = "End";
        const std::size_t choice = a.below(8);
        End end = choice < 4 ? End::Commit : choice < 6 ? End::Abandon : End::Destructor;
        bool throws = choice == 7;
        const std::size_t levels = throws ? 1 + a.below(depth()) : 1;
        if ((end != End::Commit || throws) && !(m_options.defects & kRollbackLeak) &&
            createsFiledPair(m_ref.levels[depth() - levels].saved, m_ref.current)) {
            // Rolling this back would leak: commit instead, so that transactions still end.
            ++m_result.skipped;
            ++m_result.counts["End (rollback)"].notRun;
            end = End::Commit;
            throws = false;
        }
        ++m_result
              .counts[throws                ? "End (throw)"
                      : end == End::Commit  ? "End (commit)"
                      : end == End::Abandon ? "End (abandon)"
                                            : "End (destructor)"]
              .done;
        if (throws) {
            note("throw out of " + std::to_string(levels) + " transaction(s)");
            throw Unwind{levels};
        }
        note(end == End::Commit    ? "commit"
             : end == End::Abandon ? "abandon"
                                   : "leave the transaction to its destructor");
        return end;
    }

    void finish(End end) {
        State saved = std::move(m_ref.levels.back().saved);
        m_ref.levels.pop_back();
        if (end == End::Commit) {
            if (depth() == 0) {
                afterOutermost(saved, "commit", m_ref.revertible);
                m_ref.revertible = false;
            }
        } else {
            m_ref.current = std::move(saved);
            if (depth() == 0) m_ref.revertible = false;
        }
        // An abandon or an inner commit publishes nothing.
        if (m_reports.size() != m_reportsChecked)
            fail("report", "a transaction that was not committed at the top level reported changes");
        compareStates();
    }

    // ---- Operations: creation

    void opCreate(Args& a) {
        m_operationKind = "Create";
        if (full()) return opDestroy(a);
        const Kind kind = anyKind(a);
        const auto picked = pickIdentity(a);
        const Identity identity = picked.first;
        const ::fenmo::uuid id = picked.second;
        operation(
            "create " + std::string(kindName(kind)) + identityText(identity),
            [&](State& s, Expect& x, Id& next) { create(s, x, next, kind, identity); },
            [&] { return createElement(kind, m_model, id); });
    }

    void opBuild(Args& a) {
        m_operationKind = "Build";
        if (full()) return opDestroy(a);
        const std::uint8_t b = a.byte();
        const Kind kind = b < 150   ? Kind::TreeNode
                          : b < 190 ? Kind::ParentAttributes
                          : b < 215 ? Kind::ChildAttributes
                                    : anyKind(a);
        const BuilderPlan plan = randomPlan(kind, a, 0);
        const auto picked = pickIdentity(a);
        const Identity identity = picked.first;
        const ::fenmo::uuid id = picked.second;
        const bool typed = kind == Kind::TreeNode && a.chance(50);
        operation(
            "build " + planText(plan) + identityText(identity),
            [&](State& s, Expect& x, Id& next) { createFromBuilder(s, x, next, plan, identity); },
            [&] {
                std::unique_ptr<ModelElement::Builder> builder = builderOf(plan);
                builder->setModel(m_model);
                if (typed)
                    return ModelElement(static_cast<tn::TreeNode::Builder&>(*builder).createTreeNode(id));
                return builder->create(id);
            });
    }

    void opCreateIntoSlot(Args& a) {
        m_operationKind = "CreateIntoSlot";
        if (full()) return opDestroy(a);
        const Ref node = pickSubject(Kind::TreeNode, a);
        const int slot = 1 + static_cast<int>(a.below(10));
        const BuilderPlan plan = randomPlan(nodeSlots()[static_cast<std::size_t>(slot - 1)].kind, a, 1);
        const auto picked = pickIdentity(a);
        const Identity identity = picked.first;
        const ::fenmo::uuid id = picked.second;
        operation(
            "createInto " + utf8(nodeSlots()[static_cast<std::size_t>(slot - 1)].name) + " of " +
                refText(node) + ": " + planText(plan) + identityText(identity),
            [&](State& s, Expect& x, Id& next) {
                checker::createIntoSlot(s, x, next, node, slot, plan, identity);
            },
            [&] {
                std::unique_ptr<ModelElement::Builder> builder = builderOf(plan);
                return checker::createIntoSlot(implOf<tn::TreeNode::Impl>(node), slot, builder.get(), id);
            });
    }

    void opCreateIntoChildren(Args& a) {
        m_operationKind = "CreateIntoChildren";
        if (full()) return opDestroy(a);
        const Ref parent = pickSubject(Kind::ParentAttributes, a);
        const BuilderPlan plan = randomPlan(Kind::TreeNode, a, 1);
        const auto picked = pickIdentity(a);
        const Identity identity = picked.first;
        const ::fenmo::uuid id = picked.second;
        operation(
            "createIntoChildren of " + refText(parent) + ": " + planText(plan) + identityText(identity),
            [&](State& s, Expect& x, Id& next) { createIntoChildren(s, x, next, parent, plan, identity); },
            [&] {
                std::unique_ptr<ModelElement::Builder> builder = builderOf(plan);
                return ModelElement(
                    implOf<tn::ParentAttributes::Impl>(parent).createIntoChildren(builder.get(), id));
            });
    }

    // ---- Operations: values

    void opSetScalar(Args& a) {
        m_operationKind = "SetScalar";
        const Kind kind = oneOf<Kind>(a, {Kind::SignalAttributes, Kind::MessageQueueAttributes,
                                          Kind::PlatformAttributes, Kind::PropagationAttributes});
        const Ref e = pickSubject(kind, a);
        const int index = 1 + static_cast<int>(a.below(scalarClass(kind).properties.size()));
        const OptionalScalar value = randomScalar(kind, index, a);
        operation(
            "set " + utf8(scalarClass(kind).properties[static_cast<std::size_t>(index - 1)].name) + " of " +
                refText(e) + " to " + scalarText(value),
            [&](State& s, Expect& x, Id&) { setScalar(s, x, e, index, value, false, false); },
            [&] {
                setTyped(*handleOf(e).get(), kind, index, value);
                return ModelElement();
            });
    }

    void opSetScalarReflective(Args& a) {
        m_operationKind = "SetScalarReflective";
        const Kind kind = oneOf<Kind>(
            a, {Kind::SignalAttributes, Kind::MessageQueueAttributes, Kind::PlatformAttributes,
                Kind::PropagationAttributes, Kind::BusTypeElementAttributes, Kind::BusTypeRootAttributes});
        const Ref e = pickSubject(kind, a);
        const int index = 1 + static_cast<int>(a.below(scalarClass(kind).properties.size()));
        const std::size_t form = a.below(10);
        const std::size_t tagChoice = a.below(3);
        const Tag& tag = tagChoice == 0   ? Tag::standard()
                         : tagChoice == 1 ? Tag::privileged()
                                          : Tag::unresolved();
        const bool privileged = tagChoice == 1;
        OptionalScalar value = randomScalar(kind, index, a);
        Value real = valueOf(kind, index, value);
        std::string text = scalarText(value);
        if (form == 6) {
            value = zeroOf(scalarClass(kind).properties[static_cast<std::size_t>(index - 1)].kind);
            real = zeroValueOf(kind, index);
            text = "a value without payload";
        } else if (form == 7) {
            value = std::nullopt;
            real = valueOf(kind, index, std::nullopt);
            text = "the empty value";
        } else if (form == 8) {
            real = wrongValueOf(kind, index);
            text = "a value of another type";
        }
        operation(
            "write " + utf8(scalarClass(kind).properties[static_cast<std::size_t>(index - 1)].name) + " of " +
                refText(e) + " to " + text + (privileged ? " (privileged)" : ""),
            [&](State& s, Expect& x, Id&) {
                if (form == 8)
                    setScalarWrongType(s, x, e, index, privileged);
                else
                    setScalar(s, x, e, index, value, true, privileged);
            },
            [&] {
                handleOf(e)->setPropertyValue(propertyOf(kind, index), real, tag);
                return ModelElement();
            });
    }

    void opBlockEdit(Args& a) {
        m_operationKind = "BlockEdit";
        const Ref e = pickSubject(Kind::BlockAttributes, a);
        const std::size_t what = a.below(7);
        const std::uintptr_t block = oneOf<std::uintptr_t>(a, {16, 32, 48, 64});
        auto blocks = [&]() -> ::fenmo::PrimitiveSet<TAVBlock*>& {
            return implOf<tn::BlockAttributes::Impl>(e).getTavBlocksMutable();
        };
        auto* pointer = reinterpret_cast<TAVBlock*>(block);
        if (what < 3) {
            operation(
                "insert p" + std::to_string(block) + " into the blocks of " + refText(e),
                [&](State& s, Expect& x, Id&) { insertBlock(s, x, e, block); },
                [&] { return blocks().insert(pointer), ModelElement(); });
        } else if (what < 5) {
            operation(
                "erase p" + std::to_string(block) + " from the blocks of " + refText(e),
                [&](State& s, Expect& x, Id&) { eraseBlock(s, x, e, block); },
                [&] { return blocks().erase(pointer), ModelElement(); });
        } else if (what == 5) {
            operation(
                "clear the blocks of " + refText(e), [&](State& s, Expect& x, Id&) { clearBlocks(s, x, e); },
                [&] { return blocks().clear(), ModelElement(); });
        } else {
            operation(
                "write the blocks of " + refText(e) + " reflectively",
                [&](State&, Expect& x, Id&) {
                    // No class handles it; the framework refuses the write.
                    x.refuse("InvalidValue");
                    x.refuse("CannotSetReadOnlyProperty");
                },
                [&] {
                    const auto& p = propertyOf(Kind::BlockAttributes, 1);
                    handleOf(e)->setPropertyValue(p, Value::ofPointer(p->getType(), pointer),
                                                  Tag::standard());
                    return ModelElement();
                });
        }
    }

    void opSetSlot(Args& a) {
        m_operationKind = "SetSlot";
        const Ref node = pickSubject(Kind::TreeNode, a);
        const int slot = 1 + static_cast<int>(a.below(10));
        const Ref value = pickValue(nodeSlots()[static_cast<std::size_t>(slot - 1)].kind, a);
        operation(
            "set " + utf8(nodeSlots()[static_cast<std::size_t>(slot - 1)].name) + " of " + refText(node) +
                " to " + refText(value),
            [&](State& s, Expect& x, Id&) { setSlot(s, x, node, slot, value); },
            [&] {
                setSlotTyped(implOf<tn::TreeNode::Impl>(node), slot, handleOf(value));
                return ModelElement();
            });
    }

    void opSetSlotReflective(Args& a) {
        m_operationKind = "SetSlotReflective";
        const Ref node = pickSubject(Kind::TreeNode, a);
        const int slot = 1 + static_cast<int>(a.below(10));
        const Kind slotKind = nodeSlots()[static_cast<std::size_t>(slot - 1)].kind;
        const std::size_t form = a.below(10);
        const Tag& tag = a.chance(50) ? Tag::standard() : Tag::unresolved();
        const ::fenmo::meta::Property& property = propertyOf(Kind::TreeNode, slot);
        if (form == 8) {
            // An element of a class that does not fit the slot; its empty value empties the slot.
            const Kind other =
                slotKind == Kind::SignalAttributes ? Kind::BlockAttributes : Kind::SignalAttributes;
            const Ref misfit = pickValue(other, a);
            operation(
                "write " + utf8(nodeSlots()[static_cast<std::size_t>(slot - 1)].name) + " of " +
                    refText(node) + " to " +
                    (misfit.isNone() ? "the empty value of " + std::string(kindName(other))
                                     : refText(misfit)),
                [&](State& s, Expect& x, Id&) {
                    if (misfit.isNone())
                        setSlot(s, x, node, slot, Ref::none());
                    else
                        x.refuse("CannotCastIncompatibleTypes");
                },
                [&] {
                    handleOf(node)->setPropertyValue(property, misfitValue(other, misfit), tag);
                    return ModelElement();
                });
            return;
        }
        if (form == 9) {
            operation(
                "write isInherited of " + refText(node),
                [&](State&, Expect& x, Id&) { x.refuse("CannotSetReadOnlyProperty"); },
                [&] {
                    handleOf(node)->setPropertyValue(propertyNamed(Kind::TreeNode, u"isInherited"),
                                                     Value::ofBoolean(true), tag);
                    return ModelElement();
                });
            return;
        }
        const Ref value = pickValue(slotKind, a);
        operation(
            "write " + utf8(nodeSlots()[static_cast<std::size_t>(slot - 1)].name) + " of " + refText(node) +
                " to " + refText(value),
            [&](State& s, Expect& x, Id&) { setSlot(s, x, node, slot, value); },
            [&] {
                handleOf(node)->setPropertyValue(property, elementValue(property, value), tag);
                return ModelElement();
            });
    }

    Value elementValue(const ::fenmo::meta::Property& property, const Ref& r) const {
        return r.isNone() ? Value(property->getType(), boost::none) : Value::ofElement(handleOf(r));
    }
    Value misfitValue(Kind kind, const Ref& r) const {
        return r.isNone() ? Value(metaClassOf(kind), boost::none) : Value::ofElement(handleOf(r));
    }

    // ---- Operations: the tree

    void opSetName(Args& a) {
        m_operationKind = "SetName";
        const Ref ca = pickSubject(Kind::ChildAttributes, a);
        const std::u16string name = randomName(a);
        const std::size_t how = a.below(8);
        if (how == 7) return wrongTypeWrite(ca, 1, "name");
        operation(
            "setName " + refText(ca) + " " + scalarText(Scalar(name)) + (how >= 5 ? " (reflective)" : ""),
            [&](State& s, Expect& x, Id&) { setName(s, x, ca, name); },
            [&] {
                if (how >= 5)
                    handleOf(ca)->setPropertyValue(propertyOf(Kind::ChildAttributes, 1),
                                                   Value::ofString(name), Tag::standard());
                else
                    implOf<tn::ChildAttributes::Impl>(ca).setName(name);
                return ModelElement();
            });
    }

    void opSetIndexOne(Args& a) {
        m_operationKind = "SetIndexOne";
        const Ref ca = pickSubject(Kind::ChildAttributes, a);
        const int index = randomIndex(a);
        const std::size_t how = a.below(8);
        if (how == 7) return wrongTypeWrite(ca, 2, "indexOne");
        operation(
            "setIndexOne " + refText(ca) + " " + std::to_string(index) + (how >= 5 ? " (reflective)" : ""),
            [&](State& s, Expect& x, Id&) { setIndexOne(s, x, ca, index); },
            [&] {
                if (how >= 5)
                    handleOf(ca)->setPropertyValue(propertyOf(Kind::ChildAttributes, 2),
                                                   Value::ofInteger(index), Tag::standard());
                else
                    implOf<tn::ChildAttributes::Impl>(ca).setIndexOne(index);
                return ModelElement();
            });
    }

    void wrongTypeWrite(const Ref& ca, int index, const std::string& name) {
        operation(
            "write " + name + " of " + refText(ca) + " with a value of another type",
            [&](State&, Expect& x, Id&) { x.refuse("CannotCastIncompatibleTypes"); },
            [&] {
                handleOf(ca)->setPropertyValue(propertyOf(Kind::ChildAttributes, index),
                                               wrongValueOf(Kind::ChildAttributes, index), Tag::standard());
                return ModelElement();
            });
    }

    void opSetAttrsOfParent(Args& a) {
        m_operationKind = "SetAttrsOfParent";
        const Ref ca = pickSubject(Kind::ChildAttributes, a);
        const std::size_t how = a.below(8);
        if (how == 7) {
            const Ref misfit = pickValue(Kind::TreeNode, a);
            if (misfit.isNone()) return;
            operation(
                "write attrsOfParent of " + refText(ca) + " to " + refText(misfit) + " (another class)",
                [&](State&, Expect& x, Id&) { x.refuse("CannotCastIncompatibleTypes"); },
                [&] {
                    handleOf(ca)->setPropertyValue(propertyOf(Kind::ChildAttributes, 3),
                                                   Value::ofElement(handleOf(misfit)), Tag::standard());
                    return ModelElement();
                });
            return;
        }
        const Ref pa = pickValue(Kind::ParentAttributes, a);
        operation(
            "setAttrsOfParent " + refText(ca) + " " + refText(pa) + (how >= 5 ? " (reflective)" : ""),
            [&](State& s, Expect& x, Id&) { setAttrsOfParent(s, x, ca, pa); },
            [&] {
                const auto& property = propertyOf(Kind::ChildAttributes, 3);
                if (how >= 5)
                    handleOf(ca)->setPropertyValue(property, elementValue(property, pa), Tag::standard());
                else
                    implOf<tn::ChildAttributes::Impl>(ca).setAttrsOfParent(
                        ::fenmo::uncheckedHandleCast<tn::ParentAttributes>(handleOf(pa)));
                return ModelElement();
            });
    }

    void opSetParent(Args& a) {
        m_operationKind = "SetParent";
        const Ref ca = pickSubject(Kind::ChildAttributes, a);
        // Mostly a node that can be a parent (it holds parent attributes).
        std::vector<Id> parents;
        for (const auto& [id, e] : m_ref.current.elements)
            if (e.kind == Kind::TreeNode && e.slots[0]) parents.push_back(id);
        const Ref node = !parents.empty() && a.chance(65)
                             ? here(parents[a.below(parents.size())], Kind::TreeNode)
                             : pickValue(Kind::TreeNode, a);
        const bool reflective = a.chance(30);
        operation(
            "setParent " + refText(ca) + " " + refText(node) + (reflective ? " (reflective)" : ""),
            [&](State& s, Expect& x, Id&) { setParent(s, x, ca, node); },
            [&] {
                if (reflective) {
                    const auto property = propertyNamed(Kind::ChildAttributes, u"parent");
                    handleOf(ca)->setPropertyValue(property, elementValue(property, node), Tag::standard());
                } else {
                    implOf<tn::ChildAttributes::Impl>(ca).setParent(
                        ::fenmo::uncheckedHandleCast<tn::TreeNode>(handleOf(node)));
                }
                return ModelElement();
            });
    }

    // ParentAttributes' operations addChild and removeChild, called as the framework calls operations.
    void opChildOperation(Args& a, bool add) {
        m_operationKind = add ? "AddChild" : "RemoveChild";
        const Ref pa = pickSubject(Kind::ParentAttributes, a);
        const ::fenmo::meta::Operation& callee =
            add ? tn::schema::ParentAttributes::addChild() : tn::schema::ParentAttributes::removeChild();
        if (a.chance(5)) {
            const Ref misfit = pickValue(Kind::ChildAttributes, a);
            if (misfit.isNone()) return;
            operation(
                std::string(add ? "addChild" : "removeChild") + " of " + refText(pa) + " with " +
                    refText(misfit),
                [&](State&, Expect& x, Id&) { x.refuse("CannotCastIncompatibleTypes"); },
                [&] {
                    handleOf(pa)->invoke(callee, {Value::ofElement(handleOf(misfit))}, Tag::standard());
                    return ModelElement();
                });
            return;
        }
        const Ref node = pickValue(Kind::TreeNode, a);
        operation(
            std::string(add ? "addChild" : "removeChild") + " of " + refText(pa) + " " + refText(node),
            [&](State& s, Expect& x, Id&) {
                if (add)
                    addChild(s, x, pa, node);
                else
                    removeChild(s, x, pa, node);
            },
            [&] {
                handleOf(pa)->invoke(callee, {Value::ofElement(handleOf(node))}, Tag::standard());
                return ModelElement();
            });
    }

    std::size_t childCount(const Ref& pa) const {
        return m_ref.current.alive(pa.id) ? m_ref.current.at(pa.id).children.size() : 0;
    }

    void opChildrenEdit(Args& a) {
        m_operationKind = "ChildrenEdit";
        const Ref pa = pickSubject(Kind::ParentAttributes, a);
        const std::size_t what = a.below(13);
        const bool generic = what < 7 || what == 12;
        const std::size_t size = childCount(pa);
        const std::size_t position = a.below(size + 2);
        const Ref node = pickValue(Kind::TreeNode, a);
        auto sequence = [&]() -> ::fenmo::ElementSequence<tn::TreeNode>& {
            return implOf<tn::ParentAttributes::Impl>(pa).getChildrenMutable();
        };
        const tn::TreeNode typed = ::fenmo::uncheckedHandleCast<tn::TreeNode>(handleOf(node));
        const std::string where = " the children of " + refText(pa);
        const std::string at = " at " + std::to_string(position);
        const std::string how = generic ? " (element-neutral)" : "";
        switch (what) {
            case 0:
            case 7:
                return operation(
                    "add " + refText(node) + " to" + where + how,
                    [&](State& s, Expect& x, Id&) { insertChild(s, x, pa, childCount(pa), node, false); },
                    [&] {
                        if (generic)
                            sequence().generic().add(handleOf(node));
                        else
                            sequence().add(typed);
                        return ModelElement();
                    });
            case 1:
            case 8:
                return operation(
                    "insert " + refText(node) + " into" + where + at + how,
                    [&](State& s, Expect& x, Id&) { insertChild(s, x, pa, position, node, generic); },
                    [&] {
                        if (generic)
                            sequence().generic().insert(position, handleOf(node));
                        else
                            sequence().insert(position, typed);
                        return ModelElement();
                    });
            case 2:
            case 3:
            case 9:
                return operation(
                    "replace the node" + at + " of" + where + " by " + refText(node) + how +
                        (what == 3 ? " through a position" : ""),
                    [&](State& s, Expect& x, Id&) {
                        replaceChild(s, x, pa, position, node, generic, what == 3);
                    },
                    [&] {
                        if (what == 3)
                            sequence().generic().at(position) = handleOf(node);
                        else if (generic)
                            sequence().generic().replace(position, handleOf(node));
                        else
                            sequence().replace(position, typed);
                        return ModelElement();
                    });
            case 4:
            case 10:
                return operation(
                    "erase the node" + at + " of" + where + how,
                    [&](State& s, Expect& x, Id&) { eraseChild(s, x, pa, position, generic); },
                    [&] {
                        if (generic)
                            sequence().generic().erase(position);
                        else
                            sequence().erase(position);
                        return ModelElement();
                    });
            case 5:
            case 11:
                return operation(
                    "remove " + refText(node) + " from" + where + how,
                    [&](State& s, Expect& x, Id&) { removeChildElement(s, x, pa, node); },
                    [&] {
                        if (generic)
                            sequence().generic().remove(handleOf(node));
                        else
                            sequence().remove(handleOf(node));
                        return ModelElement();
                    });
            case 6:
                return operation(
                    "clear" + where + how, [&](State& s, Expect& x, Id&) { clearChildren(s, x, pa); },
                    [&] {
                        sequence().generic().clear();
                        return ModelElement();
                    });
            default: {
                const Ref misfit = pickValue(Kind::ChildAttributes, a);
                if (misfit.isNone() ||
                    (misfit.origin == Ref::Origin::Here && !m_ref.current.alive(misfit.id)))
                    return;
                return operation(
                    "add " + refText(misfit) + " to" + where + how,
                    [&](State& s, Expect& x, Id&) {
                        if (pa.origin == Ref::Origin::Proxy) return x.refuse("CannotModifyProxy");
                        if (!s.alive(pa.id)) x.mayPass = true;
                        x.refuse("CannotAddIncompatibleTypes");
                    },
                    [&] {
                        sequence().generic().add(handleOf(misfit));
                        return ModelElement();
                    });
            }
        }
    }

    void opMapEdit(Args& a) {
        m_operationKind = "MapEdit";
        const Ref pa = pickSubject(Kind::ParentAttributes, a);
        const std::size_t what = a.below(7);
        const bool generic = what < 3 || what == 6;
        const Ref ca = pickValue(Kind::ChildAttributes, a);
        auto map = [&]() -> ChildMap& {
            return implOf<tn::ParentAttributes::Impl>(pa).getAttrsOfChildrenMutable();
        };
        const std::string where = " the child map of " + refText(pa);
        const std::string how = generic ? " (element-neutral)" : "";
        switch (what) {
            case 0:
            case 3:
                return operation(
                    "add " + refText(ca) + " to" + where + how,
                    [&](State& s, Expect& x, Id&) { mapAdd(s, x, pa, ca); },
                    [&] {
                        if (generic)
                            ::fenmo::WrapperInterface<ChildMap>(map()).add(handleOf(ca));
                        else
                            map().add(::fenmo::uncheckedHandleCast<tn::ChildAttributes>(handleOf(ca)));
                        return ModelElement();
                    });
            case 1:
            case 4:
                return operation(
                    "remove " + refText(ca) + " from" + where + how,
                    [&](State& s, Expect& x, Id&) { mapRemove(s, x, pa, ca); },
                    [&] {
                        if (generic)
                            ::fenmo::WrapperInterface<ChildMap>(map()).remove(handleOf(ca));
                        else
                            map().remove(handleOf(ca));
                        return ModelElement();
                    });
            case 2:
            case 5:
                return operation(
                    "clear" + where + how, [&](State& s, Expect& x, Id&) { mapClear(s, x, pa); },
                    [&] {
                        if (generic)
                            ::fenmo::WrapperInterface<ChildMap>(map()).clear();
                        else
                            map().clear();
                        return ModelElement();
                    });
            default: {
                const Ref misfit = pickValue(Kind::TreeNode, a);
                if (misfit.isNone() ||
                    (misfit.origin == Ref::Origin::Here && !m_ref.current.alive(misfit.id)))
                    return;
                return operation(
                    "add " + refText(misfit) + " to" + where + how,
                    [&](State& s, Expect& x, Id&) {
                        if (pa.origin == Ref::Origin::Proxy) return x.refuse("CannotModifyProxy");
                        if (!s.alive(pa.id)) x.mayPass = true;
                        x.refuse("CannotAddIncompatibleTypes");
                    },
                    [&] {
                        ::fenmo::WrapperInterface<ChildMap>(map()).add(handleOf(misfit));
                        return ModelElement();
                    });
            }
        }
    }

    // Element-neutral reads by position, of the children or of the child map; the element read must be the
    // reference's.
    void opReadPosition(Args& a) {
        m_operationKind = "ReadPosition";
        const Ref pa = pickSubject(Kind::ParentAttributes, a, false);
        if (!m_ref.current.alive(pa.id)) return;
        const bool map = a.chance(50);
        const std::vector<Id> entries =
            map ? m_ref.current.childMap(pa.id) : m_ref.current.at(pa.id).children;
        const std::size_t position = a.below(entries.size() + 2);
        operation(
            std::string("read position ") + std::to_string(position) + " of the " +
                (map ? "child map" : "children") + " of " + refText(pa),
            [&](State& s, Expect& x, Id&) { readPosition(s, x, pa, position, map); },
            [&] {
                auto& parent = implOf<tn::ParentAttributes::Impl>(pa);
                ModelElement read =
                    map ? ::fenmo::WrapperInterface<ChildMap>(parent.getAttrsOfChildrenMutable())
                              .get(position)
                        : parent.getChildrenMutable().generic().get(position);
                if (position < entries.size() && m_pool.idOf(read.get()) != entries[position])
                    fail("read", "position " + std::to_string(position) + " holds " +
                                     elementText(read, m_pool) + ", the reference " +
                                     idText(entries[position]));
                return ModelElement();
            });
    }

    void opDestroy(Args& a) {
        m_operationKind = "Destroy";
        Ref e;
        if (full()) {
            // Make room: a top-level element goes, with everything it contains.
            std::vector<Id> top;
            for (const auto& [id, element] : m_ref.current.elements)
                if (!element.container.container) top.push_back(id);
            if (top.empty()) top.push_back(m_ref.current.elements.begin()->first);
            const Id id = top[a.below(top.size())];
            e = here(id, m_ref.current.at(id).kind);
        } else {
            e = pickSubject(anyKind(a), a, false);
        }
        if (e.origin != Ref::Origin::Here) return;
        operation(
            "destroy " + refText(e), [&](State& s, Expect& x, Id&) { destroy(s, x, e); },
            [&] {
                handleOf(e)->destroy();
                return ModelElement();
            });
    }

    // ---- Undo, redo, history and listeners

    void travel(bool forward) {
        const std::string name = forward ? "redo" : "undo";
        m_operationKind = forward ? "Redo" : "Undo";
        if (depth() > 0) {
            operation(
                name + " inside a transaction", [](State&, Expect& x, Id&) { x.refuse("InvalidOperation"); },
                [&] {
                    forward ? m_model->redo() : m_model->undo();
                    return ModelElement();
                });
            return;
        }
        note(name);
        std::deque<Reference::Step>& from = forward ? m_ref.redo : m_ref.undo;
        std::deque<Reference::Step>& to = forward ? m_ref.undo : m_ref.redo;
        const State before = m_ref.current;
        if (!from.empty()) {
            Reference::Step step = std::move(from.back());
            from.pop_back();
            if (m_ref.current != (forward ? step.before : step.after))
                fail("reference", "the reference's history does not lead to its current state");
            m_ref.current = forward ? step.after : step.before;
            to.push_back(std::move(step));
        }
        try {
            forward ? m_model->redo() : m_model->undo();
        } catch (const std::exception& e) {
            fail("outcome", name + " failed: " + e.what());
        }
        afterOutermost(before, name, false);
        compareStates();
        ++m_result.counts[m_operationKind].done;
    }

    void opHistory(Args& a) {
        m_operationKind = "History";
        const Mark before = mark();
        switch (a.below(6)) {
            case 0:
            case 1: {
                const std::size_t steps = oneOf<std::size_t>(a, {0, 1, 2, 3, 5, 8, SIZE_MAX});
                const std::size_t bytes =
                    oneOf<std::size_t>(a, {SIZE_MAX, SIZE_MAX, 1u << 20, 64u << 10, 4096, 512, 0});
                note("history limits " + std::to_string(steps) + " steps, " + std::to_string(bytes) +
                     " bytes");
                m_model->setHistoryLimits(steps, bytes);
                m_ref.maxSteps = steps;
                m_ref.maxBytes = bytes;
                m_ref.trimToStepLimit();
                alignHistory();
                break;
            }
            case 2:
            case 3: {
                const bool on = a.chance(60);
                note(on ? "undo recording on" : "undo recording off");
                m_model->setUndoRecording(on);
                m_ref.recording = on;
                expectQuiet(before);
                break;
            }
            case 4:
                note("clear the history");
                m_model->clearHistory();
                m_ref.undo.clear();
                m_ref.redo.clear();
                alignHistory();
                break;
            default:
                note("history without limits");
                m_model->setHistoryLimits(SIZE_MAX, SIZE_MAX);
                m_ref.maxSteps = m_ref.maxBytes = SIZE_MAX;
                alignHistory();
        }
        if (m_reports.size() != before.reports) fail("report", "a history setting reported changes");
        compareStates();
        ++m_result.counts[m_operationKind].done;
    }

    void opListener(Args& a) {
        m_operationKind = "Listener";
        const std::size_t what = a.below(4);
        if (what < 2 && m_listeners.size() < 4) {
            const bool throws = what == 1 && a.chance(50);
            if (throws && !(m_options.defects & kThrowingListener)) {
                note("add a listener that throws (not run: " + defectNames(kThrowingListener) + ")");
                ++m_result.skipped;
                return;
            }
            note(throws ? "add a listener that throws" : "add a counting listener");
            auto heard = std::make_shared<std::size_t>(0);
            ::fenmo::ListenerToken token =
                m_model->addListener([heard, throws](const ::fenmo::ChangeReport&) {
                    ++*heard;
                    if (throws) throw std::runtime_error("a listener failed");
                });
            m_listeners.push_back({std::move(token), heard, m_reports.size(), throws});
        } else if (!m_listeners.empty()) {
            note("remove a listener");
            m_listeners.erase(m_listeners.begin() + static_cast<std::ptrdiff_t>(a.below(m_listeners.size())));
        } else {
            note("remove a listener (none registered: nothing)");
        }
        compareStates();
        ++m_result.counts[m_operationKind].done;
    }

    // For the checker's own tests: a change the reference is not told about, found by the next comparison.
    void tamper() {
        std::vector<Id> live = aliveOf(Kind::ChildAttributes);
        if (live.empty()) return;
        m_pool.handle(live.front())
            ->setPropertyValue(propertyOf(Kind::ChildAttributes, 1),
                               ::fenmo::Value::ofString(u"behind the reference's back"), Tag::standard());
        compareStates();
    }

    const std::uint8_t* m_data;
    std::size_t m_count;
    std::size_t m_next = 0, m_current = 0;
    Options m_options;
    std::array<unsigned, kOpCount> m_weights;
    unsigned m_totalWeight = 0;
    Result m_result;
    std::string m_description, m_operationKind = "set-up";

    ::fenmo::Model m_model, m_other;
    std::size_t m_otherCount = 0;
    Pool m_pool;
    std::vector<Kind> m_kinds;  // by Id
    std::array<ModelElement, kKindCount> m_proxies, m_foreign;
    std::uint32_t m_fresh = 0;
    std::vector<::fenmo::ChangeReport> m_reports;
    std::size_t m_reportsChecked = 0;
    ::fenmo::ListenerToken m_token;
    struct Listener {
        ::fenmo::ListenerToken token;
        std::shared_ptr<std::size_t> heard;
        std::size_t since;
        bool throws;
    };
    std::vector<Listener> m_listeners;

    Reference m_ref;
};

}  // namespace

Options optionsFromEnvironment() {
    Options options;
    if (const char* defects = std::getenv("CHECKER_DEFECTS")) options.defects = parseDefects(defects);
    if (const char* weights = std::getenv("CHECKER_WEIGHTS")) options.weights = weights;
    options.trace = std::getenv("CHECKER_TRACE") != nullptr;
    if (const char* every = std::getenv("CHECKER_SAVE_LOAD_EVERY"))
        options.saveLoadEvery = static_cast<std::size_t>(std::strtoull(every, nullptr, 10));
    return options;
}

Result run(const std::uint8_t* data, std::size_t size, const Options& options) {
    return Driver(data, size, options).run();
}

Result run(const std::vector<std::uint8_t>& operations, const Options& options) {
    return run(operations.data(), operations.size(), options);
}

std::vector<std::uint8_t> randomOperations(std::uint64_t seed, std::size_t count) {
    std::vector<std::uint8_t> bytes(count * kOperationSize);
    // The seed is mixed first: neighbouring seeds must not give shifted copies of one stream.
    std::uint64_t state = (seed ^ 0xD1B54A32D192ED03ULL) * 0xBF58476D1CE4E5B9ULL;
    state = (state ^ (state >> 29)) * 0x94D049BB133111EBULL;
    state ^= state >> 32;
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        std::memcpy(bytes.data() + i, &z, 8);
    }
    return bytes;
}

std::vector<std::uint8_t> shrink(const std::vector<std::uint8_t>& operations, const Result& failure,
                                 const Options& options, std::size_t maxRuns) {
    Options quiet = options;
    quiet.log = false;
    using Operation = std::array<std::uint8_t, kOperationSize>;
    std::vector<Operation> ops(std::min(operations.size() / kOperationSize, failure.failedAt + 1));
    for (std::size_t i = 0; i < ops.size(); ++i)
        std::memcpy(ops[i].data(), operations.data() + i * kOperationSize, kOperationSize);
    auto bytesOf = [](const std::vector<Operation>& list) {
        std::vector<std::uint8_t> bytes;
        for (const Operation& op : list) bytes.insert(bytes.end(), op.begin(), op.end());
        return bytes;
    };
    std::size_t runs = 0;
    // Answers whether `candidate` fails the same way; if so, cuts it to its failing prefix.
    auto stillFails = [&](std::vector<Operation>& candidate) {
        ++runs;
        Result r = run(bytesOf(candidate), quiet);
        if (!r.failed || r.category != failure.category) return false;
        candidate.resize(std::min(candidate.size(), r.failedAt + 1));
        return true;
    };
    for (std::size_t chunk = std::max<std::size_t>(1, ops.size() / 2); runs < maxRuns;) {
        bool dropped = false;
        for (std::size_t i = 0; i < ops.size() && runs < maxRuns;) {
            std::vector<Operation> candidate(ops.begin(), ops.begin() + static_cast<std::ptrdiff_t>(i));
            candidate.insert(candidate.end(),
                             ops.begin() + static_cast<std::ptrdiff_t>(std::min(ops.size(), i + chunk)),
                             ops.end());
            if (!candidate.empty() && stillFails(candidate)) {
                ops = std::move(candidate);
                dropped = true;
            } else {
                i += chunk;
            }
        }
        if (chunk == 1 && !dropped) break;
        chunk = std::max<std::size_t>(1, chunk / 2);
    }
    return bytesOf(ops);
}

void addCounts(Result& total, const Result& r) {
    total.operations += r.operations;
    total.skipped += r.skipped;
    for (const auto& [kind, c] : r.counts) {
        Result::Counts& t = total.counts[kind];
        t.done += c.done;
        t.refused += c.refused;
        t.notRun += c.notRun;
    }
}

std::string countsTable(const Result& r) {
    std::string out;
    for (const auto& [kind, c] : r.counts)
        out += "  " + kind + ": " + std::to_string(c.done) + " done, " + std::to_string(c.refused) +
               " refused, " + std::to_string(c.notRun) + " not run\n";
    return out;
}

std::string toHex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::vector<std::uint8_t> fromHex(const std::string& text) {
    auto value = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        int v = value(c);
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return bytes;
}

std::string weightTable() {
    std::string out;
    for (const OpInfo& op : kOps)
        out += std::string(out.empty() ? "" : ",") + op.name + "=" + std::to_string(op.weight);
    return out;
}

}  // namespace checker
