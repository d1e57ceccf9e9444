// quorvik-info --doctor run whole on an example board of quorvik-sim, as an
// unprivileged user, as a user without a board runs it. What the doctor asks
// of the board goes through the simulated platform and so sees the simulated
// board, which passes those checks; what it reads of the host (privileges,
// lockdown, /proc, the kernel's log, device nodes of its own, tools, mounts,
// the timer) is this machine's, whatever that shows.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;
constexpr uid_t kNobody = 65534;

// The checks a simulated board passes: the port permission, physical memory
// and identification of the simulated libraries, the board's own profile,
// its digital-I/O driver asked through the monitoring library, and the
// Ethernet ports it describes.
const char* const kBoardChecks[] = {"port-access", "physical-memory", "board", "profile",
                                    "dio",         "ethernet"};

class DoctorOnSimulatedBoard : public testing::Test {
  protected:
    // Run as root, the doctor runs as uid 65534, who may not reach the build
    // tree (a clone under /root): the simulator, its libraries, the tool and
    // the board are copied where everyone can read them.
    void SetUp() override {
        char name[] = "/tmp/quorvik-doctor-sim-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
        ::chmod(dir_.c_str(), 0755);
        const auto copy = fs::copy_options::recursive | fs::copy_options::copy_symlinks;
        fs::create_directories(dir_ / "sim");
        fs::copy_file(QUORVIK_SIM_PATH, dir_ / "sim/quorvik-sim");
        fs::copy(fs::path(QUORVIK_SIM_PATH).parent_path() / "lib", dir_ / "sim/lib", copy);
        fs::copy_file(QUORVIK_INFO_PATH, dir_ / "quorvik-info");
        fs::copy(fs::path(QUORVIK_BOARDS_DIR) / "kt-500r", dir_ / "kt-500r", copy);
        fs::create_directories(dir_ / "home");
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown((dir_ / "home").c_str(), kNobody, kNobody), 0);
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // quorvik-sim run BOARD -- quorvik-info --doctor --json, as nobody when
    // the test runs as root.
    quorvik::blackbox::Outcome doctor(const std::string& board) const {
        std::vector<std::string> line = {dir_ / "sim/quorvik-sim", "run",      dir_ / board, "--",
                                         dir_ / "quorvik-info",    "--doctor", "--json"};
        const std::string home = dir_ / "home";
        const std::vector<std::string> environment = {"TMPDIR=" + home, "HOME=" + home,
                                                      "XDG_RUNTIME_DIR=", "LANG=C.UTF-8"};
        if (::geteuid() != 0) {
            return quorvik::blackbox::run(line[0], {line.begin() + 1, line.end()}, environment);
        }
        line.insert(line.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", "--"});
        return quorvik::blackbox::run("/usr/bin/setpriv", line, environment);
    }

    fs::path dir_;
};

TEST_F(DoctorOnSimulatedBoard, PassesWhatItAsksOfTheBoard) {
    const quorvik::blackbox::Outcome outcome = doctor(std::string(QUORVIK_BOARDS_DIR) + "/kt-500r");
    const auto document = nlohmann::json::parse(outcome.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << outcome.out << outcome.err;
    std::map<std::string, nlohmann::json> checks;
    for (const auto& check : document["checks"]) checks[check["check"]] = check;
    EXPECT_EQ(checks.size(), 16u) << outcome.out;

    for (const char* name : kBoardChecks) {
        EXPECT_EQ(checks[name]["verdict"], "OK") << checks[name];
    }
    const std::string board = checks["board"]["found"];
    EXPECT_NE(board.find("model KT-500R, BIOS R1.05, serial SN0712"), std::string::npos) << board;
    EXPECT_NE(board.find("Insyde"), std::string::npos) << board;
    EXPECT_NE(checks["profile"]["found"].get<std::string>().find("[KT-500R]"), std::string::npos);
    EXPECT_NE(checks["dio"]["found"].get<std::string>().find("power input 0 reads 1"),
              std::string::npos);
    // Not root: said, and the run fails for it.
    EXPECT_EQ(checks["privileges"]["verdict"], "FAIL");
    EXPECT_EQ(outcome.exit_status, 1) << outcome.err;
}

}  // namespace
