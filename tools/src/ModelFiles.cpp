#include "ModelFiles.hpp"

#include "ElementNames.hpp"
#include "TreePrinter.hpp"

#include <fenmo/ModelComparison.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Persistence.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Text.hpp>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

namespace arvelle::tools {

namespace {

std::vector<tn::TreeNode> topLevelNodes(const ::fenmo::Model& model) {
    std::vector<tn::TreeNode> roots;
    for (const ::fenmo::ModelElement& element : model->elements())
        if (auto node = ::fenmo::handleCast<tn::TreeNode>(element); node && !node->containerImpl())
            roots.push_back(node);
    std::sort(roots.begin(), roots.end(),
              [](const tn::TreeNode& a, const tn::TreeNode& b) { return a->getUuid() < b->getUuid(); });
    return roots;
}

ElementNames namesOf(const ::fenmo::Model& model) {
    ElementNames names;
    for (const tn::TreeNode& root : topLevelNodes(model)) names.remember(root);
    return names;
}

std::string nameOf(const ::fenmo::Model& model, const ElementNames& names, const ::fenmo::uuid& id) {
    if (id.is_nil()) return "(top level)";
    ::fenmo::ModelElement element = model->findElement(id);
    return element ? names.of(element).text() : ::fenmo::toString(id);
}

}  // namespace

::fenmo::Model loadFile(const std::string& path, bool newIdentity, std::ostream& err, bool progress) {
    ::fenmo::xml::LoadOptions options;
    options.newIdentity = newIdentity;
    if (progress)
        options.progress = [&err, &path](std::size_t done, std::size_t) {
            err << "\rloading " << path << ": " << done << " elements" << std::flush;
        };
    ::fenmo::Model model = ::fenmo::xml::loadModel(path, options);
    if (progress) err << "\r\033[K" << std::flush;
    return model;
}

void showFile(const std::string& path, int maxDepth, const std::string& nodePath, std::ostream& out,
              std::ostream& err, const Style& style, bool progress) {
    ::fenmo::Model model = loadFile(path, false, err, progress);
    ElementNames names = namesOf(model);
    bool shown = false;
    for (const tn::TreeNode& root : topLevelNodes(model)) {
        tn::TreeNode node = root;
        if (!nodePath.empty()) {
            std::u16string wanted = ::fenmo::toUtf16(nodePath);
            node = findNode(root, wanted);
            std::u16string rootName = ::fenmo::toUtf16(nodeName(root));
            if (!node && wanted.starts_with(rootName + u"/"))
                node = findNode(root, std::u16string_view(wanted).substr(rootName.size() + 1));
            if (!node && wanted == rootName) node = root;
            if (!node) continue;
        }
        out << printTree(node, names, style, maxDepth);
        shown = true;
    }
    if (!nodePath.empty() && !shown) throw std::runtime_error(path + " has no node " + nodePath);
}

std::size_t checkFile(const std::string& path, std::ostream& out, std::ostream& err, bool progress) {
    ::fenmo::Model model = loadFile(path, false, err, progress);
    ElementNames names = namesOf(model);
    std::vector<std::string> findings;
    for (const ::fenmo::ModelElement& element : model->elements()) {
        if (auto node = ::fenmo::handleCast<tn::TreeNode>(element)) {
            std::map<std::string, int> byName;
            std::map<int, int> byIndex;
            for (const tn::TreeNode& child : childrenOf(node)) {
                ++byName[nodeName(child)];
                ++byIndex[nodeIndex(child)];
            }
            for (const auto& [name, count] : byName)
                if (count > 1)
                    findings.push_back(pathOf(node) + ": " + std::to_string(count) + " children are named " +
                                       name);
            int expected = 1;
            for (const auto& [index, count] : byIndex) {
                if (count > 1)
                    findings.push_back(pathOf(node) + ": " + std::to_string(count) +
                                       " children have the index " + std::to_string(index));
                if (index != expected)
                    findings.push_back(pathOf(node) + ": the indices of the children skip from " +
                                       std::to_string(expected - 1) + " to " + std::to_string(index));
                expected = index + 1;
            }
        }
        // Proxies that do not resolve: their model is not open, or does not hold the element.
        for (const ::fenmo::meta::Property& property : element->getMetaClass()->getAllProperties()) {
            if (!property->hasIndex() ||
                dynamic_cast<const ::fenmo::meta::Class::Impl*>(property->typeImpl()) == nullptr)
                continue;
            const auto& unresolved = ::fenmo::ReflectionPrivateTag::unresolved();
            if (!element->hasPropertyValue(property, unresolved)) continue;
            ::fenmo::Value value = element->getPropertyValue(property, unresolved);
            ::fenmo::Value::List entries = value.getMeta().isCollection() || value.getCollection()
                                               ? value.getEntries()
                                               : ::fenmo::Value::List{value};
            for (const ::fenmo::Value& entry : entries) {
                ::fenmo::ModelElement target =
                    entry.hasPayload() ? entry.getElement() : ::fenmo::ModelElement();
                if (!target.get() || !target->isProxy() || model->peekResolveProxy(target)) continue;
                const ::fenmo::ProxyId* id = model->proxyIdOf(*target.get());
                findings.push_back(
                    names.of(element).text() + ": " + ::fenmo::toUtf8(property->getName()) + " refers to " +
                    (id && id->getModelId() ? ::fenmo::toString(*id->getModelId()) + "#" : "") +
                    ::fenmo::toString(target->getUuid()) + ", which no open model holds");
            }
        }
    }
    std::sort(findings.begin(), findings.end());
    for (const std::string& finding : findings) out << finding << "\n";
    return findings.size();
}

std::size_t diffFiles(const std::string& before, const std::string& after, std::ostream& out,
                      std::ostream& err, const Style& style, bool progress) {
    ::fenmo::Model a = loadFile(before, false, err, progress);
    // The two files are usually versions of one model, with one identity.
    ::fenmo::Model b = loadFile(after, true, err, progress);
    ElementNames namesA = namesOf(a), namesB = namesOf(b);
    std::vector<std::pair<std::string, std::string>> lines;  // (path, line) for ordering by path
    for (const ::fenmo::ModelDifference& d : ::fenmo::compareModels(a, b)) {
        using Kind = ::fenmo::ModelDifference::Kind;
        const std::string className = ::fenmo::toUtf8(d.name);
        switch (d.kind) {
            case Kind::Added: {
                std::string path = nameOf(b, namesB, d.element);
                lines.emplace_back(path, style.added("+ " + path + " (" + className + ")"));
                break;
            }
            case Kind::Removed: {
                std::string path = nameOf(a, namesA, d.element);
                lines.emplace_back(path, style.removed("- " + path + " (" + className + ")"));
                break;
            }
            case Kind::Moved: {
                std::string path = nameOf(b, namesB, d.element);
                std::string from = nameOf(a, namesA, d.oldContainer), to = nameOf(b, namesB, d.newContainer);
                lines.emplace_back(path, "> " + path + ": moved from " + from + " #" +
                                             std::to_string(d.oldPosition + 1) + " to " + to + " #" +
                                             std::to_string(d.newPosition + 1));
                break;
            }
            case Kind::Changed: {
                std::string path = nameOf(b, namesB, d.element);
                lines.emplace_back(path,
                                   "~ " + path + ": " + className + " " + d.oldText + " -> " + d.newText);
                break;
            }
        }
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    for (const auto& line : lines) out << line.second << "\n";
    return lines.size();
}

}  // namespace arvelle::tools
