// Containment: one container per element, moves, replacement, and destruction of what a container holds.

#include "Support.hpp"

#include <fenmo/Exceptions.hpp>

namespace fenmo_test {
namespace {

TEST(Containment, ContainingElsewhereMovesTheElement) {
    Model model = Model::create();
    Item a = Item::create(model);
    Item b = Item::create(model);
    Part p = Part::create(model);
    a->setChild(p);
    EXPECT_EQ(p->container().get(), a.get());
    EXPECT_EQ(p->containingProperty().get(), TestMeta::itemChild().get());
    const auto inA = dump(model);

    Recorder recorder(model);
    b->setChild(p);
    EXPECT_FALSE(a->getChild().get());
    EXPECT_EQ(b->getChild().get(), p.get());
    EXPECT_EQ(p->container().get(), b.get());
    // One report naming both ends of the move.
    ASSERT_EQ(recorder.reports.size(), 1u);
    const fenmo::PropertyChange* left = findChange(recorder.reports[0], a, TestMeta::itemChild());
    const fenmo::PropertyChange* arrived = findChange(recorder.reports[0], b, TestMeta::itemChild());
    ASSERT_TRUE(left && arrived);
    EXPECT_EQ(left->oldValue.getElement().get(), p.get());
    EXPECT_FALSE(left->newValue.getElement().get());
    EXPECT_EQ(arrived->newValue.getElement().get(), p.get());
    const auto inB = dump(model);

    // Within one container, from one slot to another.
    b->setSpare(p);
    EXPECT_FALSE(b->getChild().get());
    EXPECT_EQ(b->getSpare().get(), p.get());
    EXPECT_EQ(p->container().get(), b.get());
    EXPECT_EQ(p->containingProperty().get(), TestMeta::itemSpare().get());

    model->undo();
    EXPECT_EQ(dump(model), inB);
    model->undo();
    EXPECT_EQ(dump(model), inA);
    model->redo();
    model->redo();
    EXPECT_EQ(b->getSpare().get(), p.get());
    EXPECT_EQ(p->containingProperty().get(), TestMeta::itemSpare().get());
}

TEST(Containment, ReplacingOrClearingASlotLeavesTheOldElementAliveAndUncontained) {
    Model model = Model::create();
    Item a = Item::create(model);
    Part p1 = Part::create(model);
    Part p2 = Part::create(model);
    a->setChild(p1);
    a->setChild(p2);
    EXPECT_TRUE(p1);
    EXPECT_FALSE(p1->container().get());
    EXPECT_EQ(p2->container().get(), a.get());
    a->setChild(Part());
    EXPECT_TRUE(p2);
    EXPECT_FALSE(p2->container().get());
    EXPECT_EQ(model->elementCount(), 3u);
    model->undo();
    model->undo();
    EXPECT_EQ(a->getChild().get(), p1.get());
    EXPECT_EQ(p1->container().get(), a.get());
    EXPECT_FALSE(p2->container().get());
}

TEST(Containment, DestroyingAContainerDestroysWhatItContains) {
    Model model = Model::create();
    Item top = Item::create(model);
    Item mid = Item::create(model);
    Item leaf = Item::create(model);
    Part p1 = Part::create(model);
    Part p2 = Part::create(model);
    Part p3 = Part::create(model);
    Part outside = Part::create(model);
    top->setSub(mid);
    mid->setSub(leaf);
    top->setChild(p1);
    mid->setSpare(p2);
    leaf->setChild(p3);
    const auto before = dump(model);
    const std::size_t count = model->elementCount();

    Recorder recorder(model);
    {
        // Changes made just before the destruction are undone with it.
        fenmo::Transaction t = model->beginTransaction(false);
        mid->setLabel(text(u"doomed"));
        p2->setText(text(u"doomed"));
        top->destroy();
        t.commit(boost::none);
    }
    for (const ModelElement& e : {ModelElement(top), ModelElement(mid), ModelElement(leaf), ModelElement(p1),
                                  ModelElement(p2), ModelElement(p3)}) {
        EXPECT_FALSE(e);
        EXPECT_NE(e.get(), nullptr);
        EXPECT_FALSE(model->findElement(e->getUuid()).get());
    }
    EXPECT_TRUE(outside);
    EXPECT_EQ(model->elementCount(), count - 6);
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0].destroyed().size(), 6u);
    EXPECT_TRUE(recorder.reports[0].created().empty());
    EXPECT_TRUE(recorder.reports[0].modified().empty());

