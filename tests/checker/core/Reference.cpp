#include "core/Reference.hpp"

#include <algorithm>
#include <climits>
#include <set>

namespace checker {

// ---- What the checker knows of the metamodel

std::string_view kindName(Kind kind) {
    static constexpr std::string_view names[kKindCount] = {
        "BlockAttributes",        "BusTypeElementAttributes",
        "BusTypeRootAttributes",  "ChildAttributes",
        "MessageQueueAttributes", "ParentAttributes",
        "PlatformAttributes",     "PropagationAttributes",
        "SignalAttributes",       "TreeNode"};
    return names[static_cast<int>(kind)];
}

namespace {

constexpr PropertyInfo text(std::u16string_view name) {
    return {name, ScalarKind::Text, 0};
}
constexpr PropertyInfo flag(std::u16string_view name) {
    return {name, ScalarKind::Bool, 0};
}
constexpr PropertyInfo number(std::u16string_view name) {
    return {name, ScalarKind::Int, 0};
}
constexpr PropertyInfo choice(std::u16string_view name, int literals) {
    return {name, ScalarKind::Enum, literals};
}
constexpr PropertyInfo block(std::u16string_view name) {
    return {name, ScalarKind::BlockPointer, 0};
}
constexpr PropertyInfo port(std::u16string_view name) {
    return {name, ScalarKind::PortPointer, 0};
}

}  // namespace

const ClassInfo& scalarClass(Kind kind) {
    static const ClassInfo none{{}, false};
    static const ClassInfo busTypeElement{
        {choice(u"complexity", 3), text(u"min"), text(u"max"), text(u"unit"), text(u"dataType"),
         text(u"dims"), choice(u"dimsMode", 3), text(u"sampleTime"), text(u"valueType"), text(u"desc")},
        false};
    static const ClassInfo busTypeRoot{{text(u"checksum")}, false};
    static const ClassInfo messageQueue{{flag(u"useDefaultAttrs"), text(u"queueCapacity"),
                                         choice(u"queueType", 2), flag(u"queueOverwriting")},
                                        true};
    static const ClassInfo platform{{choice(u"qosType", 3), text(u"dataNode")}, true};
    static const ClassInfo propagation{
        {flag(u"partialInfo"), port(u"groundSource"), text(u"trivialBusName"), block(u"tavBusOrigSrc"),
         block(u"tavBusSrc"), number(u"tavBusSrcOPort"), block(u"tavBusDst"), number(u"tavBusDstIPort"),
         flag(u"isMessage")},
        true};
    static const ClassInfo signal{
        {choice(u"complexity", 3), text(u"min"), text(u"max"), text(u"unit"), text(u"dataType"),
         text(u"dims"), choice(u"dimsMode", 3), text(u"sampleTime"), choice(u"virtuality", 3),
         choice(u"dataMode", 3), text(u"valueType"), text(u"desc"), text(u"outputSignalName"),
         text(u"initialOutput"), choice(u"outputWhenDisabled", 2)},
        true};
    switch (kind) {
        case Kind::BusTypeElementAttributes:
            return busTypeElement;
        case Kind::BusTypeRootAttributes:
            return busTypeRoot;
        case Kind::MessageQueueAttributes:
            return messageQueue;
        case Kind::PlatformAttributes:
            return platform;
        case Kind::PropagationAttributes:
            return propagation;
        case Kind::SignalAttributes:
            return signal;
        default:
            return none;
    }
}

bool hasScalars(Kind kind) {
    return !scalarClass(kind).properties.empty();
}

const std::array<SlotInfo, 10>& nodeSlots() {
    static const std::array<SlotInfo, 10> slots{{{u"parentAttrs", Kind::ParentAttributes},
                                                 {u"childAttrs", Kind::ChildAttributes},
                                                 {u"signalAttrs", Kind::SignalAttributes},
                                                 {u"busTypeRootAttrs", Kind::BusTypeRootAttributes},
                                                 {u"busTypeElementAttrs", Kind::BusTypeElementAttributes},
                                                 {u"blockAttrs", Kind::BlockAttributes},
                                                 {u"propAttrs", Kind::PropagationAttributes},
                                                 {u"msgQueueAttrs", Kind::MessageQueueAttributes},
                                                 {u"inheritedParentAttrs", Kind::ParentAttributes},
                                                 {u"platformAttrs", Kind::PlatformAttributes}}};
    return slots;
}

namespace {

constexpr std::pair<Defect, std::string_view> kDefectNames[] = {
    {kDeadWrites, "DeadWrites"},
    {kMapUniqueness, "MapUniqueness"},
    {kCycles, "Cycles"},
    {kDoubleChildren, "DoubleChildren"},
    {kSetParentSteps, "SetParentSteps"},
    {kIdentityReuse, "IdentityReuse"},
    {kRollbackLeak, "RollbackLeak"},
    {kThrowingListener, "ThrowingListener"},
    {kGenericPositions, "GenericPositions"},
    {kCrossModelBuilder, "CrossModelBuilder"},
    {kEnumLiterals, "EnumLiterals"},
    {kReportsDropDestroyed, "ReportsDropDestroyed"},
    {kLoadFilesUnfiledChildren, "LoadFilesUnfiledChildren"}};

}  // namespace

std::string defectNames(std::uint32_t defects) {
    std::string names;
    for (const auto& [defect, name] : kDefectNames)
        if (defects & defect) names += (names.empty() ? "" : ",") + std::string(name);
    return names.empty() ? "none" : names;
}

std::uint32_t parseDefects(std::string_view text) {
    if (text == "all") return kAllDefects;
    std::uint32_t defects = 0;
    while (!text.empty()) {
        std::size_t comma = text.find(',');
        std::string_view name = text.substr(0, comma);
        for (const auto& [defect, known] : kDefectNames)
            if (name == known) defects |= defect;
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return defects;
}

// ---- Questions about a state

std::vector<Id> State::childMap(Id parent) const {
    std::vector<Id> map;
    for (const auto& [id, e] : elements)
        if (e.kind == Kind::ChildAttributes && e.attrsOfParent == parent) map.push_back(id);
    std::stable_sort(map.begin(), map.end(), [&](Id a, Id b) { return at(a).indexOne < at(b).indexOne; });
    return map;
}

std::map<Id, std::vector<Id>> State::childMaps() const {
    std::map<Id, std::vector<Id>> maps;
    for (const auto& [id, e] : elements)
        if (e.kind == Kind::ChildAttributes && e.attrsOfParent) maps[e.attrsOfParent].push_back(id);
    for (auto& [parent, map] : maps)
        std::stable_sort(map.begin(), map.end(), [&](Id a, Id b) { return at(a).indexOne < at(b).indexOne; });
    return maps;
}

Id State::parentOf(Id childAttributes) const {
    Id parent = at(childAttributes).attrsOfParent;
    return parent ? at(parent).container.container : 0;
}

int State::indexOneOf(Id node) const {
    Id attributes = at(node).slots[1];
    return attributes ? at(attributes).indexOne : 0;
}

bool State::isSelfOrContainer(Id owner, Id element) const {
    for (Id up = owner; up; up = at(up).container.container)
        if (up == element) return true;
    return false;
}

namespace {

// ---- Containment bookkeeping

// Takes `e` out of whatever holds it (a node's slot or a parent's children); it is then contained nowhere.
void detach(State& s, Id e) {
    Link& link = s.at(e).container;
    if (link.container) {
        Element& holder = s.at(link.container);
        if (holder.kind == Kind::TreeNode) {
            if (holder.slots[link.property - 1] == e) holder.slots[link.property - 1] = 0;
        } else {
            std::erase(holder.children, e);
        }
    }
    link = {};
}

// Makes `holder` the container of `e` through `property`, taking it out of its previous holder first. The
// caller puts `e` into the holder's slot or children.
void contain(State& s, Id holder, int property, Id e) {
    detach(s, e);
    s.at(e).container = {holder, property};
}

// Child attributes of `parent`, other than `self`, that already use the name or the index.
bool nameTaken(const State& s, Id parent, Id self, const std::u16string& name) {
    for (Id other : s.childMap(parent))
        if (other != self && s.at(other).name == name) return true;
    return false;
}
bool indexTaken(const State& s, Id parent, Id self, int index) {
    for (Id other : s.childMap(parent))
        if (other != self && s.at(other).indexOne == index) return true;
    return false;
}

// The first position whose child's indexOne is not less than `index`, by bisection (as the library does, so
// that an unordered sequence gives the same answer).
std::size_t positionFor(const State& s, Id parent, int index) {
    const std::vector<Id>& children = s.at(parent).children;
    std::size_t low = 0, high = children.size();
    while (low < high) {
        std::size_t middle = low + (high - low) / 2;
        if (s.indexOneOf(children[middle]) < index)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// ---- Checks shared by the operations

// The element an operation changes: refused if it is a proxy or not alive. Answers whether it may go on.
bool changeable(const State& s, Expect& x, const Ref& e) {
    if (e.origin == Ref::Origin::Proxy) {
        x.refuse("CannotModifyProxy");
        return false;
    }
    if (!s.alive(e.id)) {
        // Refused, or a no-op; the value may be checked first, against what the destroyed element still
        // holds (which the reference does not keep). Either way nothing may change.
        x.refuse("CannotAddNonExistentObject", kDeadWrites);
        x.anyKey = x.mayPass = true;
        return false;
    }
    return true;
}

bool isDead(const State& s, const Ref& r) {
    return r.origin == Ref::Origin::Here && !s.alive(r.id);
}
bool isAlive(const State& s, const Ref& r) {
    return r.origin == Ref::Origin::Here && s.alive(r.id);
}

// A destroyed owner of a sequence accessed by position: the position (checked against what the dead
// element still holds, which the reference does not keep) may be refused first.
bool changeableAt(const State& s, Expect& x, const Ref& owner, bool generic) {
    if (changeable(s, x, owner)) return true;
    if (generic && isDead(s, owner)) x.refuse("InvalidValue");
    return false;
}

// An element to be contained by `owner`: one of another model, or `owner` itself or one of its containers
// (a cycle), is refused. Answers whether it may go on.
bool containable(const State& s, Expect& x, Id owner, const Ref& e) {
    if (e.origin == Ref::Origin::OtherModel) {
        x.refuse("CannotCreateCrossModelAssociation");
        return false;
    }
    if (s.isSelfOrContainer(owner, e.id)) {
        x.refuse("InvalidValue", kCycles);
        return false;
    }
    return true;
}

bool validEnum(const ClassInfo& info, int index, const OptionalScalar& value) {
    const PropertyInfo& p = info.properties[static_cast<std::size_t>(index - 1)];
    if (p.kind != ScalarKind::Enum || !value) return true;
    std::int32_t v = std::get<EnumValue>(*value).value;
    return v >= 0 && v < p.literals;
}

// addChild of a node that passed the checks: out of its place (here or in another parent), into the place
// of its index.
void placeChild(State& s, Id parent, Id node) {
    std::erase(s.at(parent).children, node);
    std::size_t position = positionFor(s, parent, s.indexOneOf(node));
    contain(s, parent, 1, node);
    std::vector<Id>& children = s.at(parent).children;
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(position), node);
}

void addChildChecked(State& s, Expect& x, Id parent, const Ref& node) {
    if (node.isNone()) return;
    if (isDead(s, node)) {
        // An invalid element given to a sequence is ignored (or refused: both leave everything as it was).
        x.refuse("CannotAddNonExistentObject");
        x.mayPass = true;
        return;
    }
    if (!containable(s, x, parent, node)) return;
    placeChild(s, parent, node.id);
}

void removeChildOf(State& s, Id parent, Id node) {
    std::vector<Id>& children = s.at(parent).children;
    auto held = std::find(children.begin(), children.end(), node);
    if (held == children.end()) return;
    children.erase(held);
    s.at(node).container = {};
}

// setAttrsOfParent once the element itself was found changeable.
void associate(State& s, Expect& x, Id ca, const Ref& pa) {
    Element& child = s.at(ca);
    if (pa.isNone() ? child.attrsOfParent == 0
                    : pa.origin == Ref::Origin::Here && pa.id == child.attrsOfParent)
        return;
    if (isDead(s, pa)) {
        x.refuse("CannotAddNonExistentObject", kDeadWrites);
        return;
    }
    if (pa.origin == Ref::Origin::OtherModel) {
        x.refuse("CannotCreateCrossModelAssociation");
        return;
    }
    if (!pa.isNone()) {
        if (indexTaken(s, pa.id, ca, child.indexOne)) x.refuse("UniquenessConstraint");
        if (nameTaken(s, pa.id, ca, child.name)) x.refuse("UniquenessConstraint");
        if (x.refused()) return;
    }
    child.attrsOfParent = pa.isNone() ? 0 : pa.id;
}

// A node created into a parent joins the parent's map by its child attributes, unless they already name a
// parent; its keys must be free there.
void adoptChild(State& s, Expect& x, Id parent, Id node) {
    Id ca = s.at(node).slots[1];
    if (!ca || s.at(ca).attrsOfParent) return;
    if (indexTaken(s, parent, ca, s.at(ca).indexOne) || nameTaken(s, parent, ca, s.at(ca).name)) {
        x.refuse("UniquenessConstraint");
        return;
    }
    s.at(ca).attrsOfParent = parent;
}

}  // namespace

std::vector<Id> State::misfiledChildren() const {
    std::vector<Id> misfiled;
    for (const auto& [id, e] : elements)
        if (e.kind == Kind::ParentAttributes)
            for (Id child : e.children)
                if (Id ca = at(child).slots[1]; ca && at(ca).attrsOfParent != id) misfiled.push_back(ca);
    return misfiled;
}

void Reference::trimToStepLimit() {
    while (undo.size() + redo.size() > maxSteps) {
        if (!undo.empty())
            undo.pop_front();
        else
            redo.pop_front();
    }
}

// ---- Scalars

void setScalar(State& s, Expect& x, const Ref& e, int index, const OptionalScalar& value, bool reflective,
               bool privileged) {
    const ClassInfo& info = scalarClass(e.kind);
    if (reflective && !info.publicSetters && !privileged) {
        // Without privilege the class does not handle it; the framework refuses a property without mutator.
        x.refuse("CannotSetReadOnlyProperty");
        return;
    }
    // A reflective write converts the value (an enumerator without literal is refused there) before it
    // looks at the element.
    if (reflective && !validEnum(info, index, value)) {
        x.refuse("InvalidValue", kEnumLiterals);
        return;
    }
    if (!changeable(s, x, e)) return;
    if (!validEnum(info, index, value)) {
        x.refuse("InvalidValue", kEnumLiterals);
        return;
    }
    s.at(e.id).values[static_cast<std::size_t>(index - 1)] = value;
}

void setScalarWrongType(State& s, Expect& x, const Ref& e, int index, bool privileged) {
    (void)s, (void)index;
    if (!scalarClass(e.kind).publicSetters && !privileged)
        x.refuse("CannotSetReadOnlyProperty");
    else
        x.refuse("CannotCastIncompatibleTypes");
}

void insertBlock(State& s, Expect& x, const Ref& e, std::uintptr_t block) {
    if (e.origin == Ref::Origin::Proxy) {
        x.refuse("CannotModifyProxy");  // a proxy's set is empty, so this always changes it
        return;
    }
    if (!changeable(s, x, e)) return;
    std::vector<std::uintptr_t>& blocks = s.at(e.id).blocks;
    auto at = std::lower_bound(blocks.begin(), blocks.end(), block);
    if (at == blocks.end() || *at != block) blocks.insert(at, block);
}

void eraseBlock(State& s, Expect& x, const Ref& e, std::uintptr_t block) {
    if (e.origin == Ref::Origin::Proxy) return;  // nothing to erase
    if (!changeable(s, x, e)) return;
    std::erase(s.at(e.id).blocks, block);
}

void clearBlocks(State& s, Expect& x, const Ref& e) {
    if (e.origin == Ref::Origin::Proxy) return;
    if (!changeable(s, x, e)) return;
    s.at(e.id).blocks.clear();
}

// ---- TreeNode slots

void setSlot(State& s, Expect& x, const Ref& node, int slot, const Ref& value) {
    if (!changeable(s, x, node)) return;
    Id current = s.at(node.id).slots[static_cast<std::size_t>(slot - 1)];
    if (value.isNone() ? current == 0 : value.origin == Ref::Origin::Here && value.id == current) return;
    if (isDead(s, value)) {
        x.refuse("CannotAddNonExistentObject", kDeadWrites);
        return;
    }
    if (!value.isNone() && !containable(s, x, node.id, value)) return;
    if (current) s.at(current).container = {};
    s.at(node.id).slots[static_cast<std::size_t>(slot - 1)] = 0;
    if (value.isNone()) return;
    contain(s, node.id, slot, value.id);
    s.at(node.id).slots[static_cast<std::size_t>(slot - 1)] = value.id;
}

// ---- ChildAttributes

void setName(State& s, Expect& x, const Ref& ca, const std::u16string& name) {
    if (!changeable(s, x, ca)) return;
    Element& child = s.at(ca.id);
    if (child.name == name) return;
    if (child.attrsOfParent && nameTaken(s, child.attrsOfParent, ca.id, name)) {
        x.refuse("UniquenessConstraint");
        return;
    }
    child.name = name;
}

void setIndexOne(State& s, Expect& x, const Ref& ca, int index) {
    if (!changeable(s, x, ca)) return;
    if (s.at(ca.id).indexOne == index) return;
    const Id parentAttrs = s.at(ca.id).attrsOfParent;
    if (parentAttrs && indexTaken(s, parentAttrs, ca.id, index)) {
        x.refuse("UniquenessConstraint");
        return;
    }
    // The node leaves its parent's children and comes back at the place of its new index.
    const Id node = s.at(ca.id).container.container;
    const bool hasParent = parentAttrs && s.parentOf(ca.id);
    if (hasParent && node) removeChildOf(s, parentAttrs, node);
    s.at(ca.id).indexOne = index;
    if (hasParent && node) addChildChecked(s, x, parentAttrs, Ref{Ref::Origin::Here, node, Kind::TreeNode});
}

void setAttrsOfParent(State& s, Expect& x, const Ref& ca, const Ref& pa) {
    if (!changeable(s, x, ca)) return;
    associate(s, x, ca.id, pa);
}

void setParent(State& s, Expect& x, const Ref& ca, const Ref& node) {
    x.defects |= kSetParentSteps;
    if (!changeable(s, x, ca)) {
        // The new parent may be looked at first.
        if (isAlive(s, node) && !s.at(node.id).slots[0]) x.refuse("InvalidValue");
        if (node.origin == Ref::Origin::OtherModel) x.refuse("CannotCreateCrossModelAssociation");
        return;
    }
    if (isDead(s, node)) {
        x.refuse("CannotAddNonExistentObject", kDeadWrites);
        return;
    }
    if (node.origin == Ref::Origin::OtherModel) {
        // The other model's nodes all hold parent attributes, of that model.
        x.refuse("CannotCreateCrossModelAssociation");
        return;
    }
    const Id child = s.at(ca.id).container.container;
    const Id held = s.at(ca.id).attrsOfParent;
    if (node.isNone()) {
        if (!held) return;
        if (child) removeChildOf(s, held, child);
        associate(s, x, ca.id, Ref::none());
        return;
    }
    const Id parentAttrs = s.at(node.id).slots[0];
    if (!parentAttrs) {
        x.refuse("InvalidValue");
        return;
    }
    if (parentAttrs == held && (!child || s.at(child).container.container == parentAttrs)) return;
    associate(s, x, ca.id, Ref{Ref::Origin::Here, parentAttrs, Kind::ParentAttributes});
    if (x.refused() || !child) return;
    addChildChecked(s, x, parentAttrs, Ref{Ref::Origin::Here, child, Kind::TreeNode});
}

// ---- ParentAttributes: operations and children

void addChild(State& s, Expect& x, const Ref& pa, const Ref& node) {
    if (!changeable(s, x, pa)) {
        // A proxy holds no children: adding nothing to it may pass unnoticed. The node may be checked first.
        if (node.isNone() || isDead(s, node)) x.mayPass = true;
        if (node.origin == Ref::Origin::OtherModel) x.refuse("CannotCreateCrossModelAssociation");
        return;
    }
    addChildChecked(s, x, pa.id, node);
}

void removeChild(State& s, Expect& x, const Ref& pa, const Ref& node) {
    if (!changeable(s, x, pa)) {
        x.mayPass = true;
        return;
    }
    if (isAlive(s, node)) removeChildOf(s, pa.id, node.id);
}

void insertChild(State& s, Expect& x, const Ref& pa, std::size_t position, const Ref& node, bool generic) {
    if (!changeableAt(s, x, pa, generic)) return;
    if (generic && position > s.at(pa.id).children.size()) {
        x.refuse("InvalidValue", kGenericPositions);
        return;
    }
    if (node.isNone()) return;
    if (isDead(s, node)) {
        x.refuse("CannotAddNonExistentObject");
        x.mayPass = true;
        return;
    }
    if (!containable(s, x, pa.id, node)) return;
    std::vector<Id>& children = s.at(pa.id).children;
    auto held = std::find(children.begin(), children.end(), node.id);
    if (held != children.end()) {
        // Held already: it moves, its new position counted among the others.
        x.defects |= kDoubleChildren;
        std::size_t from = static_cast<std::size_t>(held - children.begin());
        children.erase(held);
        if (position > from) --position;
    } else {
        contain(s, pa.id, 1, node.id);
    }
    std::vector<Id>& now = s.at(pa.id).children;
    now.insert(now.begin() + static_cast<std::ptrdiff_t>(std::min(position, now.size())), node.id);
}

void replaceChild(State& s, Expect& x, const Ref& pa, std::size_t position, const Ref& node, bool generic,
                  bool throughPosition) {
    if (!changeableAt(s, x, pa, generic || throughPosition)) return;
    const std::vector<Id>& children = s.at(pa.id).children;
    if (position >= children.size()) {
        if (generic) x.refuse("InvalidValue", kGenericPositions);
        return;
    }
    if (node.isNone() || isDead(s, node)) {
        if (throughPosition) x.refuse("CannotAddNonExistentObject");
        return;
    }
    if (node.origin == Ref::Origin::Here && children[position] == node.id) return;
    if (node.origin == Ref::Origin::OtherModel) {
        x.refuse("CannotCreateCrossModelAssociation");
        return;
    }
    // Checked in either order: a node held here already, and a cycle.
    if (std::find(children.begin(), children.end(), node.id) != children.end())
        x.refuse("CannotAddSecondObject", kDoubleChildren);
    if (s.isSelfOrContainer(pa.id, node.id)) x.refuse("InvalidValue", kCycles);
    if (x.refused()) return;
    const Id old = children[position];
    s.at(old).container = {};
    s.at(pa.id).children[position] = 0;  // a placeholder while the node leaves its previous holder
    contain(s, pa.id, 1, node.id);
    s.at(pa.id).children[position] = node.id;
}

void eraseChild(State& s, Expect& x, const Ref& pa, std::size_t position, bool generic) {
    if (!changeableAt(s, x, pa, generic)) return;
    if (position >= s.at(pa.id).children.size()) {
        if (generic) x.refuse("InvalidValue", kGenericPositions);
        return;
    }
    removeChildOf(s, pa.id, s.at(pa.id).children[position]);
}

void removeChildElement(State& s, Expect& x, const Ref& pa, const Ref& node) {
    if (!changeable(s, x, pa)) return;
    if (node.origin == Ref::Origin::Here) removeChildOf(s, pa.id, node.id);
}

void clearChildren(State& s, Expect& x, const Ref& pa) {
    if (!changeable(s, x, pa)) return;
    for (Id child : std::vector<Id>(s.at(pa.id).children)) removeChildOf(s, pa.id, child);
}

void readPosition(const State& s, Expect& x, const Ref& pa, std::size_t position, bool map) {
    std::size_t size = map ? s.childMap(pa.id).size() : s.at(pa.id).children.size();
    if (position >= size) x.refuse("InvalidValue", kGenericPositions);
}

// ---- ParentAttributes: the keyed map

void mapAdd(State& s, Expect& x, const Ref& pa, const Ref& ca) {
    if (!changeable(s, x, pa)) return;
    if (ca.isNone()) return;
    if (isDead(s, ca)) {
        x.refuse("CannotAddNonExistentObject", kDeadWrites);
        x.mayPass = true;
        return;
    }
    if (ca.origin == Ref::Origin::OtherModel) {
        x.refuse("CannotCreateCrossModelAssociation");
        return;
    }
    if (s.at(ca.id).attrsOfParent == pa.id) return;
    const Element& child = s.at(ca.id);
    if (indexTaken(s, pa.id, ca.id, child.indexOne) || nameTaken(s, pa.id, ca.id, child.name)) {
        x.refuse("UniquenessConstraint", kMapUniqueness);
        return;
    }
    s.at(ca.id).attrsOfParent = pa.id;
}

void mapRemove(State& s, Expect& x, const Ref& pa, const Ref& ca) {
    if (!changeable(s, x, pa)) return;
    if (!isAlive(s, ca) || s.at(ca.id).attrsOfParent != pa.id) return;
    s.at(ca.id).attrsOfParent = 0;
}

void mapClear(State& s, Expect& x, const Ref& pa) {
    if (!changeable(s, x, pa)) return;
    for (Id ca : s.childMap(pa.id)) s.at(ca).attrsOfParent = 0;
}

// ---- Destruction

void destroy(State& s, Expect& x, const Ref& e) {
    if (!s.alive(e.id)) {
        x.refuse("CannotAddNonExistentObject");  // or nothing at all: a destroyed element stays destroyed
        x.mayPass = true;
        return;
    }
    // The element and everything it contains, recursively.
    std::vector<Id> doomed{e.id};
    for (std::size_t i = 0; i < doomed.size(); ++i) {
        const Element& d = s.at(doomed[i]);
        for (Id slot : d.slots)
            if (slot) doomed.push_back(slot);
        for (Id child : d.children) doomed.push_back(child);
    }
    detach(s, e.id);
    for (Id d : doomed) s.elements.erase(d);
    // Child attributes filed with destroyed parent attributes are let go.
    for (auto& [id, element] : s.elements)
        if (element.kind == Kind::ChildAttributes && element.attrsOfParent && !s.alive(element.attrsOfParent))
            element.attrsOfParent = 0;
}

// ---- Creation

namespace {

Element newElement(Kind kind) {
    Element e;
    e.kind = kind;
    e.values.resize(scalarClass(kind).properties.size());
    return e;
}

void checkIdentity(Expect& x, Identity identity) {
    if (identity == Identity::ReuseAlive) x.refuse("InvalidValue");
    if (identity == Identity::ReuseDead) x.defects |= kIdentityReuse;
}

// Faults found while the builder is filled, before anything is created.
void fillingFaults(const BuilderPlan& plan, Expect& x) {
    if (plan.wrongTypedValue) x.refuse("CannotCastIncompatibleTypes");
    if (plan.wrongClassNested) x.refuse("InvalidValue");
    if (hasScalars(plan.kind))
        for (const BuilderPlan::Call& call : plan.calls)
            if (!call.unset && !validEnum(scalarClass(plan.kind), call.index, call.value))
                x.refuse("InvalidValue", kEnumLiterals);
    for (const BuilderPlan& child : plan.children) fillingFaults(child, x);
    for (const auto& [slot, nested] : plan.slots) fillingFaults(nested, x);
}

// The values the builder collected: the last value given to each index whose mark is still set.
std::map<int, OptionalScalar> collected(const BuilderPlan& plan) {
    std::map<int, OptionalScalar> values;
    for (const BuilderPlan::Call& call : plan.calls) {
        if (call.unset)
            values.erase(call.index);
        else
            values[call.index] = call.value;
    }
    return values;
}

using Path = std::vector<std::pair<char, int>>;

// Builds the element of `plan` and what it contains, as the builder's creation does: the element with its
// values (child attributes filed with their parent, parent attributes with the child attributes given),
// announced (where its identity is checked), then its contents in index order. Answers 0 once refused.
Id build(State& s, Expect& x, Id& nextId, const BuilderPlan& plan, const Path& path, Identity identity) {
    const Id id = nextId++;
    s.elements.emplace(id, newElement(plan.kind));
    x.created.push_back({id, path});
    for (const auto& [index, value] : collected(plan)) {
        if (plan.kind == Kind::ChildAttributes) {
            if (index == 1) s.at(id).name = value ? std::get<std::u16string>(*value) : std::u16string();
            if (index == 2) s.at(id).indexOne = value ? std::get<std::int32_t>(*value) : 0;
        } else {
            s.at(id).values[static_cast<std::size_t>(index - 1)] = value;
        }
    }
    if (plan.kind == Kind::ChildAttributes &&
        (isAlive(s, plan.attrsOfParent) || plan.attrsOfParent.origin == Ref::Origin::OtherModel))
        associate(s, x, id, plan.attrsOfParent);
    for (const Ref& ca : plan.attrsOfChildren) {
        if (x.refused()) break;
        if (ca.origin == Ref::Origin::OtherModel) {
            x.refuse("CannotCreateCrossModelAssociation", kCrossModelBuilder);
        } else if (isDead(s, ca)) {
            x.defects |= kDeadWrites;  // ignored, as the map's add ignores a destroyed element
        } else if (isAlive(s, ca) && s.at(ca.id).attrsOfParent != id) {
            const Element& child = s.at(ca.id);
            if (indexTaken(s, id, ca.id, child.indexOne) || nameTaken(s, id, ca.id, child.name))
                x.refuse("UniquenessConstraint", kMapUniqueness);
            else
                s.at(ca.id).attrsOfParent = id;
        }
    }
    for (std::uintptr_t block : std::set<std::uintptr_t>(plan.blocks.begin(), plan.blocks.end()))
        s.at(id).blocks.push_back(block);
    checkIdentity(x, identity);
    if (x.refused()) return 0;

    // Contents: the last nested builder given to each slot, in index order; children in the order given.
    std::map<int, const BuilderPlan*> slots;
    for (const auto& [slot, nested] : plan.slots) slots[slot] = &nested;
    for (const auto& [slot, nested] : slots) {
        Path inner = path;
        inner.emplace_back('s', slot);
        Id contained = build(s, x, nextId, *nested, inner, Identity::Chosen);
        if (!contained) return 0;
        contain(s, id, slot, contained);
        s.at(id).slots[static_cast<std::size_t>(slot - 1)] = contained;
    }
    for (std::size_t i = 0; i < plan.children.size(); ++i) {
        Path inner = path;
        inner.emplace_back('c', static_cast<int>(i));
        Id child = build(s, x, nextId, plan.children[i], inner, Identity::Chosen);
        if (!child) return 0;
        contain(s, id, 1, child);
        s.at(id).children.push_back(child);
        adoptChild(s, x, id, child);
        if (x.refused()) return 0;
    }
    return id;
}

// Adds the refusal of the element a creation goes into: something was created for it, which must not stay.
void refuseAlso(Expect& x, const Expect& subject) {
    x.keys.insert(x.keys.end(), subject.keys.begin(), subject.keys.end());
    x.defects |= subject.defects;
    x.mayPass = false;
}

}  // namespace

void create(State& s, Expect& x, Id& nextId, Kind kind, Identity identity) {
    checkIdentity(x, identity);
    if (x.refused()) return;
    const Id id = nextId++;
    s.elements.emplace(id, newElement(kind));
    x.created.push_back({id, {}});
}

void createFromBuilder(State& s, Expect& x, Id& nextId, const BuilderPlan& plan, Identity identity) {
    fillingFaults(plan, x);
    if (x.refused()) return;
    build(s, x, nextId, plan, {}, identity);
}

void createIntoSlot(State& s, Expect& x, Id& nextId, const Ref& node, int slot, const BuilderPlan& plan,
                    Identity identity) {
    fillingFaults(plan, x);
    if (x.refused()) return;
    // The node may be found unchangeable before or after the element is created.
    Expect subject;
    const bool changes = changeable(s, subject, node);
    const Id created = build(s, x, nextId, plan, {}, identity);
    if (!changes) return refuseAlso(x, subject);
    if (!created) return;
    setSlot(s, x, Ref{Ref::Origin::Here, node.id, Kind::TreeNode}, slot,
            Ref{Ref::Origin::Here, created, plan.kind});
}

void createIntoChildren(State& s, Expect& x, Id& nextId, const Ref& pa, const BuilderPlan& plan,
                        Identity identity) {
    fillingFaults(plan, x);
    if (x.refused()) return;
    Expect subject;
    const bool changes = changeable(s, subject, pa);
    const Id node = build(s, x, nextId, plan, {}, identity);
    if (!changes) return refuseAlso(x, subject);
    if (!node) return;
    contain(s, pa.id, 1, node);
    s.at(pa.id).children.push_back(node);
    adoptChild(s, x, pa.id, node);
}

bool createsFiledPair(const State& before, const State& after) {
    for (const auto& [id, e] : after.elements)
        if (e.kind == Kind::ChildAttributes && !before.alive(id) && e.attrsOfParent &&
            !before.alive(e.attrsOfParent))
            return true;
    return false;
}

// ---- Descriptions

std::string scalarText(const OptionalScalar& value) {
    if (!value) return "-";
    struct Visitor {
        std::string operator()(const std::u16string& s) const {
            std::string out = "t'";
            for (char16_t c : s) {
                if (c >= 0x20 && c < 0x7f && c != '\'' && c != '\\')
                    out += static_cast<char>(c);
                else
                    out += "\\u" + std::to_string(static_cast<unsigned>(c));
            }
            return out + "'";
        }
        std::string operator()(bool b) const { return b ? "b1" : "b0"; }
        std::string operator()(std::int32_t i) const { return "i" + std::to_string(i); }
        std::string operator()(EnumValue e) const { return "e" + std::to_string(e.value); }
        std::string operator()(Pointer p) const { return "p" + std::to_string(p.address); }
    };
    return std::visit(Visitor{}, *value);
}

std::string idText(Id id) {
    return id ? "#" + std::to_string(id) : "-";
}

std::string listText(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
    return out + "]";
}

namespace {

std::string utf8Name(std::u16string_view name) {
    return std::string(name.begin(), name.end());
}

std::vector<std::string> idTexts(const std::vector<Id>& ids) {
    std::vector<std::string> texts;
    for (Id id : ids) texts.push_back(idText(id));
    return texts;
}

const std::vector<Id>& mapIn(const std::map<Id, std::vector<Id>>& maps, Id parent) {
    static const std::vector<Id> none;
    auto it = maps.find(parent);
    return it == maps.end() ? none : it->second;
}

// The indexed properties of an element as a report shows them: (name, value), in index order. `maps` are
// the state's child maps.
std::vector<std::pair<std::string, std::string>> propertyValues(const State& s,
                                                                const std::map<Id, std::vector<Id>>& maps,
                                                                Id id) {
    const Element& e = s.at(id);
    std::vector<std::pair<std::string, std::string>> values;
    switch (e.kind) {
        case Kind::TreeNode:
            for (std::size_t i = 0; i < 10; ++i)
                values.emplace_back(utf8Name(nodeSlots()[i].name), idText(e.slots[i]));
            break;
        case Kind::ChildAttributes:
            values.emplace_back("name", scalarText(Scalar(e.name)));
            values.emplace_back("indexOne", scalarText(Scalar(std::int32_t{e.indexOne})));
            values.emplace_back("attrsOfParent", idText(e.attrsOfParent));
            break;
        case Kind::ParentAttributes:
            values.emplace_back("children", listText(idTexts(e.children)));
            values.emplace_back("attrsOfChildren", listText(idTexts(mapIn(maps, id))));
            break;
        case Kind::BlockAttributes: {
            std::vector<std::string> blocks;
            for (std::uintptr_t b : e.blocks) blocks.push_back(scalarText(Scalar(Pointer{b})));
            values.emplace_back("tavBlocks", listText(blocks));
            break;
        }
        default: {
            const ClassInfo& info = scalarClass(e.kind);
            for (std::size_t i = 0; i < info.properties.size(); ++i)
                values.emplace_back(utf8Name(info.properties[i].name), scalarText(e.values[i]));
        }
    }
    return values;
}

}  // namespace

std::vector<std::string> describe(const State& s) {
    const std::map<Id, std::vector<Id>> maps = s.childMaps();
    std::vector<std::string> lines;
    for (const auto& [id, e] : s.elements) {
        std::string line =
            idText(id) + " " + std::string(kindName(e.kind)) + " in " + idText(e.container.container);
        if (e.container.container) line += "." + std::to_string(e.container.property);
        switch (e.kind) {
            case Kind::TreeNode:
                line += " slots " + listText(idTexts(std::vector<Id>(e.slots.begin(), e.slots.end())));
                line += e.slots[8] ? " inherited" : "";
                break;
            case Kind::ChildAttributes:
                line += " name " + scalarText(Scalar(e.name)) + " index " + std::to_string(e.indexOne) +
                        " of " + idText(e.attrsOfParent) + " parent " +
                        idText(e.attrsOfParent ? s.parentOf(id) : 0);
                break;
            case Kind::ParentAttributes: {
                line += " children " + listText(idTexts(e.children)) + " map ";
                std::vector<std::string> entries;
                for (Id ca : mapIn(maps, id))
                    entries.push_back(idText(ca) + ":" + std::to_string(s.at(ca).indexOne) + ":" +
                                      scalarText(Scalar(s.at(ca).name)));
                line += listText(entries);
                break;
            }
            default:
                for (const auto& [name, value] : propertyValues(s, maps, id))
                    line += " " + name + "=" + value;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

Report reportOf(const State& before, const State& after, std::string cause) {
    Report r{std::move(cause), {}, {}, {}};
    const std::map<Id, std::vector<Id>> oldMaps = before.childMaps(), newMaps = after.childMaps();
    for (const auto& [id, e] : after.elements)
        if (!before.alive(id)) r.created.push_back(id);
    for (const auto& [id, e] : before.elements) {
        auto now = after.elements.find(id);
        if (now == after.elements.end()) {
            r.destroyed.push_back(id);
            continue;
        }
        // An element equal in both states shows the same values, but for the map of parent attributes,
        // which the child attributes make.
        if (now->second == e &&
            (e.kind != Kind::ParentAttributes || mapIn(oldMaps, id) == mapIn(newMaps, id)))
            continue;
        auto old = propertyValues(before, oldMaps, id), values = propertyValues(after, newMaps, id);
        for (std::size_t i = 0; i < old.size(); ++i)
            if (old[i].second != values[i].second)
                r.modified.push_back({id, old[i].first, old[i].second, values[i].second});
    }
    return r;
}

bool emptyReport(const Report& r) {
    return r.created.empty() && r.destroyed.empty() && r.modified.empty();
}

bool isCollectionProperty(std::string_view property) {
    return property == "children" || property == "attrsOfChildren" || property == "tavBlocks";
}

std::string reportText(const Report& r) {
    std::string out = r.cause + " created " + listText(idTexts(r.created)) + " destroyed " +
                      listText(idTexts(r.destroyed)) + " modified";
    for (const PropertyChange& c : r.modified)
        out += " " + idText(c.element) + "." + c.property + ":" + c.oldValue + "->" + c.newValue;
    return out;
}

}  // namespace checker
