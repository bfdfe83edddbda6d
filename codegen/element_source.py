"""Emits the source of one element class: one-line bodies that call the pattern written once in fenmo."""

from cpp_types import BUILDER, CHANGES, F, PROPERTY, STORAGE, TAG, UUID, VALUE, optional

P_ = f"{F}::pattern"


def constructors(schema, c):
    X = c.name
    collections = []
    for p in c.stored:
        if p.category in ("sequence", "set"):
            collections.append(f"{p.field}(*this, {p.handle_fn}())")
        elif p.category == "map":
            key1, key2 = p.keys
            other = p.opposite.split(".")[1]
            collections.append(
                f"{p.field}(*this, {p.handle_fn}(), &schema::{p.type}::{other}(), "
                f"&{P_}::keyOf<{p.type}, &{p.type}::Impl::get{key1[0].upper() + key1[1:]}>, "
                f"&{P_}::keyOf<{p.type}, &{p.type}::Impl::get{key2[0].upper() + key2[1:]}>, "
                f"&schema::{p.type}::{key1}(), &schema::{p.type}::{key2}())")
    from_builder = []
    body = []
    # References to existing elements are linked once the new element is announced (cascadeCreation):
    # linking hands out references to it, which a half-built object must not do.
    links = []
    for p in c.stored:
        if p.category in ("optional", "plain"):
            from_builder.append(f"{p.field}(builder.get{p.cap}())")
        elif p.category == "reference":
            links.append(f"    if (builder.isSet({p.index})) set{p.cap}(builder.{p.field});")
        elif p.category == "map":
            links.append(f"    if (builder.isSet({p.index}))")
            links.append(f"        for (const auto& element : builder.{p.field}) {p.field}.add(element);")
        elif p.category == "set":
            body.append(f"    if (builder.isSet({p.index}))")
            body.append(f"        for (auto value : builder.{p.field}) {p.field}._basicInsert(value);")
    plain_init = ", ".join([f"{F}::ModelElement::Impl(model, id)"] + collections)
    builder_init = ", ".join([f"{F}::ModelElement::Impl(*builder.m_owner, id)"] + from_builder + collections)
    body_text = "\n".join(body)
    cascade = list(links)
    for p in c.stored:
        if p.category == "containment":
            cascade.append(f"    if (builder.isSet({p.index})) {P_}::containWhileCreating(*this, {p.field}, builder.get{p.cap}(), {p.handle_fn}());")
        elif p.category == "sequence":
            cascade.append(f"    if (builder.isSet({p.index})) {{")
            cascade.append(f"        {p.field}.reserve({p.field}.size() + builder.{p.field}.size());")
            cascade.append(f"        for (const auto& nested : builder.{p.field}) {{")
            cascade.append(f"            {p.type} created = {P_}::createNested<{p.type}>(*builder.m_owner, nested.get());")
            cascade.append(f"            {p.field}._addInTransaction(created);")
            if p.adopt_created:
                cascade.append(f"            {p.adopt_created}(created);")
            cascade.append("        }")
            cascade.append("    }")
    cascade_text = "\n".join(cascade) if cascade else "    (void)builder;"
    return f"""
{X}::Impl::Impl(const {F}::Model& model, {UUID} id) : {plain_init} {{}}

{X}::Impl::Impl(BuilderImpl& builder, {UUID} id)
    : {builder_init} {{
{body_text}
}}

void {X}::Impl::cascadeCreation(BuilderImpl& builder) {{
{cascade_text}
}}
"""


