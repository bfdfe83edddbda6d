// The side-by-side workload (W1-W8, W6 last) on fenmo + arvelle, printing the same lines as the peer programs.
// Usage: arvelle-bench [N]   (N >= 1, default 100000)

#include <arvelle/treeNode/All.hpp>
#include <fenmo/Persistence.hpp>

#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/query/LiveQuery.hpp>
#include <fenmo/query/Query.hpp>

#if __has_include(<valgrind/callgrind.h>) && !defined(ARVELLE_BENCH_NO_MARKERS)
#include <valgrind/callgrind.h>
#define ARVELLE_STEP_BEGIN() CALLGRIND_ZERO_STATS
#define ARVELLE_STEP_END(name) CALLGRIND_DUMP_STATS_AT(name)
#else
#define ARVELLE_STEP_BEGIN()
#define ARVELLE_STEP_END(name)
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace tav::fenmo::treeNode;
using Clock = std::chrono::steady_clock;

std::u16string g_names[11];  // g_names[k] = u"s<k>"

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "arvelle: verification failed: %s\n", what);
    std::exit(1);
}

int levelsFor(long n) {
    int d = 1;
    for (long cap = 10; cap < n; cap *= 10) ++d;
    return d;
}

struct Timer {
    long n;
    bool print;
    Clock::time_point start = Clock::now();
    // Under callgrind, each step's instructions are dumped on their own (the measured pass only).
    void restart() {
        if (print) ARVELLE_STEP_BEGIN();
        start = Clock::now();
    }
    double lap() const { return std::chrono::duration<double>(Clock::now() - start).count(); }
    void report(const char* workload, double seconds, const std::string& extra = "") const {
        reportOps(workload, seconds, n, extra);
    }
    void reportOps(const char* workload, double seconds, long ops, const std::string& extra = "") const {
        if (print) ARVELLE_STEP_END(workload);
        if (print)
            std::printf("impl=arvelle workload=%s n=%ld seconds=%.6f ops_per_s=%.1f%s\n", workload, n,
                        seconds, static_cast<double>(ops) / seconds, extra.c_str());
    }
};

// The builders of a leaf and of a bus, reused for every node: only the child's name and index change.
// Each node is created into its parent's children in a transaction of its own.
class NodeFactory {
public:
    NodeFactory() {
        auto leafChild = std::make_unique<ChildAttributes::Builder>();
        m_leafChild = leafChild.get();
        m_leaf.setChildAttrs(std::move(leafChild));
        auto signal = std::make_unique<SignalAttributes::Builder>();
        signal->setComplexity(Complexity::REAL)
            .setDataType(std::u16string(u"double"))
            .setDims(std::u16string(u"1"))
            .setSampleTime(std::u16string(u"-1"));
        m_leaf.setSignalAttrs(std::move(signal));
        auto busChild = std::make_unique<ChildAttributes::Builder>();
        m_busChild = busChild.get();
        m_bus.setChildAttrs(std::move(busChild));
        m_bus.setParentAttrs(std::make_unique<ParentAttributes::Builder>());
    }

    TreeNode create(const ParentAttributes& parent, int k, bool leaf) {
        ChildAttributes::Builder& child = leaf ? *m_leafChild : *m_busChild;
        child.setName(g_names[k]).setIndexOne(k);
        return parent->createIntoChildren(leaf ? &m_leaf : &m_bus, fenmo::uuid());
    }

private:
    TreeNode::Builder m_leaf, m_bus;
    ChildAttributes::Builder* m_leafChild;
    ChildAttributes::Builder* m_busChild;
};

void fill(NodeFactory& factory, const TreeNode& parent, int levels, long count, std::vector<TreeNode>& leaves) {
    long cap = 1;
    for (int i = 1; i < levels; ++i) cap *= 10;
    ParentAttributes attributes = parent->getParentAttrs();
    for (int k = 1; count > 0; ++k) {
        long take = std::min(cap, count);
        count -= take;
        TreeNode child = factory.create(attributes, k, levels == 1);
        if (levels == 1) leaves.push_back(child);
        else fill(factory, child, levels - 1, take, leaves);
    }
}

