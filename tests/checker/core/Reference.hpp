#pragma once
// The reference model of the checker: the tree written as plain structs, with the behaviour of every
// operation the checker drives stated once, for clarity rather than speed. Undo and transactions are
// whole-state copies. Elements are numbered by the checker (Id), so that the reference never needs the
// framework's identities.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace checker {

// The ten element classes, in the order of their names.
enum class Kind : std::uint8_t {
    BlockAttributes,
    BusTypeElementAttributes,
    BusTypeRootAttributes,
    ChildAttributes,
    MessageQueueAttributes,
    ParentAttributes,
    PlatformAttributes,
    PropagationAttributes,
    SignalAttributes,
    TreeNode,
};
constexpr int kKindCount = 10;
std::string_view kindName(Kind kind);

// The value kinds of the attribute classes' scalar properties.
enum class ScalarKind : std::uint8_t { Text, Bool, Int, Enum, BlockPointer, PortPointer };
struct EnumValue {
    std::int32_t value;
    friend bool operator==(const EnumValue&, const EnumValue&) = default;
};
// A host pointer, as its address.
struct Pointer {
    std::uintptr_t address;
    friend bool operator==(const Pointer&, const Pointer&) = default;
};
using Scalar = std::variant<std::u16string, bool, std::int32_t, EnumValue, Pointer>;
using OptionalScalar = std::optional<Scalar>;

struct PropertyInfo {
    std::u16string_view name;
    ScalarKind kind;
    int literals;  // enumerations: how many literals (values 0 .. literals - 1)
};
// What the checker knows of a class of scalar attributes: its properties in index order, and whether
// they have public typed setters (the bus type classes are written through privileged reflection only).
struct ClassInfo {
    std::vector<PropertyInfo> properties;
    bool publicSetters;
};
const ClassInfo& scalarClass(Kind kind);
bool hasScalars(Kind kind);

// The ten containment slots of a TreeNode, in index order (1-based index = position + 1).
struct SlotInfo {
    std::u16string_view name;
    Kind kind;
};
const std::array<SlotInfo, 10>& nodeSlots();

// The known defects of the library that an operation may run into (the defects list, and what the checker
// found). While one is being fixed, its family can be switched off: operations the reference expects to
// touch it are then not run.
enum Defect : std::uint32_t {
    kDeadWrites = 1u << 0,         // a write to a destroyed element
    kMapUniqueness = 1u << 1,      // a key taken among siblings, through the keyed map's own add
    kCycles = 1u << 2,             // an element contained in itself
    kDoubleChildren = 1u << 3,     // a node added to the children that already hold it
    kSetParentSteps = 1u << 4,     // setParent composed of two transactions
    kIdentityReuse = 1u << 5,      // a new element with the identity of a destroyed one
    kRollbackLeak = 1u << 6,       // rolling back the creation of children filed with their parent
    kThrowingListener = 1u << 7,   // a listener that throws
    kGenericPositions = 1u << 8,   // element-neutral access at a position past the end
    kCrossModelBuilder = 1u << 9,  // a builder given child attributes of another model
    kEnumLiterals = 1u << 10,      // an enumeration value without literal
    // Found by the checker: a change report gives a destroyed element held by a single-element property
    // (a slot, attrsOfParent) as no value. Switched off, such values are expected as none.
    kReportsDropDestroyed = 1u << 11,
    // Found by the checker: loading a saved model files a child node's attributes with the node's parent
    // whatever the file says (it names another parent, or none), and fails when that clashes on a key.
    // Switched off, such child attributes' attrsOfParent is not compared after loading, and a model
    // holding them may fail to load.
    kLoadFilesUnfiledChildren = 1u << 12,
};
constexpr std::uint32_t kAllDefects = (1u << 13) - 1;
std::string defectNames(std::uint32_t defects);
// Parses "all", "none" or a comma-separated list of the names above ("DeadWrites,Cycles").
std::uint32_t parseDefects(std::string_view text);

using Id = int;  // an element's number in one run; 0 is no element

struct Link {
    Id container = 0;
    int property = 0;  // the index of the containing property in the container's class
    friend bool operator==(const Link&, const Link&) = default;
};