def accessor_bodies(schema, c):
    X = c.name
    out = []
    for p in c.properties:
        P, Y = p.cap, p.type
        cat = p.category
        if cat == "optional" and not p.custom_setter:
            out.append(f"void {X}::Impl::set{P}(const {optional(p)}& value) {{ {P_}::setOptional(*this, {p.field}, value, {p.index}); }}")
        elif cat == "containment":
            out.append(f"{Y} {X}::Impl::get{P}() {{ return {P_}::readSlot(*this, {p.field}); }}")
            out.append(f"void {X}::Impl::set{P}(const {Y}& value) {{ {P_}::setContainedSlot(*this, {p.field}, value, {p.handle_fn}()); }}")
            out.append(f"{Y} {X}::Impl::createInto{P}({Y}::BuilderWrapper builder, {UUID} id) {{")
            out.append(f"    return {P_}::createInto<{Y}>(*this, builder.get(), id, [this](const {Y}& created) {{ set{P}(created); }});")
            out.append("}")
            out.append(f"void {X}::Impl::basicSet{P}(const {Y}& value) {{ {p.field} = value; }}")
        elif cat == "reference":
            out.append(f"void {X}::Impl::basicSet{P}(const {Y}& value) {{ {p.field} = value; }}")
        elif cat in ("sequence", "map", "set"):
            from cpp_types import field_type
            ct = field_type(schema, p)
            check = f"{P_}::refuseProxy(*this);\n    " if cat != "set" else ""
            out.append(f"const {ct}& {X}::Impl::get{P}() const {{\n    {check}return {p.field};\n}}")
            out.append(f"{ct}& {X}::Impl::get{P}Mutable() {{\n    {check}return {p.field};\n}}")
            if cat == "sequence" and p.composite and f"createInto{P}" not in c.custom:
                out.append(f"{Y} {X}::Impl::createInto{P}({Y}::BuilderWrapper builder, {UUID} id) {{")
                out.append(f"    return {P_}::createIntoSequence<{Y}>(*this, {p.field}, builder.get(), id);")
                out.append("}")
    return "\n".join(out) + "\n"


