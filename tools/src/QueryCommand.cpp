#include "QueryCommand.hpp"

#include "Cli.hpp"
#include "ExampleModel.hpp"
#include "ModelFiles.hpp"
#include "Tree.hpp"
#include "TreePrinter.hpp"

#include <fenmo/ModelImpl.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/query/TextQuery.hpp>

#include <optional>
#include <sstream>

namespace arvelle::tools {

namespace {

// The node a match is or belongs to (an attribute object belongs to the node that holds it).
tn::TreeNode nodeOf(const ::fenmo::ModelElement& element) {
    for (::fenmo::ModelElement::Impl* e = element.get(); e; e = e->containerImpl())
        if (auto node = ::fenmo::handleCast<tn::TreeNode>(::fenmo::ModelElement(e, true))) return node;
    return tn::TreeNode();
}

std::string indented(const std::string& text, const std::string& by) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) out += by + line + "\n";
    return out;
}

}  // namespace

int runQuery(const std::string& text, const std::string& path, std::ostream& out, std::ostream& err,
             const Style& style, bool progress) {
    const std::u16string query16 = ::fenmo::toUtf16(text);
    // Parsed before any model is built or loaded: a bad query costs nothing.
    std::optional<::fenmo::query::DynamicQuery> query;
    try {
        query.emplace(::fenmo::query::parseQuery(query16));
    } catch (const ::fenmo::query::QueryTextException& error) {
        err << "arvelle: " << ::fenmo::toUtf8(error.reason()) << " (column " << error.column() << ")\n"
            << "  " << text << "\n"
            << "  " << std::string(error.column() - 1, ' ') << "^\n";
        return kExitFailure;
    }
    ::fenmo::Model model;
    if (path.empty()) {
        model = ::fenmo::Model::create();
        buildExample(model);
    } else {
        model = loadFile(path, false, err, progress);
    }
    ElementNames names;
    for (const ::fenmo::ModelElement& element : model->elements())
        if (auto node = ::fenmo::handleCast<tn::TreeNode>(element); node && !node->containerImpl())
            names.remember(node);

    std::size_t count = 0;
    query->forEachMatch(model, [&](::fenmo::ModelElement::Impl& match) {
        ::fenmo::ModelElement element(&match, true);
        out << style.bold(names.of(element).text()) << "\n";
        if (tn::TreeNode node = nodeOf(element)) out << indented(printTree(node, names, style, 0), "  ");
        ++count;
        return true;
    });
    out << count << (count == 1 ? " match" : " matches") << " of " << ::fenmo::toUtf8(query->describe())
        << "\n";
    return kExitOk;
}

}  // namespace arvelle::tools
