// quorvik-info with only the capabilities that the metrics service keeps
// (its bounding set, as setpriv leaves it to root) reads every reading of the
// simulated board: the sandbox takes away nothing the readings need.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "process.h"
#include "unit_file.h"

namespace quorvik::units::test {
namespace {

namespace fs = std::filesystem;

// setpriv's --bounding-set for the unit's capabilities: CAP_SYS_RAWIO is
// "+sys_rawio".
std::string bounding_set(const Unit& unit) {
    std::string set = "-all";
    for (std::string name : words(unit, "CapabilityBoundingSet")) {
        name = name.substr(std::string("CAP_").size());
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        set += ",+" + name;
    }
    return set;
}

TEST(MetricsUnitOnABoard, TheUnitsCapabilitiesReadEverything) {
    if (::geteuid() != 0) GTEST_SKIP() << "drops root's capabilities: root only";
    const std::string set = bounding_set(read_unit(kService));
    ASSERT_NE(set, "-all");
    const std::vector<std::string> restricted = {"--bounding-set=" + set, "--inh-caps=-all",
                                                 "--no-new-privs", "--"};
    const auto run = [&](std::vector<std::string> program, const std::string& runs) {
        std::vector<std::string> args = restricted;
        args.insert(args.end(), program.begin(), program.end());
        return blackbox::run("/usr/bin/setpriv", args, {"TMPDIR=" + runs, "XDG_RUNTIME_DIR="});
    };

    // The drop holds: CAP_DAC_OVERRIDE (bit 1), for one, is gone.
    const blackbox::Outcome status = run({"/bin/grep", "^CapEff", "/proc/self/status"}, "/tmp");
    ASSERT_EQ(status.exit_status, 0) << status.err;
    const unsigned long long effective = std::stoull(status.out.substr(7), nullptr, 16);
    EXPECT_EQ(effective & (1ULL << 1), 0u) << status.out;
    EXPECT_NE(effective, 0u) << "root kept none of the unit's capabilities";

    char runs[] = "/tmp/quorvik-unit-runs-XXXXXX";
    ASSERT_NE(::mkdtemp(runs), nullptr);
    const blackbox::Outcome report = run(
        {QUORVIK_SIM_PATH, "run", QUORVIK_BOARDS_DIR "/kt-500r", "--", QUORVIK_INFO_PATH, "--json"},
        runs);
    fs::remove_all(runs);
    ASSERT_EQ(report.exit_status, 0) << report.err;
    const nlohmann::json document = nlohmann::json::parse(report.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << report.out;
    for (const auto& [name, reading] : document["identity"].items()) {
        EXPECT_EQ(reading["status"], "OK") << name;
    }
    EXPECT_EQ(document["identity"]["model"]["value"], "KT-500R");
    int readings = 0;
    for (const auto& reading : document["readings"]) {
        EXPECT_EQ(reading["status"], "OK") << reading.dump();
        ++readings;
    }
    EXPECT_GE(readings, 30) << "every sensor, port and disk of the board";
}

}  // namespace
}  // namespace quorvik::units::test