long checkBelow(const TreeNode& parent, int levels) {
    const auto& kids = parent->getParentAttrs()->getChildren();
    if (kids.size() == 0 || kids.size() > 10) return -1;
    long leaves = 0;
    for (std::size_t i = 0; i < kids.size(); ++i) {
        TreeNode node = kids[i];
        int k = static_cast<int>(i) + 1;
        ChildAttributes child = node->getChildAttrs();
        if (!child || child->getName() != g_names[k] || child->getIndexOne() != k || child->getParent().get() != parent.get())
            return -1;
        bool leaf = levels == 1;
        if (leaf == node->hasParentAttrs() || leaf != node->hasSignalAttrs()) return -1;
        if (!leaf) {
            long sub = checkBelow(node, levels - 1);
            if (sub < 0) return -1;
            leaves += sub;
            continue;
        }
        SignalAttributes signal = node->getSignalAttrs();
        int set = 0;
        const fenmo::Reflection reflection;
        reflection.forEachProperty(signal,
                                   [&](const fenmo::meta::Property& p) { set += reflection.has(signal, p); });
        if (set != 4 || signal->getDataType() != std::u16string(u"double") || signal->getDims() != std::u16string(u"1") ||
            signal->getComplexity() != Complexity::REAL || signal->getSampleTime() != std::u16string(u"-1"))
            return -1;
        ++leaves;
    }
    return leaves;
}

long expectedNamed(long n, int k, int levels) {
    long count = 0, atLevel = n;
    for (int m = 0; m < levels; ++m) {
        count += (atLevel + 10 - k) / 10;
        atLevel = (atLevel + 9) / 10;
    }
    return count;
}

// W7's first query: the nodes named "s3" whose signal is a double.
fenmo::query::Query<TreeNode> thirdDoubleQuery() {
    return fenmo::query::Query<TreeNode>(
        TreeNode::childAttrs().where(ChildAttributes::name() == g_names[3]) &&
        TreeNode::signalAttrs().where(SignalAttributes::dataType() == std::u16string(u"double")));
}

// W7: eleven counting queries written with the query API, each evaluated on its own over the class
// extent of TreeNode (every node of the model, which holds the tree only).
void runQueries(const Timer& timer, const fenmo::Model& model, long n) {
    using fenmo::query::Query;
    Timer t = timer;
    t.restart();
    const long matches = static_cast<long>(thirdDoubleQuery().count(model));
    long named[11] = {};
    for (int k = 1; k <= 10; ++k)
        named[k] = static_cast<long>(
            Query<TreeNode>(TreeNode::childAttrs().where(ChildAttributes::name() == g_names[k]))
                .count(model));
    double s = t.lap();
    long total = 0;
    for (int k = 1; k <= 10; ++k) total += named[k];
    t.report("W7-query", s, " matches=" + std::to_string(matches) + " named=" + std::to_string(total));
    if (matches != (n + 7) / 10) fail("W7 matches");
    for (int k = 1; k <= 10; ++k)
        if (named[k] != expectedNamed(n, k, levelsFor(n))) fail("W7 named");
}

