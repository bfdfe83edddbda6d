#include "TreePrinter.hpp"

#include "ValueText.hpp"

#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>

#include <algorithm>
#include <utility>
#include <vector>

namespace arvelle::tools {

namespace {

// One attribute object as printed: its slot label and its "key=value" pairs.
struct AttributeText {
    std::string label;
    std::vector<std::pair<std::string, std::string>> values;
};

// A node as printed: the tree guides before it, its index and name, the guides of its continuation
// lines, and its attribute objects.
struct Row {
    std::string guides;
    std::string index;
    std::string name;
    std::string continuation;
    std::vector<AttributeText> attributes;
};

AttributeText describe(const Slot& slot, const ElementNames& names) {
    AttributeText text{slotLabel(slot.property), {}};
    const ::fenmo::Reflection reflection;
    reflection.forEachProperty(slot.element, [&](const ::fenmo::meta::Property& property) {
        if (!reflection.has(slot.element, property)) return;
        text.values.emplace_back(::fenmo::toUtf8(property->getName()),
                                 valueText(reflection.get(slot.element, property), names));
    });
    return text;
}

class Layout {
public:
    Layout(const ElementNames& names, int maxDepth) : m_names(names), m_maxDepth(maxDepth) {}

    // Lays out `node` and everything below it. `prefix` is the guides of its parent's children;
    // `last` whether it is the last of them; `indexWidth` the width of its siblings' indices.
    void add(const tn::TreeNode& node, const std::string& prefix, bool root, bool last,
             std::size_t indexWidth, int depth = 0) {
        std::vector<tn::TreeNode> children = childrenOf(node);
        // Below the depth limit a node shows how many children it hides.
        std::size_t hidden = 0;
        if (m_maxDepth >= 0 && depth >= m_maxDepth) hidden = std::exchange(children, {}).size();
        Row row;
        std::string stem = root ? "" : (last ? "   " : "│  ");
        row.guides = root ? "" : prefix + (last ? "└─ " : "├─ ");
        if (!root) {
            std::string index = std::to_string(nodeIndex(node));
            row.index = std::string(indexWidth > index.size() ? indexWidth - index.size() : 0, ' ') + index;
        }
        row.name = nodeName(node);
        if (hidden) row.name += " (+" + std::to_string(hidden) + ")";
        row.continuation = prefix + stem + (children.empty() ? "   " : "│  ");
        for (const Slot& slot : attributeSlots(node)) row.attributes.push_back(describe(slot, m_names));
        m_rows.push_back(std::move(row));

        std::size_t childIndexWidth = 1;
        for (const tn::TreeNode& child : children)
            childIndexWidth = std::max(childIndexWidth, std::to_string(nodeIndex(child)).size());
        for (std::size_t i = 0; i < children.size(); ++i)
            add(children[i], prefix + stem, false, i + 1 == children.size(), childIndexWidth, depth + 1);
    }

    std::string render(const Style& style) const {
        std::size_t nameWidth = 0, labelWidth = 0;
        for (const Row& row : m_rows) {
            nameWidth = std::max(nameWidth, displayWidth(row.guides) + row.index.size() + !row.index.empty() +
                                                displayWidth(row.name));
            for (const AttributeText& attribute : row.attributes)
                labelWidth = std::max(labelWidth, attribute.label.size());
        }
        std::string out;
        for (const Row& row : m_rows) {
            out += style.dim(row.guides);
            if (!row.index.empty()) out += style.dim(row.index) + " ";
            out += style.bold(row.name);
            std::size_t used =
                displayWidth(row.guides) + row.index.size() + !row.index.empty() + displayWidth(row.name);
            for (std::size_t i = 0; i < row.attributes.size(); ++i) {
                if (i > 0) {
                    out += style.dim(row.continuation);
                    used = displayWidth(row.continuation);
                }
                out += std::string(nameWidth + kGap - used, ' ');
                out +=
                    attributeText(row.attributes[i], row.continuation, nameWidth + kGap, labelWidth, style);
            }
            if (row.attributes.empty()) out += '\n';
        }
        return out;
    }

private:
    static constexpr std::size_t kGap = 2;
    // Lines longer than this wrap between values, continuing under the first value.
    static constexpr std::size_t kLineWidth = 100;

    // The label and values of one attribute object from column `column` on, ending with a newline.
    static std::string attributeText(const AttributeText& attribute, const std::string& continuation,
                                     std::size_t column, std::size_t labelWidth, const Style& style) {
        std::string text = style.label(attribute.label);
        if (attribute.values.empty()) return text + "\n";
        text += std::string(labelWidth - attribute.label.size() + kGap, ' ');
        const std::size_t valueColumn = column + labelWidth + kGap;
        column = valueColumn;
        bool lineStart = true;
        for (const auto& [key, value] : attribute.values) {
            std::size_t width = key.size() + 1 + displayWidth(value);
            if (!lineStart && column + 1 + width > kLineWidth) {
                text += "\n" + style.dim(continuation) +
                        std::string(valueColumn - displayWidth(continuation), ' ');
                column = valueColumn;
                lineStart = true;
            }
            if (!lineStart) {
                text += ' ';
                ++column;
            }
            text += style.dim(key + "=") + value;
            column += width;
            lineStart = false;
        }
        return text + "\n";
    }

    const ElementNames& m_names;
    int m_maxDepth;
    std::vector<Row> m_rows;
};

}  // namespace

std::string slotLabel(const ::fenmo::meta::Property& property) {
    std::string name = ::fenmo::toUtf8(property->getName());
    const std::string ending = "Attrs";
    if (name.size() > ending.size() && name.ends_with(ending)) name.resize(name.size() - ending.size());
    return name;
}

std::string printTree(const tn::TreeNode& root, const ElementNames& names, const Style& style, int maxDepth) {
    Layout layout(names, maxDepth);
    layout.add(root, "", true, true, 1);
    return layout.render(style);
}

}  // namespace arvelle::tools
