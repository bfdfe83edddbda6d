#include "ReportPrinter.hpp"

#include "ValueText.hpp"

#include <fenmo/Text.hpp>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace arvelle::tools {

namespace {

const char* const kIndent = "  ";
const char* const kPropertyIndent = "      ";

// Collects the entries of a collection value; false if some entry is not an element.
bool elementEntries(const ::fenmo::Value& value, std::vector<::fenmo::ModelElement>& elements) {
    for (const ::fenmo::Value& entry : value.getEntries()) {
        auto* element = entry.getIf<::fenmo::ModelElement>();
        if (!element) return false;
        elements.push_back(*element);
    }
    return true;
}

std::string joinLeaves(const std::vector<::fenmo::ModelElement>& elements, const ElementNames& names) {
    std::string text;
    for (const auto& element : elements) text += (text.empty() ? "" : ", ") + names.of(element).leaf();
    return text;
}

std::string collectionChange(const std::vector<::fenmo::ModelElement>& before,
                             const std::vector<::fenmo::ModelElement>& after, const ElementNames& names,
                             const Style& style) {
    auto contains = [](const std::vector<::fenmo::ModelElement>& list, const ::fenmo::ModelElement& e) {
        return std::find(list.begin(), list.end(), e) != list.end();
    };
    std::vector<::fenmo::ModelElement> added, removed;
    for (const auto& e : after)
        if (!contains(before, e)) added.push_back(e);
    for (const auto& e : before)
        if (!contains(after, e)) removed.push_back(e);
    std::string text;
    if (!added.empty()) text += style.added("+ " + joinLeaves(added, names));
    if (!removed.empty())
        text += (text.empty() ? "" : "  ") + style.removed("− " + joinLeaves(removed, names));
    if (!text.empty()) return text;
    if (before != after) return "reordered: " + joinLeaves(after, names);
    return style.dim("same entries, keys changed");
}

// Created or destroyed elements, one line per node: the node's path, then what of it appeared or went.
void listByNode(std::string& out, const std::vector<::fenmo::ModelElement>& elements, const std::string& mark,
                const ElementNames& names, const Style& style, bool created) {
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> parts;
    for (const auto& element : elements) {
        ElementName name = names.of(element);
        if (!parts.count(name.node)) order.push_back(name.node);
        parts[name.node].push_back(name.slot.empty() ? "node" : name.slot);
    }
    std::size_t width = 0;
    for (const auto& node : order) width = std::max(width, displayWidth(node));
    for (const auto& node : order) {
        std::string what;
        for (const auto& part : parts[node]) what += (what.empty() ? "" : ", ") + part;
        std::string head = mark + " " + padRight(node, width);
        out += kIndent + (created ? style.added(head) : style.removed(head)) + "  " + style.dim(what) + "\n";
    }
}

}  // namespace

std::string changeText(const ::fenmo::PropertyChange& change, const ElementNames& names, const Style& style) {
    std::vector<::fenmo::ModelElement> before, after;
    bool collection = change.newValue.getMeta().isCollection() || change.oldValue.getMeta().isCollection();
    if (collection && elementEntries(change.oldValue, before) && elementEntries(change.newValue, after))
        return collectionChange(before, after, names, style);
    return valueText(change.oldValue, names) + style.changed(" → ") + valueText(change.newValue, names);
}

std::string printReport(const ::fenmo::ChangeReport& report, const ElementNames& names, const Style& style) {
    std::string out;
    listByNode(out, report.created(), "+", names, style, true);
    listByNode(out, report.destroyed(), "−", names, style, false);
    for (const ::fenmo::ElementChange& element : report.modified()) {
        out += kIndent + style.changed("~ ") + names.of(element.element).text() + "\n";
        std::size_t width = 0;
        for (const auto& change : element.properties)
            width = std::max(width, change.property->getName().size());
        for (const auto& change : element.properties)
            out += kPropertyIndent + padRight(::fenmo::toUtf8(change.property->getName()), width) + "  " +
                   changeText(change, names, style) + "\n";
    }
    if (out.empty()) out = std::string(kIndent) + style.dim("(nothing changed)") + "\n";
    return out;
}

}  // namespace arvelle::tools