// Figures beside the workload, on stderr (stdout keeps the workload's lines only), with BENCH_EXTRAS set;
// off by default, as their change reports would otherwise set the process's peak memory:
// - W7-keyed: for every parent P, the child named "s3" under P as a query (ChildAttributes whose
//   attrsOfParent is P and whose name is "s3"), answered through P's name map;
// - W2-live: W2's edit and commit, and W3's undo, once without and once with W7's first query kept
//   live, to show what following the changes adds.
void runQueryExtras(const Timer& timer, const fenmo::Model& model, const std::vector<TreeNode>& leaves,
                    long n) {
    using fenmo::query::Query;
    if (!timer.print || !std::getenv("BENCH_EXTRAS")) return;
    std::vector<ParentAttributes> parents;
    for (const TreeNode& node : Query<TreeNode>(TreeNode::parentAttrs().isSet()).evaluate(model))
        parents.push_back(node->getParentAttrs());
    Timer t = timer;
    t.restart();
    long found = 0;
    for (const ParentAttributes& parent : parents)
        found += static_cast<long>(Query<ChildAttributes>(ChildAttributes::attrsOfParent() == parent &&
                                                          ChildAttributes::name() == g_names[3])
                                       .count(model));
    double keyed = t.lap();
    long expected = 0;
    for (const ParentAttributes& parent : parents) expected += parent->getChildren().size() >= 3;
    if (found != expected) fail("W7-keyed count");
    std::fprintf(stderr,
                 "impl=arvelle extra=W7-keyed n=%ld queries=%zu seconds=%.6f per_query_us=%.3f found=%ld\n",
                 n, parents.size(), keyed, keyed * 1e6 / static_cast<double>(parents.size()), found);

    // Each measured three times, the fastest kept: the machine is shared.
    auto cycle = [&](double& edit, double& undo) {
        const boost::optional<std::u16string> single(u"single");
        edit = undo = 1e9;
        for (int round = 0; round < 3; ++round) {
            t.restart();
            fenmo::Transaction transaction = model->beginRevertibleTransaction();
            for (const TreeNode& leaf : leaves) leaf->getSignalAttrs()->setDataType(single);
            transaction.commit(boost::none);
            edit = std::min(edit, t.lap());
            t.restart();
            model->undo();
            undo = std::min(undo, t.lap());
        }
    };
    double plainEdit, plainUndo, liveEdit, liveUndo, listenEdit, listenUndo;
    cycle(plainEdit, plainUndo);
    {
        fenmo::ListenerToken token = model->addListener([](const fenmo::ChangeReport&) {});
        cycle(listenEdit, listenUndo);
    }
    {
        fenmo::query::LiveQuery live(model, thirdDoubleQuery());
        long heard = 0;
        fenmo::ListenerToken token = live.addListener([&](const fenmo::query::LiveQuery::Delta& d) {
            heard += static_cast<long>(d.entered.size() + d.left.size());
        });
        cycle(liveEdit, liveUndo);
        if (static_cast<long>(live.size()) != (n + 7) / 10 || heard != 6 * ((n + 7) / 10))
            fail("W2-live results");
    }
    std::fprintf(
        stderr,
        "impl=arvelle extra=W2-live n=%ld edit_commit_plain=%.6f edit_commit_live=%.6f ratio=%.3f "
        "undo_plain=%.6f undo_live=%.6f ratio=%.3f; with an empty listener: edit_commit=%.6f undo=%.6f\n",
        n, plainEdit, liveEdit, liveEdit / plainEdit, plainUndo, liveUndo, liveUndo / plainUndo, listenEdit,
        listenUndo);
}

// W8: one wide parent edited one undoable step at a time.
class Wide {
public:
    // W = min(N, 100000); BENCH_W8_WIDTH sets W itself, to see how a step's cost grows with the width.
    explicit Wide(long n) : m_width(std::min(n, 100000L)) {
        if (const char* width = std::getenv("BENCH_W8_WIDTH")) m_width = std::max(1L, std::atol(width));
    }