struct Element {
    Kind kind{};
    Link container;
    std::vector<OptionalScalar> values;  // scalar attribute classes: value of property index i at i - 1
    std::array<Id, 10> slots{};          // TreeNode
    std::u16string name;                 // ChildAttributes
    int indexOne = 0;
    Id attrsOfParent = 0;
    std::vector<Id> children;            // ParentAttributes, in order
    std::vector<std::uintptr_t> blocks;  // BlockAttributes, ascending
    friend bool operator==(const Element&, const Element&) = default;
};

// The live elements of the model.
struct State {
    std::map<Id, Element> elements;

    bool alive(Id id) const { return id != 0 && elements.count(id) != 0; }
    Element& at(Id id) { return elements.at(id); }
    const Element& at(Id id) const { return elements.at(id); }
    // The child attributes whose attrsOfParent is `parent`, by indexOne: what its keyed map holds.
    std::vector<Id> childMap(Id parent) const;
    // All of them at once: parent attributes -> their map (parents without children filed are left out).
    std::map<Id, std::vector<Id>> childMaps() const;
    // The node that holds a ParentAttributes (0 if none): the parent a ChildAttributes names.
    Id parentOf(Id childAttributes) const;
    // The indexOne under which a node is ordered (0 without child attributes).
    int indexOneOf(Id node) const;
    // The child attributes of child nodes that are not filed with the node's parent (they name another
    // parent, or none).
    std::vector<Id> misfiledChildren() const;
    // Whether `element` is `owner` or one of its containers.
    bool isSelfOrContainer(Id owner, Id element) const;

    friend bool operator==(const State&, const State&) = default;
};

// A reference to an element as an operation gets it: one of this model (alive or destroyed), one of
// another model, a proxy, or no element at all.
struct Ref {
    enum class Origin : std::uint8_t { Here, OtherModel, Proxy, None };
    Origin origin = Origin::None;
    Id id = 0;  // for Here
    Kind kind{};

    static Ref none() { return {}; }
    bool isNone() const { return origin == Origin::None; }
};

// What the reference expects of one operation: refused (with one of the given message keys, or any
// failure when `anyKey`), or done; the known defects it touches; the elements it creates, each with the
// path from the element the operation returns (slot index s1..s10 or child position c0.. per step).
struct Expect {
    std::vector<std::string> keys;
    bool anyKey = false;
    // A refusal that may also pass silently (a no-op on a destroyed element), nothing changed either way.
    bool mayPass = false;
    std::uint32_t defects = 0;
    struct Created {
        Id id;
        std::vector<std::pair<char, int>> path;
    };
    std::vector<Created> created;

    bool refused() const { return !keys.empty() || anyKey; }
    void refuse(std::string key, std::uint32_t defect = 0) {
        keys.push_back(std::move(key));
        defects |= defect;
    }
};

// A builder as the driver fills it: plain data, from which the driver builds the real builder and the
// reference computes the element it should create.
struct BuilderPlan {
    struct Nested;
    Kind kind{};
    // Scalar values set (reflectively) and unset (by clearing the mark), in call order.
    struct Call {
        bool unset = false;
        int index = 0;
        OptionalScalar value;
    };
    std::vector<Call> calls;
    bool wrongTypedValue = false;  // one value of another type offered: refused while filling
    // ChildAttributes: name (index 1) and indexOne (index 2) go through `calls` with Text and Int values.
    Ref attrsOfParent;
    // ParentAttributes
    std::vector<BuilderPlan> children;
    std::vector<Ref> attrsOfChildren;
    // TreeNode: nested builders per slot (1-based), in the order given; a later one replaces an earlier.
    std::vector<Nested> slots;
    bool wrongClassNested = false;  // a nested builder of a class that fits no slot: refused while filling
    // BlockAttributes
    std::vector<std::uintptr_t> blocks;
};
struct BuilderPlan::Nested {
    int slot;
    BuilderPlan plan;
};

// The reference's own undo history, limits and transaction levels around the current state.
class Reference {
public:
    State current;
    Id nextId = 1;

    struct Level {
        State saved;
    };
    std::vector<Level> levels;
    bool revertible = false;  // the outermost transaction, or one inside it, was opened revertible

    struct Step {
        State before, after;
    };
    std::deque<Step> undo, redo;
    bool recording = true;
    std::size_t maxSteps = SIZE_MAX;
    std::size_t maxBytes = SIZE_MAX;

