#pragma once
// What the layer keeps beside the host's bindings: for each collection object the owner it keeps alive
// and the element-neutral access scripts change it through; for each model object the model and the
// transactions a script opened on it.

#include <fenmo/Collection.hpp>
#include <fenmo/GenericCollection.hpp>
#include <fenmo/Model.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Transaction.hpp>

#include <memory>
#include <unordered_map>
#include <vector>

namespace fenmo::qorin::detail {

struct CollectionEntry {
    ModelElement owner;
    std::unique_ptr<GenericCollectionInterface> generic;
};
std::unordered_map<const AbstractCollection*, CollectionEntry>& collections();

struct ModelEntry {
    Model model;
    std::vector<Transaction> open;
    ~ModelEntry() {
        // Innermost first: abandoning rolls back what the script did not commit.
        while (!open.empty()) open.pop_back();
    }
};
std::unordered_map<const Model::Impl*, std::unique_ptr<ModelEntry>>& models();

}  // namespace fenmo::qorin::detail