    model->undo();
    EXPECT_EQ(dump(model), before);
    EXPECT_EQ(model->elementCount(), count);
    model->redo();
    EXPECT_FALSE(leaf);
    EXPECT_EQ(model->elementCount(), count - 6);
    model->undo();

    // Destroying a contained element empties its container's slot.
    leaf->destroy();
    EXPECT_FALSE(mid->getSub().get());
    EXPECT_FALSE(p3);
    EXPECT_TRUE(mid);
    model->undo();
    EXPECT_EQ(dump(model), before);

    // Destroying twice, or destroying an already destroyed element's container, is harmless.
    mid->destroy();
    const std::size_t afterMid = model->elementCount();
    const std::size_t steps = model->undoStepCount();
    mid->destroy();
    leaf->destroy();
    EXPECT_EQ(model->elementCount(), afterMid);
    EXPECT_EQ(model->undoStepCount(), steps);
}

TEST(Containment, CrossModelContainmentIsRefused) {
    Model m1 = Model::create();
    Model m2 = Model::create();
    Item a = Item::create(m1);
    Part foreign = Part::create(m2);
    try {
        a->setChild(foreign);
        FAIL() << "containing an element of another model must fail";
    } catch (const fenmo::CannotCreateCrossModelAssociationException& e) {
        EXPECT_EQ(e.key(), "CannotCreateCrossModelAssociation");
        ASSERT_EQ(e.arguments().size(), 1u);
        EXPECT_EQ(e.arguments()[0], TestMeta::itemChild()->getQualifiedName());
    }
    EXPECT_FALSE(a->getChild().get());
    EXPECT_FALSE(foreign->container().get());
    EXPECT_EQ(m1->undoStepCount(), 1u);  // the creation only
    EXPECT_FALSE(m1->isInTransaction());
}

TEST(Containment, ReflectiveAccessToASlot) {
    Model model = Model::create();
    Item a = Item::create(model);
    Part p = Part::create(model);
    const auto& tag = ReflectionPrivateTag::standard();
    EXPECT_FALSE(a->hasPropertyValue(TestMeta::itemChild(), tag));
    Value empty = a->getPropertyValue(TestMeta::itemChild(), tag);
    EXPECT_FALSE(empty.hasPayload());
    EXPECT_EQ(empty.getFlags(), fenmo::ValueFlags::Optional);

    a->setPropertyValue(TestMeta::itemChild(), Value::ofElement(p), tag);
    EXPECT_EQ(a->getChild().get(), p.get());
    EXPECT_TRUE(a->hasPropertyValue(TestMeta::itemChild(), tag));
    Value held = a->getPropertyValue(TestMeta::itemChild(), tag);
    EXPECT_EQ(held.getElement().get(), p.get());
    EXPECT_EQ(held.typeImpl(), Part::metaClass().get());

    // An element of the wrong class is refused and nothing changes.
    Item wrong = Item::create(model);
    EXPECT_THROW(a->setPropertyValue(TestMeta::itemChild(), Value::ofElement(wrong), tag),
                 fenmo::CannotCastIncompatibleTypesException);
    EXPECT_EQ(a->getChild().get(), p.get());
    EXPECT_FALSE(wrong->container().get());

    // The empty value of the type empties the slot.
    a->setPropertyValue(TestMeta::itemChild(), Value(Part::metaClass(), boost::none), tag);
    EXPECT_FALSE(a->getChild().get());
    EXPECT_FALSE(p->container().get());
}

}  // namespace
}  // namespace fenmo_test
