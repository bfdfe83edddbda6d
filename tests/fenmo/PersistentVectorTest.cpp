// The persistent vector under collections: random edits against std::vector, with copies taken on the
// way that must keep what they saw whatever happens to the original afterwards.

#include <fenmo/PersistentVector.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

using Entry = std::shared_ptr<int>;  // counted, so that a leaked or doubly destroyed entry shows

std::vector<int> contents(const fenmo::PersistentVector<Entry>& v) {
    std::vector<int> values;
    for (const Entry& e : v) values.push_back(*e);
    std::vector<int> byIndex;
    for (std::size_t i = 0; i < v.size(); ++i) byIndex.push_back(*v[i]);
    EXPECT_EQ(values, byIndex) << "iteration and positions disagree";
    return values;
}

TEST(PersistentVector, RandomEditsMatchAVectorAndCopiesKeepTheirVersion) {
    std::mt19937 random(20261206);
    fenmo::PersistentVector<Entry> vector;
    std::vector<int> expected;
    std::vector<std::pair<fenmo::PersistentVector<Entry>, std::vector<int>>> copies;
    auto tracked = std::make_shared<int>(-1);
    int next = 0;
    for (int step = 0; step < 50000; ++step) {
        const std::size_t size = expected.size();
        const unsigned pick = random() % 100;
        if (pick < 45 || size == 0) {
            // Appends dominate, as when children are built; inserts land anywhere.
            std::size_t at = pick < 25 ? size : random() % (size + 1);
            vector.insert(at, std::make_shared<int>(next));
            expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at), next++);
        } else if (pick < 80) {
            std::size_t at = random() % size;
            vector.erase(at);
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (pick < 90) {
            std::size_t at = random() % size;
            vector.set(at, std::make_shared<int>(next));
            expected[at] = next++;
        } else if (pick < 93) {
            copies.emplace_back(vector, expected);
        } else if (pick < 94 && !copies.empty()) {
            // Going back to an earlier version, as undo does.
            std::size_t which = random() % copies.size();
            vector = copies[which].first;
            expected = copies[which].second;
        } else if (pick < 95) {
            vector.push_back(tracked);
            expected.push_back(-1);
        }
        ASSERT_EQ(vector.size(), expected.size());
        if (step % 97 == 0) {
            ASSERT_EQ(contents(vector), expected) << "step " << step;
        }
    }
    EXPECT_EQ(contents(vector), expected);
    for (const auto& [copy, seen] : copies) EXPECT_EQ(contents(copy), seen);

    // Every entry is released with the last version that holds it.
    copies.clear();
    vector.clear();
    EXPECT_EQ(tracked.use_count(), 1);
    EXPECT_TRUE(vector.empty());
}

TEST(PersistentVector, ACopyIsOneVersionUntilEitherChanges) {
    fenmo::PersistentVector<Entry> a;
    for (int i = 0; i < 1000; ++i) a.push_back(std::make_shared<int>(i));
    const std::size_t whole = a.heapBytes();
    fenmo::PersistentVector<Entry> b = a;
    EXPECT_TRUE(a.sharesRootWith(b));
    EXPECT_EQ(b.heapBytes(), 0u) << "a copy owns nothing of its own yet";
    a.erase(500);
    EXPECT_FALSE(a.sharesRootWith(b));
    EXPECT_EQ(*b[500], 500);
    EXPECT_EQ(*a[500], 501);
    // The copy now owns just the path the change copied, far less than the whole tree.
    EXPECT_GT(b.heapBytes(), 0u);
    EXPECT_LT(b.heapBytes() * 4, whole);
    while (!a.empty()) a.erase(0);
    EXPECT_EQ(b.size(), 1000u);
    EXPECT_EQ(*b[999], 999);
}

}  // namespace

// The search the keyed maps use: on sorted contents with runs of equal values, grown and thinned by
// random inserts and erases (so that branches of uneven sizes and several levels occur), the prefix length
// agrees with std::partition_point for every probe, including below the first and past the last value.
TEST(PersistentVector, PartitionPointAgreesWithTheStandardOne) {
    std::mt19937 random(7);
    fenmo::PersistentVector<int> vector;
    std::vector<int> expected;
    EXPECT_EQ(vector.partitionPoint([](int) { return true; }), 0u);
    for (int round = 0; round < 40; ++round) {
        for (int k = 0; k < 500; ++k) {
            int value = static_cast<int>(random() % 2000);
            auto at = std::upper_bound(expected.begin(), expected.end(), value);
            vector.insert(static_cast<std::size_t>(at - expected.begin()), value);
            expected.insert(at, value);
        }
        for (int k = 0; k < 300 && !expected.empty(); ++k) {
            std::size_t at = random() % expected.size();
            vector.erase(at);
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(at));
        }
        for (int probe = -1; probe <= 2001; probe += 1 + static_cast<int>(random() % 40)) {
            auto less = [probe](int v) { return v < probe; };
            auto notAfter = [probe](int v) { return v <= probe; };
            ASSERT_EQ(vector.partitionPoint(less),
                      static_cast<std::size_t>(std::partition_point(expected.begin(), expected.end(), less) -
                                               expected.begin()))
                << "round " << round << ", values below " << probe;
            ASSERT_EQ(vector.partitionPoint(notAfter),
                      static_cast<std::size_t>(
                          std::partition_point(expected.begin(), expected.end(), notAfter) - expected.begin()))
                << "round " << round << ", values up to " << probe;
        }
        std::size_t from = expected.size() / 2;
        auto it = vector.iteratorAt(from);
        for (std::size_t i = from; i < expected.size(); ++i, ++it) ASSERT_EQ(*it, expected[i]);
        EXPECT_TRUE(it == vector.end());
    }
}
