"""One generator class per property kind, mirroring the descriptor templates of
fenmo/include/fenmo/pattern/Properties.hpp one to one.

Every class answers the same questions about its property (what the Impl declares, its field, its
descriptor entry, the builder's value store and setters, how the constructors and the builder's cascade
fill it, the bodies in the class's source); the base class answers "nothing" so that each kind says only
what it has. The emitters never ask which kind a property is: they ask its generator. A new kind is one
class here, added to KINDS; a new generated layer is one method on the base class and on the kinds that
have something to write for it.
"""

from cpp_types import BUILDER, F, UUID, optional, param
from printer import cpp
from schema import STANDARD_TYPES, SchemaError, ValueKind

P_ = f"{F}::pattern"
Q_ = f"{F}::query"


class PropertyKind:
    """The generator of one property (`self.p`) of one class."""

    # Which properties the kind takes: their value kind, whether their type is an element class,
    # whether they are derived, and (None for either) whether they are composite.
    value_kind = None
    element = False
    derived = False
    composite = None
    # What the class's framework hooks need to know of the kind.
    contains = False  # a containment slot: destroyed with the owner, linked and unlinked by the framework
    takes_nested = False  # the builder takes nested builders for it
    collection = False  # a collection the element tells its callback about when it is invalidated

    def __init__(self, schema, prop):
        self.schema = schema
        self.p = prop

    def values(self, **more):
        """The names the templates use: X the owning class, P the capitalised property name, Y its
        declared type, T the C++ type of one value, field, index (the constant that names the property's
        index), handle (the meta::Property accessor)."""
        p = self.p
        return dict(X=p.owner.name, P=p.cap, Y=p.type, T=p.cpp, field=p.field, index=f"Index::{p.name}",
                    handle=p.handle_fn,
                    F=F, P_=P_, UUID=UUID, BUILDER=BUILDER, **more)

    def t(self, template, **more):
        return cpp(template, **self.values(**more))

    def check(self):
        """Raises SchemaError when the property's other fields do not suit the kind."""

    # ---- The Impl: accessors (public, protected, private, virtual after the framework's overrides),
    # its field and its entry in the class's property list.
    def impl_public(self):
        return []

    def impl_protected(self):
        return []

    def impl_private(self):
        return []

    def impl_virtual(self):
        return []

    def field(self):
        return None

    def small_field(self):
        """Whether the field takes a byte (declared after the wider ones)."""
        return False

    def descriptor(self):
        raise NotImplementedError

    # ---- The builder: the type of the value it collects, the value store on BuilderImpl (public
    # operations, private readers), the typed setters of BuilderBase, and how doSetOrAdd files a value
    # or a nested builder given through the property.
    def builder_field_type(self):
        return None

    def builder_store(self):
        return []

    def builder_readers(self):
        return []

    def builder_setters(self):
        return []

    def store_value(self):
        return None

    def store_nested(self):
        return None

    def builder_definitions(self):
        return []

    # ---- Construction: initialiser in both constructors, initialiser from a builder, statements of the
    # constructor from a builder; then, once the element is announced (cascadeCreation), the links to
    # existing elements (linking hands out references to the element, which a half-built one must not
    # do), and last the elements it creates from nested builders.
    def member_init(self):
        return None

    def init_from_builder(self):
        return None

    def builder_body(self):
        return []

    def link(self):
        return []

    def cascade(self):
        return []

    # ---- The class's source: bodies of the accessors declared above.
    def bodies(self):
        return []

    # ---- Framework hooks.
    def invalidate(self):
        return None

    # ---- The scripting wrapper: what scripts see of the property, as (adapter, declared type name,
    # whether scripts may set it), or None when the property is not visible to scripts. The adapter names
    # the template of arvelle/scripting/WrapperSupport.hpp that converts its values.
    def scripting(self):
        return None

    def scripting_word(self):
        """The attribute word of the scripting property: derived properties are marked 8192."""
        return 8192 if self.p.derived else 0

    def creating_method(self):
        """The name of the scripting method that creates an element into the property, or None."""
        return None

    # ---- Queries: the constrainable template of the property and its arguments before the attachment
    # (None: the property cannot be queried), and any look-up the readers can offer besides the field.
    def constrainable(self):
        return None

    def keyed_opposite(self):
        return None


