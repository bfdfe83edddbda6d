// What the attribute classes tell the host as they are destroyed: the element callback hears about
// every collection an element owns before it hears about the element.

#include "Support.hpp"

namespace elements_test {
namespace {

struct Invalidation {
    const fm::ElementImpl* element;
    const fm::AbstractCollection* collection;
};
std::vector<Invalidation> invalidations;

void recordInvalidation(fm::ElementImpl& element, fm::AbstractCollection* collection) {
    invalidations.push_back({&element, collection});
}

// Installs the recording callback for one test and restores the previous one afterwards.
class ElementCallback : public ::testing::Test {
protected:
    void SetUp() override {
        invalidations.clear();
        m_previous = fm::ElementImpl::m_callback.exchange(&recordInvalidation);
    }
    void TearDown() override { fm::ElementImpl::m_callback.store(m_previous); }

private:
    fm::ElementImpl::Callback m_previous = nullptr;
};

TEST_F(ElementCallback, DestroyedBlockAttributesReportTheirSetFirst) {
    fm::Model model = fm::Model::create();
    auto blocks = tn::BlockAttributes::create(model, fm::newUuid());
    blocks->getTavBlocksMutable().insert(block(1));
    auto signal = tn::SignalAttributes::create(model, fm::newUuid());
    invalidations.clear();

    blocks->destroy();
    EXPECT_FALSE(blocks);
    ASSERT_EQ(invalidations.size(), 2u);
    EXPECT_EQ(invalidations[0].element, blocks.get());
    EXPECT_EQ(invalidations[0].collection, &blocks->getTavBlocks());
    EXPECT_EQ(invalidations[1].element, blocks.get());
    EXPECT_EQ(invalidations[1].collection, nullptr);

    // A class without collections is reported once, as itself.
    invalidations.clear();
    signal->destroy();
    ASSERT_EQ(invalidations.size(), 1u);
    EXPECT_EQ(invalidations[0].element, signal.get());
    EXPECT_EQ(invalidations[0].collection, nullptr);

    // Undoing the destruction brings the set back with its contents.
    model->undo();
    model->undo();
    ASSERT_TRUE(blocks);
    EXPECT_TRUE(blocks->getTavBlocks().contains(block(1)));
}

}  // namespace
}  // namespace elements_test
