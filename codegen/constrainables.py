"""Emits the query layer of one element class: the static accessors X::Uuid() and X::p() (one per
queryable property), and X::Constrainables, which stands for one instance of X inside a query and has
a member per queryable property in index order. What a property contributes comes from its kind's
constrainable(); the templates themselves are fenmo's (fenmo/query/Query.hpp)."""

from cpp_types import F
from printer import cpp, lines

Q = f"{F}::query"


def queryable(c):
    """(property, template, leading arguments, trailing arguments) for each queryable property, in index
    order."""
    out = []
    for p in c.stored:
        shape = p.generator.constrainable()
        if shape:
            out.append((p,) + shape)
    return out


def constrainable_type(template, lead, trail, attachment):
    return f"{Q}::{template}<{lead}{attachment}{trail}>"


def static_attachment(c):
    return f"{Q}::MetaclassAttachment<{c.name}>"


def handle_declarations(c):
    """The static accessors, declared in the handle class."""
    out = [f"// The query names of {c.name} and of its queryable properties, built once on first use.",
           f"static {static_attachment(c)}& Uuid();"]
    for p, template, lead, trail in queryable(c):
        out.append(f"static {constrainable_type(template, lead, trail, static_attachment(c))}& {p.name}();")
    return lines(out)


def access(c, p):
    keyed = p.generator.keyed_opposite()
    more = f", {keyed}" if keyed else ""
    return f"{Q}::detail::accessOf<Impl::Properties, Impl::Index::{p.name}>(schema::{c.name}::{p.name}(){more})"


def constrainables_class(c):
    members = [f"{constrainable_type(t, lead, trail, f'{Q}::InstanceAttachment')} {p.name};"
               for p, t, lead, trail in queryable(c)]
    return cpp("""
        // Stands for one $X inside a query: one member per queryable property, in index order.
        class $X::Constrainables : public $F::ModelElement::Constrainables {
        public:
            explicit Constrainables(const std::pair<$Q::AbstractQuery&, const $Q::SearchClassMatchMode>& target);
            ~Constrainables() override;
            // The instance this object stands for is `element` (an empty handle: no element at all).
            $Q::SpecificValueConstraint<$Q::InstanceAttachment, $X> operator==(const $X& element) const;

            $members

        protected:
            Constrainables($Q::AbstractQuery& query, const $F::meta::Class& metaClass, $Q::SearchClassMatchMode mode);
        };
        """, X=c.name, F=F, Q=Q, members=lines(members))


def definitions(c):
    statics = [cpp("""
        $A& $X::Uuid() {
            static $A attachment;
            return attachment;
        }""", A=static_attachment(c), X=c.name)]
    for p, template, lead, trail in queryable(c):
        statics.append(cpp("""
            $K& $X::$p() {
                // Thread-safe one-time construction; the destructor, registered at exit, releases the property.
                static $K constrainable($A(), $access);
                return constrainable;
            }""", K=constrainable_type(template, lead, trail, static_attachment(c)), X=c.name, p=p.name,
                           A=static_attachment(c), access=access(c, p)))
    inits = [f"{p.name}({Q}::InstanceAttachment(*this), {access(c, p)})" for p, _, _, _ in queryable(c)]
    base = f"{F}::ModelElement::Constrainables(query, metaClass, mode)"
    body = cpp("""
        $X::Constrainables::Constrainables(const std::pair<$Q::AbstractQuery&, const $Q::SearchClassMatchMode>& target)
            : Constrainables(target.first, $X::metaClass(), target.second) {}

        $X::Constrainables::Constrainables($Q::AbstractQuery& query, const $F::meta::Class& metaClass,
                                           $Q::SearchClassMatchMode mode)
            : $inits {}

        $X::Constrainables::~Constrainables() = default;

        $Q::SpecificValueConstraint<$Q::InstanceAttachment, $X> $X::Constrainables::operator==(const $X& element) const {
            return {$Q::InstanceAttachment(*this), element};
        }""", X=c.name, Q=Q, F=F, inits=",\n      ".join([base] + inits))
    return "\n\n".join(statics + [body])