# ---- Scalars: ScalarField, OptionalValue, PlainValue


# The scripting adapters and declared type names of the scalar types, as a plain (always set) value.
SCRIPTING_SCALARS = {
    "String": ("text", "PlexoFactoryString scalar"),
    "Integer": ("int32", "int32 scalar"),
    "Boolean": ("logical", "logical scalar"),
}


def optional_type_name(plain):
    """The declared type of an optional scalar: the plain name without its trailing " scalar", except for
    text, which keeps its name."""
    if plain == "PlexoFactoryString scalar":
        return plain
    return plain[:-len(" scalar")] if plain.endswith(" scalar") else plain


def scripting_name(schema, type_name):
    """The scripting class of a class or enumeration of the package."""
    return schema.package["qualified_prefix"] + type_name


class ScalarField(PropertyKind):
    def init_from_builder(self):
        return self.t("$field(builder.get$P())")


class OptionalValue(ScalarField):
    """A scalar held as boost::optional<T>: set or not set."""

    value_kind = ValueKind.OPTIONAL

    def values(self, **more):
        return super().values(Opt=optional(self.p), **more)

    def impl_public(self):
        out = [self.t("const $Opt& get$P() const noexcept { return $field; }"),
               self.t("bool has$P() const noexcept { return $field.has_value(); }")]
        return out + ([self.setter()] if self.p.public_mutator else [])

    def impl_protected(self):
        return [] if self.p.public_mutator else [self.setter()]

    def setter(self):
        return self.t("void set$P(const $Opt& value);")

    def stored(self):
        """The field's type. Texts are pooled: elements, builders and snapshots holding the same
        characters share one copy. Enumerators (numbered from 0) take one byte."""
        if self.p.cpp == "std::u16string":
            return f"{F}::SharedText"
        enum = self.schema.enum_named(self.p.type)
        if enum and len(enum.literals) <= 255:
            return f"{F}::OptionalEnumerator<{self.p.cpp}>"
        return optional(self.p)

    def field(self):
        return self.t("$Stored $field;", Stored=self.stored())

    def small_field(self):
        return "OptionalEnumerator" in self.stored()

    def descriptor(self):
        access = "" if self.p.public_mutator else f", {P_}::Access::Privileged"
        return self.t("$P_::OptionalValue<&Impl::$field, $index, &$handle, &Impl::set$P$access>", access=access)

    def builder_field_type(self):
        return self.stored()

    def builder_store(self):
        return [self.t("void doSet$P(const $Opt& value) { $field = $F::checkEnumerator(value); }")]

    def builder_readers(self):
        return [self.t("$Stored get$P() const { return $P_::collected(*m_owner, $index, $field); }",
                       Stored=self.stored())]

    def builder_setters(self):
        return [self.t("B& set$P(const $Opt& value) { this->doSet$P(value); markSet($index); return self(); }"),
                self.t("B& unset$P() { markUnset($index); return self(); }")]

    def store_value(self):
        return self.t("$field = $P_::fromValue<$T>(*p, value)")

    def bodies(self):
        if self.p.custom_setter:
            return []
        return [self.t("void $X::Impl::set$P(const $Opt& value) { $P_::setOptional(*this, $field, value, $index); }")]

    def scripting(self):
        if self.schema.enum_named(self.p.type):
            return "optionalEnum", scripting_name(self.schema, self.p.type), self.p.public_mutator
        if self.p.type not in SCRIPTING_SCALARS:
            return None  # host pointers stay on the host's side
        adapter, plain = SCRIPTING_SCALARS[self.p.type]
        adapter = adapter if adapter == "text" else "optional" + adapter[0].upper() + adapter[1:]
        return adapter, optional_type_name(plain), self.p.public_mutator

    def constrainable(self):
        return None if self.schema.native_named(self.p.type) else ("ConstrainableWithAttachment", f"{self.p.cpp}, ", ", 1")