def overrides(schema, c):
    X = c.name
    base = f"{F}::ModelElement::Impl"
    has_slots = c.has("containment")
    collections = [p for p in c.stored if p.category in ("sequence", "map", "set")]
    out = []

    def define(signature, body, hook):
        if hook in c.custom:
            return  # written by hand in the class's own source
        out.append(f"{signature} {{\n{body}\n}}\n")

    release = f"    {P_}::releaseSlots<Properties>(*this);\n" if has_slots else ""
    out.append(f"{X}::Impl::~Impl() {{\n    markDeleting();\n{release}}}\n")
    out.append(f"const {F}::meta::Class& {X}::Impl::getMetaClass() const {{ return schema::{X}::metaClass(); }}\n")
    if collections:
        calls = "\n".join(f"        callback(*this, &{p.field});" for p in collections)
        out.append(f"""void {X}::Impl::invalidate() {{
    if (Callback callback = m_callback.load(std::memory_order_acquire)) {{
{calls}
    }}
    {base}::invalidate();
}}
""")
    define(f"bool {X}::Impl::hasPropertyValue({PROPERTY} property, {TAG} tag) const",
           f"    bool result = false;\n    if ({P_}::tryHas<Properties>(*this, property, result)) return result;\n"
           f"    return {base}::hasPropertyValue(property, tag);", "hasPropertyValue")
    define(f"{VALUE} {X}::Impl::getPropertyValue({PROPERTY} property, {TAG} tag)",
           f"    if (auto get = {P_}::getterFor<Properties, Impl>(property)) return get(*this, tag);\n"
           f"    return {base}::getPropertyValue(property, tag);", "getPropertyValue")
    define(f"void {X}::Impl::setPropertyValue({PROPERTY} property, const {VALUE}& value, {TAG} tag)",
           f"    if (!{P_}::trySet<Properties>(*this, property, value, tag)) {base}::setPropertyValue(property, value, tag);",
           "setPropertyValue")
    destroy = f"    {P_}::destroyContained<Properties>(*this, notify, disassociate);\n" if has_slots else ""
    define(f"void {X}::Impl::doDestroy(bool notify, bool disassociate)",
           f"{destroy}    {base}::doDestroy(notify, disassociate);", "doDestroy")
    if has_slots:
        associate = (f"    if (!{P_}::tryAssociate<Properties>(*this, element, property)) "
                     f"{base}::{{hook}}(element, property);")
        define(f"void {X}::Impl::inverseAdd(const {F}::ModelElement& element, {PROPERTY} property)",
               associate.format(hook="inverseAdd"), "inverseAdd")
        define(f"void {X}::Impl::inverseRemove(const {F}::ModelElement& element, {PROPERTY} property)",
               f"    if (!{P_}::tryDissociate<Properties>(*this, property)) {base}::inverseRemove(element, property);",
               "inverseRemove")
        define(f"void {X}::Impl::basicAssociate(const {F}::ModelElement& element, {PROPERTY} property)",
               associate.format(hook="basicAssociate"), "basicAssociate")
        define(f"void {X}::Impl::basicDisassociateAll()", f"    {P_}::releaseSlotsInOrder<Properties>(*this);",
               "basicDisassociateAll")
    else:
        define(f"void {X}::Impl::inverseAdd(const {F}::ModelElement& element, {PROPERTY} property)",
               f"    {base}::inverseAdd(element, property);", "inverseAdd")
        define(f"void {X}::Impl::inverseRemove(const {F}::ModelElement& element, {PROPERTY} property)",
               f"    {base}::inverseRemove(element, property);", "inverseRemove")
        define(f"void {X}::Impl::basicAssociate(const {F}::ModelElement& element, {PROPERTY} property)",
               f"    {base}::basicAssociate(element, property);", "basicAssociate")
        define(f"void {X}::Impl::basicDisassociateAll()", "", "basicDisassociateAll")
    define(f"bool {X}::Impl::inverseContainsProxyTo(const {F}::ModelElement& element, {PROPERTY} property) const",
           f"    return {base}::inverseContainsProxyTo(element, property);", "inverseContainsProxyTo")
    define(f"void {X}::Impl::disassociateIncoming()", "", "disassociateIncoming")
    define(f"void {X}::Impl::convertReferencesToProxies(bool, boost::optional<{F}::ProxyId>&)", "",
           "convertReferencesToProxies")
    n = c.count
    out.append(f"""{CHANGES}* {X}::Impl::createChanges() const {{
    return new Changes(getUuid(), getModel(), getMetaClass(), {n});
}}

{STORAGE}* {X}::Impl::createStorage() const {{
    return new Storage(getUuid(), getModel(), getMetaClass(), {n + 1});
}}

void {X}::Impl::copyValue({STORAGE}* storage, std::size_t index) const {{
    if (!{P_}::tryCopyValue<Properties>(*this, *static_cast<Storage*>(storage), index)) {base}::copyValue(storage, index);
}}

void {X}::Impl::copyStateFromStorage({STORAGE}* storage) {{
    {P_}::restoreChanged<Properties>(*this, *static_cast<Storage*>(storage));
    {base}::copyStateFromStorage(storage);
}}

{F}::meta::Property {X}::Impl::getPropertyByIndex(std::size_t index) {{
    {F}::meta::Property result;
    if ({P_}::tryPropertyByIndex<Properties>(index, result)) return result;
    return {base}::getPropertyByIndex(index);
}}

{X} {X}::Impl::This() const {{ return {X}(const_cast<Impl*>(this), true); }}

// ---- Storage

{X}::Impl::Storage::Storage({UUID} id, const {F}::Model& model, const {F}::meta::Class& metaClass, std::size_t count)
    : SnapshotStorage(id, model, metaClass, count) {{}}

{X}::Impl::Storage::~Storage() = default;

bool {X}::Impl::Storage::revertUnchanged({F}::ModelElement::Impl* element) {{
    {P_}::clearUnchanged<Properties>(*this, static_cast<const Impl&>(*element));
    return {STORAGE}::revertUnchanged(element);
}}

{VALUE} {X}::Impl::Storage::getOldValue({PROPERTY} property, {TAG} tag) {{
    {VALUE} result;
    if ({P_}::tryOldValue<Properties>(*this, property, result)) return result;
    return {STORAGE}::getOldValue(property, tag);
}}
""")
    return "\n".join(out)