    std::size_t depth() const { return levels.size(); }
    // Drops the oldest steps, undo first, while the step bound is passed.
    void trimToStepLimit();
};

// ---- The operations, each applied to a copy of the state (the caller keeps the copy only when the
// operation is not refused). They record refusals and defects in `x`.

// Scalars: typed setter (`reflective` false), or reflective write (privileged or not).
void setScalar(State& s, Expect& x, const Ref& e, int index, const OptionalScalar& value, bool reflective,
               bool privileged);
// A reflective write whose value is of another type than the property's.
void setScalarWrongType(State& s, Expect& x, const Ref& e, int index, bool privileged);
void insertBlock(State& s, Expect& x, const Ref& e, std::uintptr_t block);
void eraseBlock(State& s, Expect& x, const Ref& e, std::uintptr_t block);
void clearBlocks(State& s, Expect& x, const Ref& e);

// TreeNode slots (1-based index).
void setSlot(State& s, Expect& x, const Ref& node, int slot, const Ref& value);

// ChildAttributes.
void setName(State& s, Expect& x, const Ref& ca, const std::u16string& name);
void setIndexOne(State& s, Expect& x, const Ref& ca, int index);
void setAttrsOfParent(State& s, Expect& x, const Ref& ca, const Ref& pa);
void setParent(State& s, Expect& x, const Ref& ca, const Ref& node);

// ParentAttributes' operations and its children (element-neutral access checks positions).
void addChild(State& s, Expect& x, const Ref& pa, const Ref& node);
void removeChild(State& s, Expect& x, const Ref& pa, const Ref& node);
void insertChild(State& s, Expect& x, const Ref& pa, std::size_t position, const Ref& node, bool generic);
void replaceChild(State& s, Expect& x, const Ref& pa, std::size_t position, const Ref& node, bool generic,
                  bool throughPosition);
void eraseChild(State& s, Expect& x, const Ref& pa, std::size_t position, bool generic);
void removeChildElement(State& s, Expect& x, const Ref& pa, const Ref& node);
void clearChildren(State& s, Expect& x, const Ref& pa);
// Reading a position of a collection: refused past the end.
void readPosition(const State& s, Expect& x, const Ref& pa, std::size_t position, bool map);

// ParentAttributes' keyed map of child attributes.
void mapAdd(State& s, Expect& x, const Ref& pa, const Ref& ca);
void mapRemove(State& s, Expect& x, const Ref& pa, const Ref& ca);
void mapClear(State& s, Expect& x, const Ref& pa);

void destroy(State& s, Expect& x, const Ref& e);

// Creation. `reuse`: the new element takes the identity of the given element of this model.
enum class Identity : std::uint8_t { Chosen, Fresh, ReuseAlive, ReuseDead };
void create(State& s, Expect& x, Id& nextId, Kind kind, Identity identity);
void createFromBuilder(State& s, Expect& x, Id& nextId, const BuilderPlan& plan, Identity identity);
void createIntoSlot(State& s, Expect& x, Id& nextId, const Ref& node, int slot, const BuilderPlan& plan,
                    Identity identity);
void createIntoChildren(State& s, Expect& x, Id& nextId, const Ref& pa, const BuilderPlan& plan,
                        Identity identity);

// Whether a rolled-back part (what `after` holds beyond `before`) created child attributes filed with
// parent attributes created alongside: the pair refers to each other.
bool createsFiledPair(const State& before, const State& after);

// ---- Descriptions shared with the real side, so that both print the same text for the same state.

std::string scalarText(const OptionalScalar& value);
std::string idText(Id id);
std::string listText(const std::vector<std::string>& items);
// One line per live element, in Id order.
std::vector<std::string> describe(const State& s);

// A change report as the checker compares it.
struct PropertyChange {
    Id element;
    std::string property, oldValue, newValue;
};
struct Report {
    std::string cause;                     // "commit", "undo", "redo"
    std::vector<Id> created, destroyed;    // ascending
    std::vector<PropertyChange> modified;  // by element, then property index
};
// What a report of a change from `before` to `after` lists.
Report reportOf(const State& before, const State& after, std::string cause);
bool emptyReport(const Report& r);
// Collections may be reported changed when they were touched and hold the same entries again.
bool isCollectionProperty(std::string_view property);
std::string reportText(const Report& r);

}  // namespace checker