class PlainValue(ScalarField):
    """A scalar that always has a value (a new element has the zero value)."""

    value_kind = ValueKind.SINGLE

    def values(self, **more):
        return super().values(Param=param(self.p.cpp), **more)

    def impl_public(self):
        result = f"const {self.p.cpp}&" if self.p.cpp == "std::u16string" else self.p.cpp
        out = [self.t("$Result get$P() const noexcept { return $field; }", Result=result)]
        return out if self.p.virtual_setter else out + [self.t("void set$P($Param value);")]

    def impl_virtual(self):
        return [self.t("virtual void set$P($Param value);")] if self.p.virtual_setter else []

    def field(self):
        zero = " = 0" if self.p.cpp == "int" else ""
        return self.t("$T $field$zero;", zero=zero)

    def descriptor(self):
        return self.t("$P_::PlainValue<&Impl::$field, $index, &$handle, &Impl::set$P>")

    def builder_field_type(self):
        return self.p.cpp

    def builder_store(self):
        return [self.t("void doSet$P($Param value) { $field = $F::checkEnumerator(value); }")]

    def builder_readers(self):
        return [self.t("$T get$P() const { return $P_::collectedPlain(*m_owner, $index, $field); }")]

    def builder_setters(self):
        return [self.t("B& set$P($Param value) { this->doSet$P(value); markSet($index); return self(); }"),
                self.t("B& unset$P() { markUnset($index); return self(); }")]

    def store_value(self):
        return self.t("$field = $P_::plainFromValue<$T>(*p, value)")

    def bodies(self):
        if self.p.custom_setter:
            return []
        return [self.t("void $X::Impl::set$P($Param value) { $P_::setOptional(*this, $field, value, $index); }")]

    def scripting(self):
        if self.p.type not in SCRIPTING_SCALARS:
            return None
        adapter, plain = SCRIPTING_SCALARS[self.p.type]
        return adapter, plain, True

    def constrainable(self):
        return None if self.schema.native_named(self.p.type) else ("ConstrainableWithAttachment", f"{self.p.cpp}, ", ", 0")


# ---- Single elements: ElementProperty, ContainmentSlot, ReferenceSlot


class ElementProperty(PropertyKind):
    value_kind = ValueKind.SINGLE
    element = True

    def impl_public(self):
        return [self.t("$Y get$P();"),
                self.t("bool has$P() const noexcept { return static_cast<bool>($field); }"),
                # The held element as it is (no proxy resolved, no handle copied), for searches that read
                # it many times; get$P() is the reading for everything else.
                self.t("const $Y& peek$P() const noexcept { return $field; }"),
                self.t("void set$P(const $Y& value);")]

    def impl_private(self):
        return [self.t("void basicSet$P(const $Y& value);")]

    def field(self):
        return self.t("$Y $field;")

    def descriptor(self):
        # The C++ template has the name of the subclass (ContainmentSlot or ReferenceSlot).
        return self.t("$P_::$Template<&Impl::$field, $index, &$handle, &Impl::set$P, &Impl::get$P>",
                      Template=type(self).__name__)

    def bodies(self):
        return [self.t("void $X::Impl::basicSet$P(const $Y& value) { $field = value; }")]

    def scripting(self):
        return "element", scripting_name(self.schema, self.p.type), True

    def constrainable(self):
        return ("ConstrainableRelationWithAttachment", f"{self.p.type}, ", "")

    def keyed_opposite(self):
        """For a reference whose opposite is a keyed map: the look-ups of that map."""
        if not self.p.opposite:
            return None
        owner, name = self.p.opposite.split(".")
        target = self.schema.class_named(owner)
        opposite = next((q for q in target.properties if q.name == name), None) if target else None
        if opposite is None or not isinstance(opposite.generator, ElementMap):
            return None
        k1, k2 = opposite.generator.key_properties()
        return self.t("$Q_::detail::keyedOppositeOf<$O::Impl::Properties, $O::Impl::Index::$o>(schema::$X::$k1(), "
                      "schema::$X::$k2())", Q_=Q_, O=owner, o=name, k1=k1.name, k2=k2.name)


