#pragma once
// The demo: the example hierarchy, a short story of edits each committed on its own, and undo and
// redo of all of them.

#include "ElementNames.hpp"
#include "Style.hpp"

#include <fenmo/ChangeReport.hpp>
#include <fenmo/ModelImpl.hpp>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace arvelle::tools {

class Demo {
public:
    struct Edit {
        std::string title;
        std::function<void(const tn::TreeNode& root)> apply;
    };

    // Builds the example into a new model. The build is not an undo step: undoing every edit leaves
    // the example as built.
    Demo();
    Demo(const Demo&) = delete;  // its listener refers to it
    Demo& operator=(const Demo&) = delete;

    const ::fenmo::Model& model() const noexcept { return m_model; }
    const tn::TreeNode& root() const noexcept { return m_root; }
    const ElementNames& names() const noexcept { return m_names; }
    // The number of elements the build created, as reported by its commit.
    std::size_t builtElements() const noexcept { return m_builtElements; }

    // Rename, move, re-index, retype and destroy, in this order.
    static std::vector<Edit> story();
    // Applies `edit` in a transaction of its own and returns the report its commit published.
    ::fenmo::ChangeReport apply(const Edit& edit);
    // Undoes (redoes) every step there is; returns how many.
    std::size_t undoAll();
    std::size_t redoAll();

    std::string tree(const Style& style) const;

private:
    ::fenmo::Model m_model;
    ::fenmo::ListenerToken m_listening;
    std::vector<::fenmo::ChangeReport> m_reports;
    tn::TreeNode m_root;
    ElementNames m_names;
    std::size_t m_builtElements = 0;
};

// Runs the whole demo, writing to `out`; false if undo or redo did not bring back the tree they should.
// With `savePath`, the model as edited is saved there at the end.
bool runDemo(std::ostream& out, const Style& style, const std::string& savePath = {});

}  // namespace arvelle::tools
