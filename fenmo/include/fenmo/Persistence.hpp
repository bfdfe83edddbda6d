#pragma once
// Models as XML files. A file names the metamodel it was written with (package URIs, class and
// property identities, with their names for readers), the model's identity and every element's
// identity. Containment is nesting, references are identities, references into other models are
// proxies. Loading is all or nothing: a fresh model, or an exception naming file, line and column.

#include <fenmo/Export.hpp>
#include <fenmo/Model.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

FENMO_API_BEGIN

namespace fenmo::xml {

// Told how many elements of how many are done, every few thousand elements and once at the end.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

// The version of the file layout this library writes; files of a later version are refused.
constexpr int kFormatVersion = 1;

// The model as the text of a file.
std::string writeModel(const Model& model, const Progress& progress = {});

// Writes the model to `path`: to a temporary file beside it first, flushed to disk, then renamed over
// it, so that a failure leaves the old file as it was. Throws SaveFailedException.
void saveModel(const Model& model, const std::string& path, const Progress& progress = {});

struct LoadOptions {
    // Gives the model a new identity instead of the file's, to open a second copy of a model (two
    // versions of one model side by side); otherwise a model of the file's identity must not be open.
    bool newIdentity = false;
    Progress progress;
};

// A new model with the file's identity and elements, built in one transaction that is neither an undo
// step nor reported. Throws InvalidFileException (malformed, unknown identities, refused values,
// duplicate identities, missing mandatory values, broken uniqueness), UnsupportedVersionException (a
// later file format or metamodel version); then no model is left open.
Model loadModel(const std::string& path, const LoadOptions& options = {});
// The same from text in memory; `sourceName` stands for the file in messages.
Model readModel(std::string_view text, const std::string& sourceName, const LoadOptions& options = {});

namespace testing {
// Makes the next saves fail with an exception after `bytes` bytes are written (negative: never).
void failSavesAfter(long long bytes) noexcept;
}  // namespace testing

}  // namespace fenmo::xml

FENMO_API_END
