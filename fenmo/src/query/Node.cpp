#include "Nodes.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Enum.hpp>

namespace fenmo::query::detail {

namespace {

// Reads as the property is, without resolving proxies on the way (resolving may repair a slot);
// resolved() looks proxies up without changing anything.
const ReflectionPrivateTag kReadTag(Access::Privileged, Proxies::Keep);

Value reflect(const PropertyAccess& access, const ModelElement::Impl& e) {
    return const_cast<ModelElement::Impl&>(e).getPropertyValue(access.property, kReadTag);
}

std::wstring wide(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

const char16_t* opText(Compare op) {
    switch (op) {
        case Compare::Equal:
            return u" == ";
        case Compare::NotEqual:
            return u" != ";
        case Compare::Less:
            return u" < ";
        case Compare::LessEqual:
            return u" <= ";
        case Compare::Greater:
            return u" > ";
        case Compare::GreaterEqual:
            return u" >= ";
    }
    return u" ? ";
}

std::u16string quoted(std::u16string_view text) {
    std::u16string out = u"\"";
    for (char16_t c : text) {
        if (c == u'"' || c == u'\\') out.push_back(u'\\');
        out.push_back(c);
    }
    return out + u"\"";
}

std::u16string nameOf(const PropertyAccess& access) {
    return access.property ? access.impl().getName() : u"?";
}

std::u16string numberText(const PropertyAccess& access, std::int32_t value) {
    if (!access.property) return widenNumber(value);
    const meta::Type::Impl* type = dynamic_cast<const meta::Type::Impl*>(access.impl().typeImpl());
    if (const auto* e = dynamic_cast<const meta::Enum::Impl*>(type)) {
        for (const auto& [name, literal] : e->getLiterals())
            if (literal.get() && literal->getValue() == value) return name;
    }
    if (type && type->getName() == u"Boolean") return value ? u"true" : u"false";
    return widenNumber(value);
}

std::u16string pathText(const std::u16string& step, const std::u16string& rest) {
    return step + u"." + rest;
}

void addPath(std::vector<std::vector<const PropertyAccess*>>& out, std::vector<const PropertyAccess*>& prefix,
             const PropertyAccess& last) {
    prefix.push_back(&last);
    out.push_back(prefix);
    prefix.pop_back();
}

}  // namespace

Node::~Node() = default;

bool compare(Compare op, int order) noexcept {
    switch (op) {
        case Compare::Equal:
            return order == 0;
        case Compare::NotEqual:
            return order != 0;
        case Compare::Less:
            return order < 0;
        case Compare::LessEqual:
            return order <= 0;
        case Compare::Greater:
            return order > 0;
        case Compare::GreaterEqual:
            return order >= 0;
    }
    return false;
}

ModelElement::Impl* resolved(ModelElement::Impl* element, EvalContext& context, ModelElement& keep) {
    if (!element) return nullptr;
    if (element->isProxy()) {
        if (!context.model) return nullptr;
        keep = context.model->peekResolveProxy(ModelElement(element, true));
        element = keep.get();
        if (!element || element->isProxy()) return nullptr;
    }
    return element->isValid() ? element : nullptr;
}

Value::List reflectiveEntries(const PropertyAccess& access, const ModelElement::Impl& e) {
    Value v = reflect(access, e);
    if (!v.hasPayload()) return {};
    return v.getEntries();
}

const std::u16string* readText(const PropertyAccess& access, const ModelElement::Impl& e,
                               std::u16string& scratch) {
    if (access.text) return access.text(e);
    Value v = reflect(access, e);
    const auto* text = v.getIf<std::u16string>();
    if (!text) return nullptr;
    scratch = *text;
    return &scratch;
}

bool readNumber(const PropertyAccess& access, const ModelElement::Impl& e, std::int32_t& out) {
    if (access.number) return access.number(e, out);
    Value v = reflect(access, e);
    if (const auto* i = v.getIf<std::int32_t>())
        out = *i;
    else if (const auto* b = v.getIf<bool>())
        out = *b ? 1 : 0;
    else
        return false;
    return true;
}

ModelElement::Impl* readElement(const PropertyAccess& access, const ModelElement::Impl& e,
                                EvalContext& context, ModelElement& keep) {
    if (access.element) return resolved(access.element(e), context, keep);
    Value v = reflect(access, e);
    const auto* element = v.getIf<ModelElement>();
    if (!element) return nullptr;
    keep = *element;
    return resolved(keep.get(), context, keep);
}

std::size_t sizeOf(const PropertyAccess& access, const ModelElement::Impl& e) {
    if (access.size) return access.size(e);
    return reflectiveEntries(access, e).size();
}

// ---- Tests

bool CompareTextNode::test(const ModelElement::Impl& subject, EvalContext&) const {
    std::u16string scratch;
    const std::u16string* v = readText(access, subject, scratch);
    // An unset value satisfies no comparison: neither equal nor different.
    if (!v) return false;
    if (op == Compare::Equal) return *v == value;
    if (op == Compare::NotEqual) return *v != value;
    return compare(op, v->compare(value));
}

TextPredicateNode::TextPredicateNode(PropertyAccess a, TextTest t, std::u16string p)
    : Node(Kind::TextPredicate), access(std::move(a)), which(t), text(std::move(p)) {
    if (which == TextTest::Matches) {
        try {
            regex = std::wregex(wide(text), std::regex::ECMAScript);
        } catch (const std::regex_error& error) {
            throw InvalidValueException({u"regular expression " + quoted(text), toUtf16(error.what())});
        }
    }
}

bool TextPredicateNode::test(const ModelElement::Impl& subject, EvalContext&) const {
    std::u16string scratch;
    const std::u16string* v = readText(access, subject, scratch);
    if (!v) return false;
    switch (which) {
        case TextTest::StartsWith:
            return v->starts_with(text);
        case TextTest::Contains:
            return v->find(text) != std::u16string::npos;
        case TextTest::Matches:
            return std::regex_match(wide(*v), regex);
    }
    return false;
}

bool CompareNumberNode::test(const ModelElement::Impl& subject, EvalContext&) const {
    std::int32_t v = 0;
    if (!readNumber(access, subject, v)) return false;
    return compare(op, v < value ? -1 : v > value ? 1 : 0);
}

bool IsSetNode::test(const ModelElement::Impl& subject, EvalContext& context) const {
    const meta::Property::Impl& p = access.impl();
    bool set;
    if (access.text) {
        set = access.text(subject) != nullptr;
    } else if (access.number) {
        std::int32_t ignored;
        set = access.number(subject, ignored);
    } else if (access.element) {
        ModelElement keep;
        set = readElement(access, subject, context, keep) != nullptr;
    } else if (access.size || p.isMany()) {
        set = sizeOf(access, subject) != 0;
    } else {
        set = const_cast<ModelElement::Impl&>(subject).hasPropertyValue(access.property, kReadTag);
    }
    return set == wanted;
}

bool RelationWhereNode::test(const ModelElement::Impl& subject, EvalContext& context) const {
    ModelElement keep;
    ModelElement::Impl* related = readElement(access, subject, context, keep);
    return related && inner->test(*related, context);
}

bool RelationIsNode::test(const ModelElement::Impl& subject, EvalContext& context) const {
    ModelElement keep;
    ModelElement::Impl* related = readElement(access, subject, context, keep);
    // An empty handle asks for an empty property; a destroyed target is held by no valid element.
    if (!target.get()) return related == nullptr;
    return related == target.get();
}

bool QuantifiedNode::test(const ModelElement::Impl& subject, EvalContext& context) const {
    bool found = false;
    const bool wantMatch = quantifier != Quantifier::Every;
    forEachIn(access, subject, context, [&](ModelElement::Impl* e) {
        if (inner->test(*e, context) == wantMatch) {
            found = true;
            return false;
        }
        return true;
    });
    switch (quantifier) {
        case Quantifier::Some:
            return found;
        case Quantifier::None:
            return !found;
        case Quantifier::Every:
            return !found;
    }
    return false;
}

bool CountNode::test(const ModelElement::Impl& subject, EvalContext& context) const {
    long long n = 0;
    if (!inner) {
        n = static_cast<long long>(sizeOf(access, subject));
    } else {
        forEachIn(access, subject, context, [&](ModelElement::Impl* e) {
            if (inner->test(*e, context)) ++n;
            return true;
        });
    }
    return compare(op, n < value ? -1 : n > value ? 1 : 0);
}

bool JunctionNode::test(const ModelElement::Impl& subject, EvalContext& context) const {
    if (kind() == Kind::And) {
        for (const NodePtr& p : parts)
            if (!p->test(subject, context)) return false;
        return true;
    }
    for (const NodePtr& p : parts)
        if (p->test(subject, context)) return true;
    return false;
}

// ---- Descriptions, in the syntax of the text form

std::u16string CompareTextNode::describe() const {
    return nameOf(access) + opText(op) + quoted(value);
}

std::u16string TextPredicateNode::describe() const {
    const char16_t* word = which == TextTest::StartsWith ? u" startswith "
                           : which == TextTest::Contains ? u" contains "
                                                         : u" matches ";
    return nameOf(access) + word + quoted(text);
}

std::u16string CompareNumberNode::describe() const {
    return nameOf(access) + opText(op) + numberText(access, value);
}

std::u16string IsSetNode::describe() const {
    return nameOf(access) + (wanted ? u" is set" : u" is unset");
}

std::u16string RelationWhereNode::describe() const {
    // A relation followed by a single test reads as a path.
    if (inner->kind() != Kind::And && inner->kind() != Kind::Or && inner->kind() != Kind::Not &&
        inner->kind() != Kind::SelfIs && inner->kind() != Kind::True)
        return pathText(nameOf(access), inner->describe());
    return nameOf(access) + u" has (" + inner->describe() + u")";
}

std::u16string RelationIsNode::describe() const {
    return nameOf(access) + u" is " +
           (target.get() ? u"element " + toU16String(target->getUuid()) : u"unset");
}

std::u16string QuantifiedNode::describe() const {
    const char16_t* word = quantifier == Quantifier::Some    ? u" some ("
                           : quantifier == Quantifier::Every ? u" every ("
                                                             : u" none (";
    return nameOf(access) + word + inner->describe() + u")";
}

std::u16string CountNode::describe() const {
    std::u16string head =
        inner ? nameOf(access) + u" count (" + inner->describe() + u")" : nameOf(access) + u" size";
    return head + opText(op) + widenNumber(value);
}

std::u16string JunctionNode::describe() const {
    std::u16string out;
    for (const NodePtr& p : parts) {
        if (!out.empty()) out += kind() == Kind::And ? u" and " : u" or ";
        const bool group = p->kind() == Kind::Or || (p->kind() == Kind::And && kind() == Kind::Or);
        out += group ? u"(" + p->describe() + u")" : p->describe();
    }
    return out;
}

std::u16string NotNode::describe() const {
    return u"not (" + inner->describe() + u")";
}

std::u16string SelfIsNode::describe() const {
    return target.get() ? u"self is element " + toU16String(target->getUuid()) : u"self is unset";
}

// ---- Paths read

void CompareTextNode::paths(std::vector<std::vector<const PropertyAccess*>>& out,
                            std::vector<const PropertyAccess*>& prefix) const {
    addPath(out, prefix, access);
}
void TextPredicateNode::paths(std::vector<std::vector<const PropertyAccess*>>& out,
                              std::vector<const PropertyAccess*>& prefix) const {
    addPath(out, prefix, access);
}
void CompareNumberNode::paths(std::vector<std::vector<const PropertyAccess*>>& out,
                              std::vector<const PropertyAccess*>& prefix) const {
    addPath(out, prefix, access);
}
void IsSetNode::paths(std::vector<std::vector<const PropertyAccess*>>& out,
                      std::vector<const PropertyAccess*>& prefix) const {
    addPath(out, prefix, access);
}
void RelationIsNode::paths(std::vector<std::vector<const PropertyAccess*>>& out,
                           std::vector<const PropertyAccess*>& prefix) const {
    addPath(out, prefix, access);
}
void RelationWhereNode::paths(std::vector<std::vector<const PropertyAccess*>>& out,
                              std::vector<const PropertyAccess*>& prefix) const {
    addPath(out, prefix, access);
    prefix.push_back(&access);
    inner->paths(out, prefix);
    prefix.pop_back();
}
void QuantifiedNode::paths(std::vector<std::vector<const PropertyAccess*>>& out,
                           std::vector<const PropertyAccess*>& prefix) const {
    addPath(out, prefix, access);
    prefix.push_back(&access);
    inner->paths(out, prefix);
    prefix.pop_back();
}
void CountNode::paths(std::vector<std::vector<const PropertyAccess*>>& out,
                      std::vector<const PropertyAccess*>& prefix) const {
    addPath(out, prefix, access);
    if (!inner) return;
    prefix.push_back(&access);
    inner->paths(out, prefix);
    prefix.pop_back();
}
void JunctionNode::paths(std::vector<std::vector<const PropertyAccess*>>& out,
                         std::vector<const PropertyAccess*>& prefix) const {
    for (const NodePtr& p : parts) p->paths(out, prefix);
}

// ---- Factories

namespace {
void requireProperty(const PropertyAccess& access) {
    if (!access.property.get()) throw InvalidValueException({u"(no property)"});
}
void requireNode(const NodePtr& node) {
    if (!node) throw InvalidValueException({u"(no condition)"});
}
NodePtr join(Node::Kind kind, NodePtr a, NodePtr b) {
    requireNode(a);
    requireNode(b);
    std::vector<NodePtr> parts;
    for (NodePtr* n : {&a, &b}) {
        if ((*n)->kind() == kind) {
            const auto& inner = static_cast<const JunctionNode&>(**n).parts;
            parts.insert(parts.end(), inner.begin(), inner.end());
        } else {
            parts.push_back(std::move(*n));
        }
    }
    return std::make_shared<JunctionNode>(kind, std::move(parts));
}
}  // namespace

NodePtr trueNode() {
    return std::make_shared<TrueNode>();
}
NodePtr compareText(PropertyAccess access, Compare op, std::u16string value) {
    requireProperty(access);
    return std::make_shared<CompareTextNode>(std::move(access), op, std::move(value));
}
NodePtr textPredicate(PropertyAccess access, TextTest test, std::u16string text) {
    requireProperty(access);
    return std::make_shared<TextPredicateNode>(std::move(access), test, std::move(text));
}
NodePtr compareNumber(PropertyAccess access, Compare op, std::int32_t value) {
    requireProperty(access);
    return std::make_shared<CompareNumberNode>(std::move(access), op, value);
}
NodePtr isSet(PropertyAccess access, bool wanted) {
    requireProperty(access);
    return std::make_shared<IsSetNode>(std::move(access), wanted);
}
NodePtr relationWhere(PropertyAccess access, NodePtr inner) {
    requireProperty(access);
    requireNode(inner);
    return std::make_shared<RelationWhereNode>(std::move(access), std::move(inner));
}
NodePtr relationIs(PropertyAccess access, ModelElement target) {
    requireProperty(access);
    return std::make_shared<RelationIsNode>(std::move(access), std::move(target));
}
NodePtr quantified(PropertyAccess access, Quantifier quantifier, NodePtr inner) {
    requireProperty(access);
    requireNode(inner);
    return std::make_shared<QuantifiedNode>(std::move(access), quantifier, std::move(inner));
}
NodePtr count(PropertyAccess access, NodePtr inner, Compare op, std::int32_t value) {
    requireProperty(access);
    return std::make_shared<CountNode>(std::move(access), std::move(inner), op, value);
}
NodePtr allOf(NodePtr a, NodePtr b) {
    return join(Node::Kind::And, std::move(a), std::move(b));
}
NodePtr anyOf(NodePtr a, NodePtr b) {
    return join(Node::Kind::Or, std::move(a), std::move(b));
}
NodePtr negation(NodePtr a) {
    requireNode(a);
    return std::make_shared<NotNode>(std::move(a));
}
NodePtr selfIs(ModelElement target) {
    return std::make_shared<SelfIsNode>(std::move(target));
}

std::vector<const Node*> conjuncts(const Node& node) {
    if (node.kind() != Node::Kind::And) return {&node};
    std::vector<const Node*> out;
    for (const NodePtr& p : static_cast<const JunctionNode&>(node).parts) out.push_back(p.get());
    return out;
}

}  // namespace fenmo::query::detail