class ContainmentSlot(ElementProperty):
    """A containment slot: the owner contains the element it holds."""

    composite = True
    contains = True
    takes_nested = True

    def impl_public(self):
        return super().impl_public() + [self.t("$Y createInto$P($Y::BuilderWrapper builder, $UUID id);")]

    def builder_field_type(self):
        return f"std::unique_ptr<{BUILDER}>"

    def builder_store(self):
        return self.t("""
            void doSet$P(std::unique_ptr<$BUILDER> nested) { $field = std::move(nested); }
            // The element of the nested builder, created in this builder's orchestration.
            $Y get$P();""").split("\n")

    def builder_setters(self):
        return self.t("""
            // Takes a nested builder of a class that fits; refuses others like setOrAdd.
            B& set$P(std::unique_ptr<$BUILDER> nested) { return take($handle(), nested); }""").split("\n")

    def store_nested(self):
        return self.t("if ($P_::takeNested($field, property, $handle(), nested)) return $index;")

    def builder_definitions(self):
        return [self.t("$Y $X::Impl::BuilderImpl::get$P() { return $P_::createNested<$Y>(*m_owner, $field.get()); }")]

    def cascade(self):
        return [self.t("if (builder.isSet($index)) $P_::containWhileCreating(*this, $field, builder.get$P(), $handle());")]

    def creating_method(self):
        return f"createInto{self.p.cap}"

    def bodies(self):
        accessors = self.t("""
            $Y $X::Impl::get$P() { return $P_::readSlot(*this, $field); }
            void $X::Impl::set$P(const $Y& value) { $P_::setContainedSlot(*this, $field, value, $handle()); }
            $Y $X::Impl::createInto$P($Y::BuilderWrapper builder, $UUID id) {
                return $P_::createInto<$Y>(*this, builder.get(), id, [this](const $Y& created) { set$P(created); });
            }""")
        return [accessors] + super().bodies()


class ReferenceSlot(ElementProperty):
    """A reference to one element; its getter and setter are the class's own (opposite bookkeeping)."""

    composite = False

    def builder_field_type(self):
        return self.p.type

    def builder_store(self):
        return [self.t("void doSet$P(const $Y& value) { $field = value; }")]

    def builder_setters(self):
        return self.t("""
            // An empty or destroyed element clears the mark.
            B& set$P(const $Y& value) {
                if (value) markSet($index);
                else markUnset($index);
                this->doSet$P(value);
                return self();
            }""").split("\n")

    def store_value(self):
        return self.t("$field = $P_::elementFromValue<$Y>(*p, value)")

    def link(self):
        return [self.t("if (builder.isSet($index)) set$P(builder.$field);")]


# ---- Collections: OwnedCollection over ElementSequence, DoubleKeyElementMap and PrimitiveSet


class OwnedCollection(PropertyKind):
    collection = True
    same_rule = "SameWhenEmptyOrSingleSame"
    primitive = ""
    refuse_proxy = True  # element collections are not handed out by a proxy

    def collection_type(self):
        raise NotImplementedError

    def values(self, **more):
        return super().values(C=self.collection_type(), **more)

    def impl_public(self):
        return [self.t("const $C& get$P() const;"),
                self.t("$C& get${P}Mutable();"),
                self.t("bool has$P() const noexcept { return !$field.empty(); }")]

    def field(self):
        return self.t("$C $field;")

    def descriptor(self):
        return self.t("$P_::OwnedCollection<&Impl::$field, $index, &$handle, $P_::$Rule$primitive>",
                      Rule=self.same_rule, primitive=self.primitive)

    def member_init(self):
        return self.t("$field(*this, $handle())")

    def builder_store(self):
        return [self.t("void doAdd$P($Arg value) { $field.push_back(value); }", Arg=self.added_type()),
                self.t("void doClear$P() { $field.clear(); }")]

    def added_type(self):
        raise NotImplementedError

    def invalidate(self):
        return self.t("callback(*this, &$field);")

    def scripting(self):
        return "collection", "fenmo.Set", False

    def constrainable(self):
        return ("ConstrainableCollectionWithAttachment", f"{self.p.type}, ", "") if self.element else None

    def bodies(self):
        check = self.t("$P_::refuseProxy(*this);") if self.refuse_proxy else ""
        return [self.t("""
            const $C& $X::Impl::get$P() const {
                $check
                return $field;
            }""", check=check), self.t("""
            $C& $X::Impl::get${P}Mutable() {
                $check
                return $field;
            }""", check=check)]


