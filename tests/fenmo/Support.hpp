#pragma once
// Helpers shared by the framework tests: a listener that keeps every report, a text picture of a
// model's whole state, and short-hands for values.

#include "TestElements.hpp"

#include <fenmo/Text.hpp>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace fenmo_test {

// Keeps the reports a model sends while the recorder lives.
struct Recorder {
    explicit Recorder(const Model& model)
        : token(model->addListener([this](const fenmo::ChangeReport& r) { reports.push_back(r); })) {}
    std::vector<fenmo::ChangeReport> reports;
    fenmo::ListenerToken token;
};

inline std::string str(const boost::optional<std::u16string>& v) {
    return v ? "'" + fenmo::toUtf8(*v) + "'" : std::string("-");
}
inline std::string str(const boost::optional<std::int32_t>& v) {
    return v ? std::to_string(*v) : "-";
}
inline std::string idOf(const ModelElement& e) {
    return e.get() ? fenmo::toString(e->getUuid()) : "-";
}

// Every live element of the model with its values, its slots and its container, by identity.
inline std::map<std::string, std::string> dump(const Model& model) {
    std::map<std::string, std::string> state;
    for (const ModelElement& e : model->elements()) {
        std::string line;
        if (Item item = fenmo::handleCast<Item>(e); item.get()) {
            line = "Item label=" + str(item->getLabel()) + " count=" + str(item->getCount()) +
                   " child=" + idOf(item->getChild()) + " spare=" + idOf(item->getSpare()) +
                   " sub=" + idOf(item->getSub());
        } else if (Part part = fenmo::handleCast<Part>(e); part.get()) {
            line = "Part text=" + str(part->getText()) + " rank=" + str(part->getRank());
        }
        line += " in=" + idOf(e->container());
        if (e->container().get()) line += "." + fenmo::toUtf8(e->containingProperty()->getName());
        EXPECT_TRUE(e) << "a listed element must be valid: " << line;
        state[idOf(e)] = line;
    }
    return state;
}

// The reported change of `property` of `element`, or null.
inline const fenmo::PropertyChange* findChange(const fenmo::ChangeReport& report, const ModelElement& element,
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
        fenmo::Transaction transaction = model->beginTransaction(false);
        body();
        throw std::runtime_error("edit failed");
    } catch (const std::runtime_error&) {
    }
}

}  // namespace fenmo_test

// Readable optionals in test failures.
namespace boost {
inline void PrintTo(const optional<std::u16string>& v, std::ostream* os) {
    *os << fenmo_test::str(v);
}
inline void PrintTo(const optional<std::int32_t>& v, std::ostream* os) {
    *os << fenmo_test::str(v);
}
}  // namespace boost
