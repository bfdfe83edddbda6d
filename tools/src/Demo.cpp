#include "Demo.hpp"

#include "ExampleModel.hpp"
#include "ReportPrinter.hpp"
#include "TreePrinter.hpp"

#include <fenmo/Persistence.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Transaction.hpp>

#include <stdexcept>

namespace arvelle::tools {

namespace {

tn::TreeNode at(const tn::TreeNode& root, std::u16string_view path) {
    tn::TreeNode node = findNode(root, path);
    if (!node) throw std::logic_error("the example has no node " + ::fenmo::toUtf8(path));
    return node;
}

}  // namespace

Demo::Demo() : m_model(::fenmo::Model::create()) {
    m_listening =
        m_model->addListener([this](const ::fenmo::ChangeReport& report) { m_reports.push_back(report); });
    m_model->setUndoRecording(false);
    m_root = buildExample(m_model);
    m_model->setUndoRecording(true);
    for (const auto& report : m_reports) m_builtElements += report.created().size();
    m_reports.clear();
}

std::vector<Demo::Edit> Demo::story() {
    return {
        {"Rename Outputs/Active to Engaged",
         [](const tn::TreeNode& root) { at(root, u"Outputs/Active")->getChildAttrs()->setName(u"Engaged"); }},
        {"Move Inputs/Vehicle/LongAccel to the State bus",
         [](const tn::TreeNode& root) {
             at(root, u"Inputs/Vehicle/LongAccel")->getChildAttrs()->setParent(at(root, u"State"));
         }},
        {"Swap the indices of State/Mode and State/TargetSpeed",
         [](const tn::TreeNode& root) {
             tn::ChildAttributes mode = at(root, u"State/Mode")->getChildAttrs();
             tn::ChildAttributes target = at(root, u"State/TargetSpeed")->getChildAttrs();
             int first = mode->getIndexOne(), second = target->getIndexOne();
             mode->setIndexOne(0);  // out of the way: indices are unique among siblings
             target->setIndexOne(first);
             mode->setIndexOne(second);
         }},
        {"Change the data type of Inputs/Radar/TargetDist to double",
         [](const tn::TreeNode& root) {
             at(root, u"Inputs/Radar/TargetDist")->getSignalAttrs()->setDataType(std::u16string(u"double"));
         }},
        {"Destroy the Diagnostics bus",
         [](const tn::TreeNode& root) { at(root, u"Diagnostics")->destroy(); }},
    };
}

::fenmo::ChangeReport Demo::apply(const Edit& edit) {
    m_names.remember(m_root);  // names of what the edit may destroy
    m_reports.clear();
    ::fenmo::Transaction transaction = m_model->beginTransaction(false);
    edit.apply(m_root);
    transaction.commit(boost::none);
    if (m_reports.size() != 1) throw std::logic_error("a commit published no change report");
    return m_reports.front();
}

std::size_t Demo::undoAll() {
    std::size_t steps = 0;
    for (; m_model->canUndo(); ++steps) m_model->undo();
    return steps;
}

std::size_t Demo::redoAll() {
    std::size_t steps = 0;
    for (; m_model->canRedo(); ++steps) m_model->redo();
    return steps;
}

std::string Demo::tree(const Style& style) const {
    return printTree(m_root, m_names, style);
}

bool runDemo(std::ostream& out, const Style& style, const std::string& savePath) {
    Demo demo;
    out << style.heading("The signals and buses of an adaptive cruise controller") << "\n"
        << style.dim("built by one builder: " + std::to_string(demo.builtElements()) +
                     " elements created in one commit")
        << "\n\n";
    const std::string built = demo.tree(style);
    out << built << "\n";

    std::vector<Demo::Edit> story = Demo::story();
    out << style.heading("Edits, each in a transaction of its own, with the change report of its commit")
        << "\n";
    for (std::size_t i = 0; i < story.size(); ++i) {
        ::fenmo::ChangeReport report = demo.apply(story[i]);
        out << "\n"
            << style.bold(std::to_string(i + 1) + ". " + story[i].title) << "\n"
            << printReport(report, demo.names(), style);
    }
    const std::string edited = demo.tree(style);

    auto verdict = [&](bool same, const std::string& what) {
        return same ? style.added("✓ the same tree as " + what)
                    : style.removed("✗ not the same tree as " + what);
    };
    std::size_t undone = demo.undoAll();
    out << "\n" << style.heading("Undo all " + std::to_string(undone) + " edits") << "\n\n";
    const std::string undoneTree = demo.tree(style);
    out << undoneTree << verdict(undoneTree == built, "built") << "\n";

    std::size_t redone = demo.redoAll();
    out << "\n" << style.heading("Redo all " + std::to_string(redone) + " edits") << "\n\n";
    const std::string redoneTree = demo.tree(style);
    out << redoneTree << verdict(redoneTree == edited, "after the last edit") << "\n";
    if (!savePath.empty()) {
        ::fenmo::xml::saveModel(demo.model(), savePath);
        out << "\n" << style.dim("saved to " + savePath) << "\n";
    }
    return undoneTree == built && redoneTree == edited;
}

}  // namespace arvelle::tools
