// Identities chosen by the caller against random ones: creating N elements with given identities, then
// finding each by identity in shuffled order, per scheme. The identity index must not care how
// identities were chosen.
// Usage: arvelle-identities [N]   (default 1000000)

#include <arvelle/treeNode/All.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace tav::fenmo::treeNode;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A counter (from 1) in the first eight bytes, big-endian as a sequence number reads in the text form,
// or in the last eight; the other half is the same constant for every identity.
fenmo::uuid counterIdentity(std::uint64_t i, bool high) {
    fenmo::uuid id{};
    std::memset(id.data, 0x5A, sizeof id.data);
    for (int b = 0; b < 8; ++b) id.data[(high ? 0 : 8) + b] = static_cast<std::uint8_t>((i + 1) >> (8 * (7 - b)));
    return id;
}

void run(const char* scheme, std::vector<fenmo::uuid> ids) {
    fenmo::Model model = fenmo::Model::create();
    model->setUndoRecording(false);
    TreeNode::Builder builder(model);
    auto start = Clock::now();
    {
        fenmo::Transaction build = model->beginTransaction(false);
        for (const fenmo::uuid& id : ids) (void)builder.createTreeNode(id);
        build.commit(boost::none);
    }
    const double create = secondsSince(start);
    std::shuffle(ids.begin(), ids.end(), std::mt19937_64(7));
    start = Clock::now();
    std::size_t found = 0;
    for (const fenmo::uuid& id : ids) found += model->findElement(id) ? 1 : 0;
    const double lookup = secondsSince(start);
    if (found != ids.size()) {
        std::fprintf(stderr, "arvelle-identities: verification failed: %s found %zu of %zu\n", scheme, found,
                     ids.size());
        std::exit(1);
    }
    std::printf("identities scheme=%s n=%zu create_ns=%.0f lookup_ns=%.0f\n", scheme, ids.size(),
                create / ids.size() * 1e9, lookup / ids.size() * 1e9);
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (n < 1) {
        std::fprintf(stderr, "usage: arvelle-identities [N >= 1]\n");
        return 2;
    }
    std::vector<fenmo::uuid> random(n), high(n), low(n);
    for (long i = 0; i < n; ++i) {
        random[i] = fenmo::newUuid();
        high[i] = counterIdentity(static_cast<std::uint64_t>(i), true);
        low[i] = counterIdentity(static_cast<std::uint64_t>(i), false);
    }
    run("random", random);
    run("counter-high", high);
    run("counter-low", low);
    run("random", random);  // again, after the allocator is warm
    return 0;
}
