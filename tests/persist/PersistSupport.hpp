#pragma once
// Helpers of the persistence tests: random hierarchies, files in a scratch folder, expected refusals.

#include <arvelle/treeNode/All.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelComparison.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Persistence.hpp>
#include <fenmo/Text.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace persisttest {

namespace tn = tav::fenmo::treeNode;
using ::fenmo::Model;
using ::fenmo::uuid;

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeAll(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
public:
    ScratchDir() {
        m_path = std::filesystem::temp_directory_path() /
                 ("arvelle-persist-" + std::to_string(::getpid()) + "-" + std::to_string(s_counter++));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    static inline int s_counter = 0;
    std::filesystem::path m_path;
};

// Texts that test the escaping: markup characters, blanks, line ends, quotes, non-ASCII, empty.
inline std::u16string randomText(std::mt19937& random) {
    static const std::u16string pieces[] = {u"a",      u"Speed",      u" ",   u"<",   u">",    u"&",
                                            u"\"",     u"'",          u"\n",  u"\t",  u"\r\n", u"\u00e9",
                                            u"\u20ac", u"\U0001F680", u"]]>", u"\x01"};
    std::u16string text;
    std::size_t length = random() % 6;
    for (std::size_t i = 0; i < length; ++i) text += pieces[random() % std::size(pieces)];
    return text;
}

}  // namespace persisttest