def builder_bodies(schema, c):
    X = c.name
    value_cases, nested_cases, getters = [], [], []
    for p in c.stored:
        i, cat = p.index, p.category
        # How a builder stores a value given for the property, by kind.
        stores = {
            "optional": f"{p.field} = {P_}::fromValue<{p.cpp}>(*p, value)",
            "plain": f"{p.field} = {P_}::plainFromValue<{p.cpp}>(*p, value)",
            "reference": f"{p.field} = {P_}::elementFromValue<{p.type}>(*p, value)",
            "map": f"{p.field}.push_back({P_}::elementFromValue<{p.type}>(*p, value))",
            "set": f"{p.field}.push_back({P_}::fromValue<{p.cpp}>(*p, value).value_or(nullptr))",
        }
        if cat in stores:
            value_cases.append(f"    if (p == {p.handle_fn}().get()) {{\n        {stores[cat]};\n        return {i};\n    }}")
        elif cat == "containment":
            nested_cases.append(f"    if ({P_}::takeNested({p.field}, property, {p.handle_fn}(), nested)) return {i};")
            getters.append(f"{p.type} {X}::Impl::BuilderImpl::get{p.cap}() {{ return {P_}::createNested<{p.type}>(*m_owner, {p.field}.get()); }}")
        elif cat == "sequence":
            nested_cases.append(f"    if ({P_}::takeNestedInto({p.field}, property, {p.handle_fn}(), nested)) return {i};")
    value_text = "\n".join(value_cases) if value_cases else "    (void)value;"
    nested_text = "\n".join(nested_cases) if nested_cases else "    (void)property;\n    (void)nested;"
    p_decl = "    const auto* p = property.get();\n" if value_cases else "    (void)property;\n"
    return f"""
// ---- Builder

{X}::Impl::BuilderImpl::~BuilderImpl() = default;

void {X}::Impl::BuilderImpl::addBuilder({BUILDER}* builder) const {{
    if (auto* orchestrator = m_owner->getOrchestrator()) orchestrator->addBuilder(builder);
}}

std::size_t {X}::Impl::BuilderImpl::doSetOrAdd({PROPERTY} property, const {VALUE}& value) {{
{p_decl}{value_text}
    return SIZE_MAX;
}}

std::size_t {X}::Impl::BuilderImpl::doSetOrAdd({PROPERTY} property, std::unique_ptr<{BUILDER}>& nested) {{
{nested_text}
    return SIZE_MAX;
}}
{chr(10).join(getters)}

std::unique_ptr<{BUILDER}> make{X}Builder(const {F}::Model& model) {{ return std::make_unique<{X}::Builder>(model); }}
"""


def invokers(c):
    out = []
    for o in c.operations:
        cap = o.name[0].upper() + o.name[1:]
        out.append(f"""std::unique_ptr<{F}::meta::AbstractMethodInvoker> {c.name}::Impl::make{cap}Invoker(
    const {F}::meta::Operation& operation) {{
    return std::make_unique<{F}::meta::Invoker<{c.name}, {o.argument_type}>>(operation, &Impl::{o.name});
}}
""")
    return "\n".join(out)


def source(schema, c, banner):
    X = c.name
    return f"""{banner}
#include <arvelle/treeNode/{X}.hpp>
#include <arvelle/treeNode/BuilderFactories.hpp>

namespace tav::fenmo::treeNode {{

{X} {X}::create(const {F}::Model& model, {UUID} id) {{
    return {P_}::createInModel<{X}>(model, [&] {{ return {X}(new Impl(model, id), true); }});
}}

const {F}::meta::Class& {X}::metaClass() {{ return schema::{X}::metaClass(); }}
{constructors(schema, c)}
{accessor_bodies(schema, c)}
{overrides(schema, c)}
{invokers(c)}{builder_bodies(schema, c)}
}}  // namespace tav::fenmo::treeNode
"""
