// The commands on model files: demo --save, show, check and diff, with their exit codes.

#include "Cli.hpp"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace arvelle::tools {
namespace {

struct Result {
    int code;
    std::string out, err;
};

Result arvelle(std::vector<const char*> args) {
    args.insert(args.begin(), "arvelle");
    std::ostringstream out, err;
    int code = runCli(static_cast<int>(args.size()), args.data(), out, err, false);
    return {code, out.str(), err.str()};
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FileCommands, SaveShowCheckAndDiff) {
    const auto dir = std::filesystem::temp_directory_path() / ("arvelle-files-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string saved = (dir / "demo.xml").string(), edited = (dir / "edited.xml").string();

    ASSERT_EQ(arvelle({"demo", "--save", saved.c_str()}).code, 0);
    Result shown = arvelle({"show", saved.c_str(), "--depth", "1"});
    EXPECT_EQ(shown.code, 0) << shown.err;
    EXPECT_EQ(shown.out.rfind("CruiseControl", 0), 0u) << shown.out;
    EXPECT_NE(shown.out.find("Inputs (+3)"), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find("WheelSpdFL"), std::string::npos) << "below the depth";
    Result radar = arvelle({"show", saved.c_str(), "CruiseControl/Inputs/Radar"});
    EXPECT_EQ(radar.out.rfind("Radar", 0), 0u) << radar.out;
    EXPECT_NE(radar.out.find("BeatSpectrum"), std::string::npos);
    EXPECT_EQ(arvelle({"show", saved.c_str(), "Nowhere"}).code, 1);

    // The demo moves LongAccel away and destroys Diagnostics: two index gaps.
    Result checked = arvelle({"check", saved.c_str()});
    EXPECT_EQ(checked.code, 1);
    EXPECT_EQ(checked.out,
              "CruiseControl/Inputs/Vehicle: the indices of the children skip from 5 to 7\n"
              "CruiseControl/State: the indices of the children skip from 4 to 6\n");

    EXPECT_EQ(arvelle({"diff", saved.c_str(), saved.c_str()}).code, 0) << "a file equals itself";
    std::string text = slurp(saved);
    std::size_t at = text.find("unit=\"N*m\"");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 10, "unit=\"kN*m\"");
    std::ofstream(edited) << text;
    Result diff = arvelle({"diff", saved.c_str(), edited.c_str()});
    EXPECT_EQ(diff.code, 1);
    EXPECT_EQ(diff.out, "~ CruiseControl/Outputs/TorqueReq [signalAttrs]: unit N*m -> kN*m\n");

    std::ofstream(edited) << text.substr(0, 500);
    Result broken = arvelle({"check", edited.c_str()});
    EXPECT_EQ(broken.code, 1);
    EXPECT_NE(broken.err.find("edited.xml:"), std::string::npos) << broken.err;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace arvelle::tools
