// Memory of one load in a process of its own: how far the resident set rises while a model file loads
// (its peak) and how much of that the loaded model keeps once the loader's working memory is handed
// back. The benchmark's W6 cannot tell these apart: it runs after W1-W8 in the same process, whose
// freed blocks the load reuses.
// Usage: arvelle-load-memory FILE   (a file saved by the benchmark: BENCH_KEEP_W6=FILE arvelle-bench N)

#include <arvelle/treeNode/All.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Persistence.hpp>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

long statusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: arvelle-load-memory FILE\n");
        return 2;
    }
    (void)tav::fenmo::treeNode::TreeNode::metaClass();  // registers the metamodel before the baseline
    const long base = statusKib("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    fenmo::Model model = fenmo::xml::loadModel(argv[1]);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long peak = statusKib("VmHWM");
    ::malloc_trim(0);
    const long kept = statusKib("VmRSS");
    std::printf("elements=%zu seconds=%.6f load_peak_kib=%ld model_kib=%ld peak/model=%.2f\n",
                model->elementCount(), seconds, peak - base, kept - base,
                static_cast<double>(peak - base) / static_cast<double>(kept - base));
}