    void run(const Timer& timer) {
        Timer t = timer;
        fenmo::Model model = fenmo::Model::create();  // the empty container: not timed
        const long w = m_width;
        std::vector<TreeNode> wide;
        wide.reserve(static_cast<std::size_t>(w));

        t.restart();
        TreeNode::Builder rootBuilder(model);
        rootBuilder.setParentAttrs(std::make_unique<ParentAttributes::Builder>());
        TreeNode root = rootBuilder.createTreeNode(fenmo::uuid());
        ParentAttributes parent = root->getParentAttrs();
        TreeNode::Builder node;
        auto childBuilder = std::make_unique<ChildAttributes::Builder>();
        ChildAttributes::Builder& child = *childBuilder;
        node.setChildAttrs(std::move(childBuilder));
        for (long k = 1; k <= w; ++k) {
            child.setName(u"c" + fenmo::widenNumber(k)).setIndexOne(static_cast<int>(k));
            wide.push_back(parent->createIntoChildren(&node, fenmo::uuid()));
        }
        double s = t.lap();
        t.reportOps("W8-append", s, w, " ops=" + std::to_string(w));
        verify(parent, wide, w, 0, 0, "W8-append");

        t.restart();
        for (long k = 1; k <= w; ++k) wide[k - 1]->getChildAttrs()->setName(u"d" + fenmo::widenNumber(k));
        s = t.lap();
        t.reportOps("W8-rename", s, w, " ops=" + std::to_string(w));
        verify(parent, wide, w, w, 0, "W8-rename");

        t.restart();
        for (long k = 2; k <= w; k += 2) wide[k - 1]->getChildAttrs()->setParent(TreeNode());
        s = t.lap();
        t.reportOps("W8-remove", s, w / 2, " ops=" + std::to_string(w / 2));
        verify(parent, wide, w, w, w / 2, "W8-remove");

        const long undoCount = std::min(1000L, 2 * w + w / 2);
        t.restart();
        // BENCH_SKIP_W8_UNDO must make the verification fail: a check that the check works.
        const bool skipUndo = std::getenv("BENCH_SKIP_W8_UNDO") != nullptr;
        for (long i = 0; i < undoCount && !skipUndo; ++i) model->undo();
        s = t.lap();
        t.reportOps("W8-undo", s, undoCount, " ops=" + std::to_string(undoCount));
        const long steps = 2 * w + w / 2 - undoCount;
        verify(parent, wide, std::min(steps, w), std::clamp(steps - w, 0L, w), std::max(steps - 2 * w, 0L),
               "W8-undo");
        for (long i = 0; i < undoCount; ++i) model->redo();
        verify(parent, wide, w, w, w / 2, "W8-redo");
    }

private:
    // The children after `appended` appends, `renamed` renames and `removed` removals.
    static void verify(const ParentAttributes& parent, const std::vector<TreeNode>& wide, long appended,
                       long renamed, long removed, const char* step) {
        const auto& children = parent->getChildren();
        std::size_t at = 0;
        for (long k = 1; k <= appended; ++k) {
            if (k % 2 == 0 && k / 2 <= removed) continue;
            const TreeNode& node = wide[static_cast<std::size_t>(k - 1)];
            ChildAttributes child = node->getChildAttrs();
            const std::u16string name = (k <= renamed ? u"d" : u"c") + fenmo::widenNumber(k);
            if (at >= children.size() || children[at].get() != node.get() || child->getName() != name ||
                child->getIndexOne() != k || node->container().get() != parent.get() ||
                parent->findChildByName(name).get() != child.get() ||
                parent->findChildByIndex(static_cast<int>(k)).get() != child.get())
                fail(step);
            ++at;
        }
        if (at != children.size() || parent->getAttrsOfChildren().size() != at) fail(step);
    }

    long m_width;
};

long peakRssKib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// W6: save to a temporary file, drop the model, load the file into a fresh model, then the tree check.
// The load line also tells how far the process's peak memory rose during W6.
void runSaveLoad(Timer& t, fenmo::Model& model, TreeNode& root, std::vector<TreeNode>& leaves, long n) {
    char path[] = "/tmp/arvelle-w6-XXXXXX";
    int fd = ::mkstemp(path);
    if (fd < 0) fail("W6 temporary file");
    ::close(fd);
    const long peakBefore = peakRssKib();
    t.restart();
    fenmo::xml::saveModel(model, path);
    double s = t.lap();
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    t.report("W6-save", s, " bytes=" + std::to_string(error ? 0 : bytes));

    leaves = {};
    root = TreeNode();
    model = fenmo::Model();
    t.restart();
    fenmo::Model loaded = fenmo::xml::loadModel(path);
    s = t.lap();
    t.report("W6-load", s, " hwm_added_kib=" + std::to_string(std::max(0L, peakRssKib() - peakBefore)));
    // BENCH_KEEP_W6=FILE keeps the measured pass's file (for arvelle-load-memory).
    const char* keep = std::getenv("BENCH_KEEP_W6");
    if (keep && t.print)
        std::filesystem::copy_file(path, keep, std::filesystem::copy_options::overwrite_existing, error);
    std::filesystem::remove(path, error);
    TreeNode top;
    for (const fenmo::ModelElement& element : loaded->elements())
        if (auto node = fenmo::handleCast<TreeNode>(element); node && !node->containerImpl()) top = node;
    if (!top || top->hasChildAttrs() || top->hasSignalAttrs() || checkBelow(top, levelsFor(n)) != n)
        fail("W6 tree check");
}

