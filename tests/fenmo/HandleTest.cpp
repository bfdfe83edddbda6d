// Element handles: reference counting, validity, and the model's index of its live elements.

#include "Support.hpp"

#include <thread>

namespace fenmo_test {
namespace {

TEST(Handle, CopyMoveAssignResetRelease) {
    Model model = Model::create();
    Node a = Node::create(model), b = Node::create(model);
    Node::Impl* impl = a.get();
    const std::int32_t base = impl->refCount(), bBase = b->refCount();
    {
        Node copy = a;
        EXPECT_EQ(impl->refCount(), base + 1);
        Node moved = std::move(copy);
        EXPECT_EQ(copy.get(), nullptr);
        EXPECT_FALSE(copy);
        EXPECT_EQ(moved.get(), impl);
        EXPECT_EQ(impl->refCount(), base + 1);
        // Assigning over another element drops that element's reference.
        Node other = b;
        other = a;
        EXPECT_EQ(b->refCount(), bBase);
        EXPECT_EQ(impl->refCount(), base + 2);
    }
    EXPECT_EQ(impl->refCount(), base);

    // Self-assignment, by copy and by move, leaves the count as it was.
    Node self = a;
    Node& alias = self;
    self = alias;
    self = std::move(alias);
    EXPECT_EQ(self.get(), impl);
    EXPECT_EQ(impl->refCount(), base + 1);

    // reset() drops the reference; on an empty handle it does nothing.
    self.reset();
    self.reset();
    EXPECT_EQ(self.get(), nullptr);
    EXPECT_EQ(impl->refCount(), base);

    // release() gives up the pointer without touching the count; a handle can adopt it again.
    Node released = a;
    fenmo::ElementImpl* raw = released.release();
    EXPECT_EQ(raw, impl);
    EXPECT_EQ(released.get(), nullptr);
    EXPECT_EQ(impl->refCount(), base + 1);
    { Node adopt(static_cast<Node::Impl*>(raw), false); }
    EXPECT_EQ(impl->refCount(), base);

    // A destroyed element keeps its handles non-null, but they test false.
    Node copy = a;
    const fenmo::uuid id = a->getUuid();
    a->destroy();
    for (const Node& h : {a, copy}) {
        EXPECT_EQ(h.get(), impl);
        EXPECT_FALSE(h);
    }
    EXPECT_FALSE(model->findElement(id).get());
    EXPECT_EQ(model->elementCount(), 1u);
    EXPECT_EQ(a->getUuid(), id);
}

TEST(Handle, ConcurrentCopiesKeepTheCountRight) {
    Model model = Model::create();
    Node a = Node::create(model);
    const std::int32_t base = a->refCount();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([a, t] {
            for (int round = 0; round < 500; ++round) {
                std::vector<Node> held(10 + t, a);
                Node moved = std::move(held.back());
                Node assigned;
                assigned = moved;
                held.resize(t);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(a->refCount(), base);
    EXPECT_TRUE(a);
}

}  // namespace
}  // namespace fenmo_test
