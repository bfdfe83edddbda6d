// Element handles: reference counting, validity, and the model's index of its live elements.

#include "Support.hpp"

#include <fenmo/ElementAllocator.hpp>

#include <atomic>
#include <cstring>
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

// Elements of different models are made and freed on different threads at once, from shared lists of
// free blocks: a block handed to two threads would show as another thread's mark in it.
TEST(ElementAllocator, ThreadsNeverShareABlock) {
    constexpr std::size_t kSize = 72, kBlocks = 64;
    std::atomic<int> wrong{0}, ready{0};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (++ready; ready < 4;) std::this_thread::yield();
            std::vector<void*> held;
            for (int round = 0; round < 2000; ++round) {
                while (held.size() < kBlocks) {
                    void* block = fenmo::detail::allocateBlock(kSize);
                    std::memset(block, static_cast<int>(t + 1), kSize);
                    held.push_back(block);
                }
                for (void* block : held) {
                    const auto* bytes = static_cast<const unsigned char*>(block);
                    if (bytes[0] != t + 1 || bytes[kSize - 1] != t + 1) ++wrong;
                }
                // Give back all but a few, so the next round takes freed blocks and new ones.
                for (std::size_t i = 4; i < held.size(); ++i) fenmo::detail::releaseBlock(held[i], kSize);
                held.resize(4);
            }
            for (void* block : held) fenmo::detail::releaseBlock(block, kSize);
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace fenmo_test