class ElementSequence(OwnedCollection):
    """An ordered sequence of elements; a composite one contains them."""

    value_kind = ValueKind.SEQUENCE
    element = True
    takes_nested = True

    def collection_type(self):
        return f"{F}::ElementSequence<{self.p.type}>"

    def creates_into(self):
        return self.p.composite

    def creating_method(self):
        return f"createInto{self.p.cap}" if self.creates_into() else None

    def impl_public(self):
        create = [self.t("$Y createInto$P($Y::BuilderWrapper builder, $UUID id);")] if self.creates_into() else []
        return super().impl_public() + create

    def builder_field_type(self):
        return f"std::vector<std::unique_ptr<{BUILDER}>>"

    def added_type(self):
        return f"std::unique_ptr<{BUILDER}>"

    def builder_store(self):
        return [self.t("void doAdd$P(std::unique_ptr<$BUILDER> nested) { $field.push_back(std::move(nested)); }"),
                self.t("void doClear$P() { $field.clear(); }")]

    def builder_setters(self):
        return [self.t("B& add$P(std::unique_ptr<$BUILDER> nested) { return take($handle(), nested); }"),
                self.t("B& clear$P() { this->doClear$P(); return self(); }")]

    def store_nested(self):
        return self.t("if ($P_::takeNestedInto($field, property, $handle(), nested)) return $index;")

    def cascade(self):
        # The class's hook, when it has one, sees each element as it joins the sequence.
        adopt = f"{self.p.adopt_created}(created);" if self.p.adopt_created else ""
        return self.t("""
            if (builder.isSet($index)) {
                $field.reserve($field.size() + builder.$field.size());
                for (const auto& nested : builder.$field) {
                    $Y created = $P_::createNested<$Y>(*builder.m_owner, nested.get());
                    $field._addInTransaction(created);
                    $adopt
                }
            }""", adopt=adopt).split("\n")

    def bodies(self):
        out = super().bodies()
        if self.creates_into() and f"createInto{self.p.cap}" not in self.p.owner.custom:
            out.append(self.t("""
                $Y $X::Impl::createInto$P($Y::BuilderWrapper builder, $UUID id) {
                    return $P_::createIntoSequence<$Y>(*this, $field, builder.get(), id);
                }"""))
        return out


class ElementMap(OwnedCollection):
    """Elements filed under two keys, properties of the element class (DoubleKeyElementMap)."""

    value_kind = ValueKind.MAP
    element = True

    def check(self):
        p = self.p
        target = self.schema.class_named(p.type)
        names = [q.name for q in target.properties]
        if not p.keys or len(p.keys) != 2 or any(k not in names for k in p.keys):
            raise SchemaError(f"{p.qualified}: a map needs 'keys', two properties of {p.type}", p.line_of("keys"))
        if not p.opposite:
            raise SchemaError(f"{p.qualified}: a map needs an opposite, the property of {p.type} that holds the "
                              f"owner", p.line)

    def key_properties(self):
        target = self.schema.class_named(self.p.type)
        return [next(q for q in target.properties if q.name == key) for key in self.p.keys]

    def collection_type(self):
        k1, k2 = (STANDARD_TYPES.get(k.type, k.type) for k in self.key_properties())
        return f"{F}::DoubleKeyElementMap<{k1}, {k2}, {self.p.type}>"

    def member_init(self):
        k1, k2 = self.key_properties()
        return self.t("$field(*this, $handle(), &schema::$Y::$other(), &$P_::keyOf<$Y, &$Y::Impl::get$K1>, "
                      "&$P_::keyOf<$Y, &$Y::Impl::get$K2>, &schema::$Y::$k1(), &schema::$Y::$k2())",
                      other=self.p.opposite.split(".")[1], K1=k1.cap, K2=k2.cap, k1=k1.name, k2=k2.name)

    def builder_field_type(self):
        return f"std::vector<{self.p.type}>"

    def added_type(self):
        return f"const {self.p.type}&"

    def builder_setters(self):
        return [self.t("B& add$P(const $Y& value) { markSet($index); this->doAdd$P(value); return self(); }"),
                self.t("B& clear$P() { this->doClear$P(); return self(); }")]

    def store_value(self):
        return self.t("$field.push_back($P_::elementFromValue<$Y>(*p, value))")

    def link(self):
        return self.t("""
            if (builder.isSet($index))
                for (const auto& element : builder.$field) $field.add(element);""").split("\n")


