// Element handles: reference counting, validity, and the model's index of its live elements.

#include "Support.hpp"

#include <fenmo/Exceptions.hpp>

#include <thread>
#include <vector>

namespace fenmo_test {
namespace {

TEST(Handle, CopyMoveAssignResetRelease) {
    Model model = Model::create();
    Item a = Item::create(model);
    Item::Impl* impl = a.get();
    const std::int32_t base = impl->refCount();
    EXPECT_GE(base, 2);  // the test's handle and the model's

    {
        Item copy = a;
        EXPECT_EQ(copy.get(), impl);
        EXPECT_EQ(impl->refCount(), base + 1);
        Item moved = std::move(copy);
        EXPECT_EQ(copy.get(), nullptr);
        EXPECT_FALSE(copy);
        EXPECT_EQ(moved.get(), impl);
        EXPECT_EQ(impl->refCount(), base + 1);
    }
    EXPECT_EQ(impl->refCount(), base);

    // Self-assignment, by copy and by move, leaves the count as it was.
    Item self = a;
    Item& alias = self;
    self = alias;
    EXPECT_EQ(self.get(), impl);
    EXPECT_EQ(impl->refCount(), base + 1);
    self = std::move(alias);
    EXPECT_EQ(self.get(), impl);
    EXPECT_EQ(impl->refCount(), base + 1);

    // Assignment over another element drops that element's reference.
    Item b = Item::create(model);
    const std::int32_t bBase = b->refCount();
    Item other = b;
    EXPECT_EQ(b->refCount(), bBase + 1);
    other = a;
    EXPECT_EQ(b->refCount(), bBase);
    EXPECT_EQ(impl->refCount(), base + 2);
    // Move assignment exchanges: the old element is released when the source goes.
    {
        Item source = b;
        source = std::move(other);
        EXPECT_EQ(other.get(), b.get());
        EXPECT_EQ(source.get(), impl);
        EXPECT_EQ(b->refCount(), bBase + 1);
    }
    EXPECT_EQ(impl->refCount(), base + 1);

    // reset() drops the reference; on an empty handle it does nothing.
    self.reset();
    EXPECT_EQ(self.get(), nullptr);
    EXPECT_EQ(impl->refCount(), base);
    self.reset();
    Item empty;
    empty.reset();
    EXPECT_FALSE(empty);
    EXPECT_TRUE(!empty);

    // release() gives up the pointer without touching the count; a handle can adopt it again.
    Item released = a;
    fenmo::ElementImpl* raw = released.release();
    EXPECT_EQ(raw, impl);
    EXPECT_EQ(released.get(), nullptr);
    EXPECT_EQ(impl->refCount(), base + 1);
    { Item adopt(static_cast<Item::Impl*>(raw), false); }
    EXPECT_EQ(impl->refCount(), base);

    // swap exchanges without counting.
    Item s1 = a, s2 = b;
    s1.swap(s2);
    EXPECT_EQ(s1.get(), b.get());
    EXPECT_EQ(s2.get(), impl);
    EXPECT_EQ(impl->refCount(), base + 1);

    // Handles of the base class count the same way.
    ModelElement general = a;
    EXPECT_EQ(impl->refCount(), base + 2);
    EXPECT_TRUE(general == ModelElement(a));
}

TEST(Handle, DestroyedElementKeepsNonNullHandlesThatTestFalse) {
    Model model = Model::create();
    Item a = Item::create(model);
    Item copy = a;
    EXPECT_TRUE(a);
    EXPECT_FALSE(!a);
    const std::size_t count = model->elementCount();
    const fenmo::uuid id = a->getUuid();
    a->destroy();
    for (const Item& h : {a, copy}) {
        EXPECT_NE(h.get(), nullptr);
        EXPECT_FALSE(h);
        EXPECT_TRUE(!h);
    }
    EXPECT_FALSE(model->findElement(id).get());
    EXPECT_EQ(model->elementCount(), count - 1);
    // The handle still reaches the element's last state.
    EXPECT_EQ(a->getUuid(), id);
}

TEST(Handle, HandleCastChecksTheClass) {
    Model model = Model::create();
    Item a = Item::create(model);
    ModelElement general = a;
    EXPECT_EQ(fenmo::handleCast<Item>(general).get(), a.get());
    EXPECT_EQ(fenmo::handleCast<Part>(general).get(), nullptr);
    EXPECT_EQ(fenmo::handleCast<Item>(ModelElement()).get(), nullptr);
}

TEST(Handle, ConcurrentCopiesKeepTheCountRight) {
    Model model = Model::create();
    Item a = Item::create(model);
    const std::int32_t base = a->refCount();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([a, t] {
            std::vector<Item> held;
            for (int round = 0; round < 200; ++round) {
                for (int i = 0; i < 50 + t; ++i) held.push_back(a);
                Item moved = std::move(held.back());
                held.pop_back();
                Item assigned;
                assigned = moved;
                held.erase(held.begin(), held.begin() + held.size() / 2);
                if (round % 3 == 0) held.clear();
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(a->refCount(), base);
    EXPECT_TRUE(a);
}

TEST(Model, FindElementAndCount) {
    Model model = Model::create();
    EXPECT_EQ(model->elementCount(), 0u);
    EXPECT_FALSE(model->findElement(fenmo::newUuid()).get());

    const fenmo::uuid chosen = fenmo::uuidFromLiteral("7de12f0f-0cfb-4cf0-8a78-ca88cd608bc4");
    Item a = Item::create(model, chosen);
    Item b = Item::create(model);
    Part p = Part::create(model);
    EXPECT_EQ(a->getUuid(), chosen);
    EXPECT_FALSE(b->getUuid().is_nil());
    EXPECT_NE(b->getUuid(), p->getUuid());
    EXPECT_EQ(model->elementCount(), 3u);
    EXPECT_EQ(model->findElement(chosen).get(), a.get());
    EXPECT_EQ(model->findElement(p->getUuid()).get(), p.get());
    EXPECT_EQ(model->elements().size(), 3u);
    EXPECT_EQ(a->getModel(), model);

    // The same identity in another model is another element.
    Model other = Model::create();
    Item twin = Item::create(other, chosen);
    EXPECT_NE(other->findElement(chosen).get(), a.get());
    EXPECT_EQ(model->findElement(chosen).get(), a.get());

    // A second element with an identity already in use is refused; the model is as it was.
    Recorder recorder(model);
    try {
        Item::create(model, chosen);
        FAIL() << "a duplicate identity must be refused";
    } catch (const fenmo::InvalidValueException& e) {
        ASSERT_EQ(e.arguments().size(), 1u);
        EXPECT_NE(e.arguments()[0].find(fenmo::toU16String(chosen)), std::u16string::npos);
    }
    EXPECT_EQ(model->elementCount(), 3u);
    EXPECT_EQ(model->findElement(chosen).get(), a.get());
    EXPECT_TRUE(a);
    EXPECT_FALSE(model->isInTransaction());
    EXPECT_TRUE(recorder.reports.empty());

    // Many elements: every one is found, destroyed ones are not, and the count follows.
    std::vector<Part> parts;
    for (int i = 0; i < 2000; ++i) parts.push_back(Part::create(model));
    for (std::size_t i = 0; i < parts.size(); i += 3) parts[i]->destroy();
    std::size_t live = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool destroyed = i % 3 == 0;
        EXPECT_EQ(model->findElement(parts[i]->getUuid()).get(), destroyed ? nullptr : parts[i].get());
        if (!destroyed) ++live;
    }
    EXPECT_EQ(model->elementCount(), 3 + live);
    while (model->canUndo()) model->undo();
    EXPECT_EQ(model->elementCount(), 0u);
    for (const Part& p : parts) EXPECT_FALSE(model->findElement(p->getUuid()).get());
}

TEST(Model, ElementsOutliveTheirModel) {
    Item kept;
    Part inside;
    {
        Model model = Model::create();
        kept = Item::create(model);
        inside = Part::create(model);
        kept->setChild(inside);
        kept->setLabel(text(u"kept"));
    }
    EXPECT_NE(kept.get(), nullptr);
    EXPECT_FALSE(kept);
    EXPECT_FALSE(inside);
    EXPECT_FALSE(kept->getModel());
    EXPECT_EQ(kept->getModelImpl(), nullptr);
    EXPECT_EQ(kept->getLabel(), text(u"kept"));
    // Nothing can be changed without a model; the element stays as it was.
    EXPECT_THROW(kept->setLabel(text(u"x")), fenmo::CannotCreateWithoutModelException);
    EXPECT_EQ(kept->getLabel(), text(u"kept"));
    EXPECT_THROW(Item::create(Model()), fenmo::CannotCreateWithoutModelException);
}

TEST(Model, ListenerTokensRemoveListenersWhenDropped) {
    Model model = Model::create();
    Item a = Item::create(model);
    int first = 0, second = 0;
    fenmo::ListenerToken t1 = model->addListener([&](const fenmo::ChangeReport&) { ++first; });
    {
        fenmo::ListenerToken t2 = model->addListener([&](const fenmo::ChangeReport&) { ++second; });
        a->setCount(1);
        EXPECT_EQ(first, 1);
        EXPECT_EQ(second, 1);
    }
    a->setCount(2);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);

    // Moving a token moves the registration; resetting removes it.
    fenmo::ListenerToken moved = std::move(t1);
    a->setCount(3);
    EXPECT_EQ(first, 3);
    t1.reset();  // the moved-from token no longer holds it
    a->setCount(4);
    EXPECT_EQ(first, 4);
    moved.reset();
    a->setCount(5);
    EXPECT_EQ(first, 4);

    // Assigning over a token removes the listener it held.
    fenmo::ListenerToken t3 = model->addListener([&](const fenmo::ChangeReport&) { ++first; });
    t3 = model->addListener([&](const fenmo::ChangeReport&) { ++second; });
    a->setCount(6);
    EXPECT_EQ(first, 4);
    EXPECT_EQ(second, 2);

    // A listener may remove itself while being told; a token may outlive its model.
    fenmo::ListenerToken self;
    int selfCalls = 0;
    self = model->addListener([&](const fenmo::ChangeReport&) {
        ++selfCalls;
        self.reset();
    });
    a->setCount(7);
    a->setCount(8);
    EXPECT_EQ(selfCalls, 1);
    fenmo::ListenerToken outliving;
    {
        Model shortLived = Model::create();
        outliving = shortLived->addListener([](const fenmo::ChangeReport&) {});
    }
    outliving.reset();
}

TEST(Model, ListenerDroppedDuringAReportIsNotCalledAfterwards) {
    // Whatever a listener refers to may go with its token; another listener may drop that token while
    // the same report is being told.
    Model model = Model::create();
    Item a = Item::create(model);
    bool dropped = false;
    int calledAfterDrop = 0;
    fenmo::ListenerToken victim;
    fenmo::ListenerToken dropper = model->addListener([&](const fenmo::ChangeReport&) {
        victim.reset();
        dropped = true;
    });
    victim = model->addListener([&](const fenmo::ChangeReport&) {
        if (dropped) ++calledAfterDrop;
    });
    a->setCount(9);
    EXPECT_EQ(calledAfterDrop, 0) << "a listener was called after its token was dropped";
}

TEST(Model, OpenModelsAreFoundByIdentity) {
    const fenmo::uuid id = fenmo::newUuid();
    {
        Model model = Model::create(id);
        EXPECT_EQ(model->getId(), id);
        EXPECT_EQ(Model::Impl::findModel(id), model);
    }
    EXPECT_FALSE(Model::Impl::findModel(id));
}

}  // namespace
}  // namespace fenmo_test
