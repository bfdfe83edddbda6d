// libFuzzer target of the model loader: any input either loads or is refused with a framework error,
// without crashing, leaking or leaving a model open.

#include <arvelle/treeNode/All.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelComparison.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Persistence.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Touching a class registers the library's metamodel.
    (void)tav::fenmo::treeNode::TreeNode::metaClass();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        fenmo::Model model = fenmo::xml::readModel(text, "fuzz.xml", {.newIdentity = true});
        // What loads must save and load again to the same elements.
        std::string saved = fenmo::xml::writeModel(model);
        fenmo::Model again = fenmo::xml::readModel(saved, "resaved.xml", {.newIdentity = true});
        if (!fenmo::compareModels(model, again).empty()) std::abort();
    } catch (const fenmo::MessageIdException&) {
    }
    return 0;
}