class PrimitiveSet(OwnedCollection):
    """A set of primitive values (host pointers)."""

    value_kind = ValueKind.SET
    same_rule = "SameWhenBothEmpty"
    primitive = ", true"
    refuse_proxy = False

    def collection_type(self):
        return f"{F}::PrimitiveSet<{self.p.cpp}>"

    def builder_field_type(self):
        return f"std::vector<{self.p.cpp}>"

    def builder_store(self):
        return [self.t("void doAdd$P($T value) { $field.push_back($F::checkEnumerator(value)); }"),
                self.t("void doClear$P() { $field.clear(); }")]

    def builder_setters(self):
        return self.t("""
            B& add$P($T value) { this->doAdd$P(value); markSet($index); return self(); }
            B& add$P(std::initializer_list<$T> values) {
                for ($T value : values) $F::checkEnumerator(value);
                for ($T value : values) this->doAdd$P(value);
                markSet($index);
                return self();
            }
            B& clear$P() { this->doClear$P(); markUnset($index); return self(); }""").split("\n")

    def store_value(self):
        return self.t("$field.push_back($P_::fromValue<$T>(*p, value).value_or(nullptr))")

    def builder_body(self):
        return self.t("""
            if (builder.isSet($index))
                for (auto value : builder.$field) $field._basicInsert(value);""").split("\n")

    def scripting(self):
        return None  # host pointers stay on the host's side


# ---- Derived properties: computed by the class, never stored


class DerivedValue(PropertyKind):
    """A derived property of scalar type, read through a getter the class writes."""

    value_kind = ValueKind.SINGLE
    derived = True

    def impl_public(self):
        return [self.t("$T get$P() const;")]

    def descriptor(self):
        return self.t("$P_::DerivedValue<&Impl::get$P, &$handle>")

    def scripting(self):
        if self.p.type not in SCRIPTING_SCALARS:
            return None
        adapter, plain = SCRIPTING_SCALARS[self.p.type]
        return adapter, plain, False


class DerivedElement(PropertyKind):
    """A derived property of element type with getter, test and setter written by the class."""

    value_kind = ValueKind.SINGLE
    element = True
    derived = True

    def impl_public(self):
        return [self.t("$Y get$P();"), self.t("bool has$P() const;"), self.t("void set$P(const $Y& value);")]

    def descriptor(self):
        return self.t("$P_::DerivedElement<&Impl::get$P, &Impl::has$P, &Impl::set$P, &$handle>")

    def scripting(self):
        return "element", scripting_name(self.schema, self.p.type), True


KINDS = [OptionalValue, PlainValue, ContainmentSlot, ReferenceSlot, ElementSequence, ElementMap, PrimitiveSet,
         DerivedValue, DerivedElement]


def generator_for(schema, prop):
    """The generator of a property: the kind in KINDS that takes its value kind, type and flags."""
    element = schema.class_named(prop.type) is not None
    for kind in KINDS:
        if (kind.value_kind, kind.element, kind.derived) == (prop.kind, element, prop.derived) \
                and kind.composite in (None, prop.composite):
            return kind(schema, prop)
    what = "derived " if prop.derived else ""
    family = "element class" if element else "value type"
    raise SchemaError(f"{prop.qualified}: no property kind holds a {what}{prop.kind.value} of {family} "
                      f"{prop.type}", prop.line_of("kind"))
