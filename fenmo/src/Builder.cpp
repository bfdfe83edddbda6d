#include <fenmo/Builder.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/meta/Property.hpp>

#include "ModelState.hpp"

namespace fenmo {

ModelElement::Builder::~Builder() = default;

void ModelElement::Builder::setOrAdd(const meta::Property& property, std::unique_ptr<Builder>&) {
    throw InvalidValueException({property.get() ? property->getQualifiedName() : std::u16string()});
}

void ModelElement::Builder::setOrAdd(const meta::Property& property, const Value&) {
    throw InvalidValueException({property.get() ? property->getQualifiedName() : std::u16string()});
}

ModelElement ModelElement::Builder::create(const uuid& id) { return doCreate(false, id); }

ModelElement ModelElement::Builder::createUnannounced(const uuid& id) { return doCreate(true, id); }

ModelElement::Builder::Orchestrator::Orchestrator(Builder& root) {
    const Model& model = root.getModel();
    if (!model) throw CannotCreateWithoutModelException();
    // Orchestrating inside an operation (a creation into a collection) joins that operation's level,
    // which takes the whole creation back if any part is refused. Anywhere else the orchestration is
    // a level of its own, never joined: its creator may run other code while it is open.
    m_transaction = detail::ModelState::of(*model.get()).inOperation() ? model->beginOperation()
                                                                       : model->beginTransaction(false);
    addBuilder(&root);
}

ModelElement::Builder::Orchestrator::~Orchestrator() {
    for (Builder* builder : m_builders)
        if (builder->m_orchestrator == this) builder->m_orchestrator = nullptr;
}

void ModelElement::Builder::Orchestrator::addBuilder(Builder* builder) {
    if (!builder || builder->m_orchestrator == this) return;
    builder->m_orchestrator = this;
    if (!builder->getModel()) builder->setModel(m_builders.empty() ? Model() : m_builders.front()->getModel());
    m_builders.push_back(builder);
}

ModelElement ModelElement::Builder::Orchestrator::getCreatedElement(const Builder* builder) const {
    if (m_created.size() > kLinearSearchLimit) {
        auto it = m_index.find(builder);
        return it == m_index.end() ? ModelElement() : m_created[it->second].second;
    }
    for (const auto& [b, element] : m_created)
        if (b == builder) return element;
    return ModelElement();
}

void ModelElement::Builder::Orchestrator::setCreatedElement(const Builder* builder, const ModelElement& element) {
    m_created.emplace_back(builder, element);
    if (m_created.size() > kLinearSearchLimit) {
        if (m_index.empty())
            for (std::size_t i = 0; i < m_created.size(); ++i) m_index.emplace(m_created[i].first, i);
        else
            m_index.emplace(builder, m_created.size() - 1);
    }
}

void ModelElement::Builder::Orchestrator::commit() { m_transaction.commit(boost::none); }

}  // namespace fenmo
