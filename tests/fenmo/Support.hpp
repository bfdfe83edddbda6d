#pragma once
// Helpers shared by the framework tests: a listener that keeps every report, a text picture of a
// model's whole state, and short-hands.

#include "TestElements.hpp"

#include <fenmo/Text.hpp>

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace fenmo_test {

using fenmo::ChangeReport;
using fenmo::Transaction;

// Keeps the reports a model sends while the recorder lives.
struct Recorder {
    explicit Recorder(const Model& model)
        : token(model->addListener([this](const ChangeReport& r) { reports.push_back(r); })) {}
    std::vector<ChangeReport> reports;
    fenmo::ListenerToken token;
};

inline boost::optional<std::u16string> txt(const char16_t* s) {
    return std::u16string(s);
}
inline std::string idOf(const ModelElement& e) {
    return e.get() ? fenmo::toString(e->getUuid()) : "-";
}

// Every live element of the model with its values, its child and its container, by identity.
inline std::map<std::string, std::string> dump(const Model& model) {
    std::map<std::string, std::string> state;
    for (const ModelElement& e : model->elements()) {
        Node n = fenmo::handleCast<Node>(e);
        EXPECT_TRUE(n.get() && n) << idOf(e);
        state[idOf(e)] = "text=" + (n->getText() ? fenmo::toUtf8(*n->getText()) : "-") +
                         " number=" + (n->getNumber() ? std::to_string(*n->getNumber()) : "-") +
                         " child=" + idOf(n->getChild()) + " in=" + idOf(n->container());
    }
    return state;
}

// The reported change of `property` of `element`, or null.
inline const fenmo::PropertyChange* findChange(const ChangeReport& report, const ModelElement& element,
                                               const meta::Property& property) {
    for (const fenmo::ElementChange& change : report.modified())
        if (change.element.get() == element.get())
            for (const fenmo::PropertyChange& pc : change.properties)
                if (pc.property.get() == property.get()) return &pc;
    return nullptr;
}

inline bool contains(const std::vector<ModelElement>& list, const ModelElement& element) {
    for (const ModelElement& e : list)
        if (e.get() == element.get()) return true;
    return false;
}

// Runs `body` inside a transaction that is left by an exception, as a failing edit would.
template <class F>
void abandonedEdit(const Model& model, F&& body) {
    try {
        Transaction transaction = model->beginTransaction(false);
        body();
        throw std::runtime_error("edit failed");
    } catch (const std::runtime_error&) {
    }
}

}  // namespace fenmo_test

// Readable optionals in test failures.
namespace boost {
template <class T>
void PrintTo(const optional<T>& v, std::ostream* os) {
    *os << (v ? ::testing::PrintToString(*v) : std::string("none"));
}
}  // namespace boost