void run(long n, bool print) {
    Timer t{n, print};
    const bool skipUndo = std::getenv("BENCH_SKIP_UNDO") != nullptr;
    fenmo::Model model = fenmo::Model::create();  // the empty container: not timed
    model->setUndoRecording(false);

    // W1: undo recording off; each node is created into its parent's children in a transaction of its own.
    t.restart();
    auto rootBuilder = std::make_unique<TreeNode::Builder>(model);
    rootBuilder->setParentAttrs(std::make_unique<ParentAttributes::Builder>());
    TreeNode root = rootBuilder->createTreeNode(fenmo::uuid());
    std::vector<TreeNode> leaves;
    leaves.reserve(static_cast<std::size_t>(n));
    auto factory = std::make_unique<NodeFactory>();
    fill(*factory, root, levelsFor(n), n, leaves);
    double s = t.lap();
    factory.reset();  // builders keep their model open
    rootBuilder.reset();
    // The line says which transactions W1 used: one per node, with undo recording off.
    t.report("W1-build", s, " transactions=per-node undo=off");
    if (static_cast<long>(leaves.size()) != n || root->hasChildAttrs() || root->hasSignalAttrs() ||
        checkBelow(root, levelsFor(n)) != n)
        fail("W1 tree shape");

    // W2: one undoable transaction around N typed sets.
    t.restart();
    fenmo::Transaction edit = model->beginRevertibleTransaction();
    const boost::optional<std::u16string> single(u"single");
    for (const TreeNode& leaf : leaves) leaf->getSignalAttrs()->setDataType(single);
    s = t.lap();
    t.report("W2-edit", s);
    for (const TreeNode& leaf : leaves)
        if (leaf->getSignalAttrs()->getDataType() != single) fail("W2 edit");

    // W3: commit, then undo the step.
    t.restart();
    edit.commit(boost::none);
    if (!skipUndo) model->undo();
    s = t.lap();
    t.report("W3-undo", s);
    for (const TreeNode& leaf : leaves)
        if (leaf->getSignalAttrs()->getDataType() != std::u16string(u"double")) fail("W3 undo");

    // W4: reflective reads of the 15 properties through the class's property handles.
    t.restart();
    const std::vector<fenmo::meta::Property>& properties = SignalAttributes::metaClass()->getProperties();
    const fenmo::Reflection reflection;
    long long sum = 0;
    for (const TreeNode& leaf : leaves) {
        SignalAttributes signal = leaf->getSignalAttrs();
        for (const fenmo::meta::Property& property : properties) {
            fenmo::Value value = reflection.get(signal, property);
            if (auto* text = value.getIf<std::u16string>()) sum += static_cast<long long>(text->size());
            else if (auto* number = value.getIf<std::int32_t>()) sum += *number;
        }
    }
    s = t.lap();
    t.report("W4-reflect", s, " checksum=" + std::to_string(sum));
    if (sum != 10LL * n) fail("W4 checksum");

    // W5: each leaf's parent, and the leaf's name looked up in the parent's map of children.
    t.restart();
    long found = 0;
    for (const TreeNode& leaf : leaves) {
        ChildAttributes child = leaf->getChildAttrs();
        TreeNode parent = child->getParent();
        found += parent->getParentAttrs()->findChildByName(child->getName()).get() == child.get();
    }
    s = t.lap();
    t.report("W5-lookup", s);
    if (found != n) fail("W5 lookup");

    runQueries(t, model, n);
    runQueryExtras(t, model, leaves, n);
    Wide(n).run(t);
    runSaveLoad(t, model, root, leaves, n);
}

}  // namespace

int main(int argc, char** argv) {
    long n = argc > 1 ? std::atol(argv[1]) : 100000;
    if (n < 1) fail("N must be at least 1");
    for (int k = 1; k <= 10; ++k) g_names[k] = u"s" + fenmo::widenNumber(k);
    run(std::max(1L, n / 10), false);
    run(n, true);
    std::printf("impl=arvelle peak_rss_kib=%ld\n", peakRssKib());
}
