// Containment: one container per element, moves, and destruction of what a container holds.

#include "Support.hpp"

namespace fenmo_test {
namespace {

TEST(Containment, MovesAndDestructionOfWhatIsContained) {
    Model model = Model::create();
    Node a = Node::create(model), b = Node::create(model), p = Node::create(model),
         leaf = Node::create(model);
    a->setChild(p);
    p->setChild(leaf);
    const auto before = dump(model);
    Recorder recorder(model);

    // Containing elsewhere moves the element; one report names both ends.
    b->setChild(p);
    EXPECT_FALSE(a->getChild().get());
    EXPECT_EQ(p->container().get(), b.get());
    EXPECT_EQ(p->containingProperty().get(), TestMeta::childProp().get());
    ASSERT_EQ(recorder.reports.size(), 1u);
    const fenmo::PropertyChange* left = findChange(recorder.reports[0], a, TestMeta::childProp());
    const fenmo::PropertyChange* arrived = findChange(recorder.reports[0], b, TestMeta::childProp());
    ASSERT_TRUE(left && arrived);
    EXPECT_EQ(left->oldValue.getElement().get(), p.get());
    EXPECT_FALSE(left->newValue.getElement().get());
    EXPECT_EQ(arrived->newValue.getElement().get(), p.get());

    // Destroying a container destroys what it contains, all the way down.
    b->destroy();
    for (const Node& e : {b, p, leaf}) {
        EXPECT_FALSE(e);
        EXPECT_FALSE(model->findElement(e->getUuid()).get());
    }
    EXPECT_TRUE(a);
    ASSERT_EQ(recorder.reports.size(), 2u);
    EXPECT_EQ(recorder.reports[1].destroyed().size(), 3u);
    EXPECT_TRUE(recorder.reports[1].modified().empty());
    model->undo();

    // Destroying a contained element empties its container's slot; destroying it again is harmless.
    p->destroy();
    p->destroy();
    EXPECT_FALSE(b->getChild().get());
    EXPECT_FALSE(leaf);
    EXPECT_EQ(model->elementCount(), 2u);
    model->undo();
    model->undo();
    EXPECT_EQ(dump(model), before);
}

}  // namespace
}  // namespace fenmo_test
