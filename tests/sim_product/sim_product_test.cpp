// quorvik-sim end to end: unmodified programs (quorvik-info and its doctor,
// zk_set_relay, a C host and a Python ctypes host of the production build)
// run on the example boards through `quorvik-sim run`, as an unprivileged
// user (uid 65534 when the tests run as root), and the readings are what the
// boards' registers, images and state make of them through the production
// code.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process.h"

namespace {

using quorvik::blackbox::Outcome;
using Json = nlohmann::json;
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// The programs, libraries and boards the tests use. Run as root, the tests
// run them as uid 65534, who may not reach the build tree (a clone under
// /root): they are copied first into a directory everyone can read.
struct Paths {
    std::string sim = QUORVIK_SIM_PATH;
    std::string info = QUORVIK_INFO_PATH;
    std::string relay = ZK_SET_RELAY_PATH;
    std::string host = SIM_HOST_PATH;
    std::string host_rpath = SIM_HOST_RPATH_PATH;
    std::string host_py = SIM_HOST_PY;
    std::string libquorvik = LIBQUORVIK_PATH;
    std::string libquorvikso = LIBQUORVIKSO_PATH;
    std::string boards = QUORVIK_BOARDS_DIR;
    std::string staged;  // the copies' directory, removed at exit
};

// Where the copies are, kept apart from Paths, which exit destroys first.
char staged_dir[64];

void remove_staged() {
    std::error_code ignored;
    if (staged_dir[0] != '\0') fs::remove_all(staged_dir, ignored);
}

const Paths& paths() {
    static const Paths staged = [] {
        Paths p;
        if (::geteuid() != 0) return p;
        char name[] = "/tmp/quorvik-sim-stage-XXXXXX";
        if (::mkdtemp(name) == nullptr) return p;
        const fs::path base = name;
        fs::permissions(base, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        const auto copy = fs::copy_options::recursive | fs::copy_options::copy_symlinks;
        fs::create_directories(base / "sim");
        fs::copy_file(p.sim, base / "sim/quorvik-sim");
        fs::copy(fs::path(p.sim).parent_path() / "lib", base / "sim/lib", copy);
        fs::create_directories(base / "bin");
        fs::create_directories(base / "lib");
        for (std::string* file : {&p.info, &p.relay, &p.host, &p.host_rpath, &p.host_py}) {
            const fs::path target = base / "bin" / fs::path(*file).filename();
            fs::copy_file(*file, target);
            *file = target;
        }
        for (std::string* file : {&p.libquorvik, &p.libquorvikso}) {
            const fs::path target = base / "lib" / fs::path(*file).filename();
            fs::copy_file(fs::canonical(*file), target);
            *file = target;
        }
        fs::copy(p.boards, base / "boards", copy);
        p.sim = base / "sim/quorvik-sim";
        p.boards = base / "boards";
        p.staged = base;
        std::snprintf(staged_dir, sizeof staged_dir, "%s", name);
        std::atexit(remove_staged);
        return p;
    }();
    return staged;
}

std::string board_dir(const char* name) {
    return paths().boards + "/" + name;
}
#define kKt500r board_dir("kt-500r")
#define kSg7 board_dir("sg-7")
#define kAb1234 board_dir("ab-1234")

class SimProduct : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/quorvik-sim-test-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
        ::chmod(dir_.c_str(), 0755);
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(dir_.c_str(), kNobody, kNobody), 0);
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // The command line that runs args as the test's unprivileged user.
    static std::vector<std::string> as_user(std::vector<std::string> args) {
        if (::geteuid() != 0) return args;
        args.insert(args.begin(),
                    {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
        return args;
    }
    std::vector<std::string> environment() const {
        return {"TMPDIR=" + dir_, "HOME=" + dir_, "XDG_RUNTIME_DIR=", "LANG=C.UTF-8"};
    }
    Outcome run_as_user(const std::vector<std::string>& args,
                        const std::vector<std::string>& extra_environment = {}) const {
        const std::vector<std::string> line = as_user(args);
        std::vector<std::string> env = environment();
        env.insert(env.end(), extra_environment.begin(), extra_environment.end());
        return quorvik::blackbox::run(line[0], {line.begin() + 1, line.end()}, env);
    }
    // Starts args as the test's user without waiting for it, its standard
    // output on out_fd (closed when -1).
    pid_t start_as_user(const std::vector<std::string>& args, int out_fd) const {
        std::vector<std::string> line = as_user(args);
        const pid_t child = ::fork();
        if (child != 0) return child;
        if (out_fd >= 0) {
            ::dup2(out_fd, 1);
        } else {
            ::close(1);
        }
        for (const std::string& e : environment()) ::putenv(::strdup(e.c_str()));
        std::vector<char*> argv;
        for (std::string& a : line) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Outcome sim(std::vector<std::string> args) const {
        args.insert(args.begin(), paths().sim);
        return run_as_user(args);
    }
    std::vector<std::string> run_line(const std::string& board,
                                      const std::vector<std::string>& program,
                                      const std::vector<std::string>& options = {}) const {
        std::vector<std::string> line = {paths().sim, "run"};
        line.insert(line.end(), options.begin(), options.end());
        line.insert(line.end(), {board, "--"});
        line.insert(line.end(), program.begin(), program.end());
        return line;
    }
    Outcome run_on(const std::string& board, const std::vector<std::string>& program,
                   const std::vector<std::string>& options = {}) const {
        return run_as_user(run_line(board, program, options));
    }
    Json report(const std::string& board) const {
        const Outcome outcome = run_on(board, {paths().info, "--json"});
        EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
        return Json::parse(outcome.out, nullptr, false);
    }
    // Where quorvik-sim keeps the runs of the test's user.
    std::string state_dir() const {
        return dir_ + "/quorvik-sim-" + std::to_string(::geteuid() == 0 ? kNobody : ::geteuid());
    }
    // Host output lines "STEP VALUE STATUS" by step.
    static std::map<std::string, std::string> steps(const std::string& out) {
        std::map<std::string, std::string> lines;
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line)) {
            const auto blank = line.find(' ');
            if (blank != std::string::npos) lines[line.substr(0, blank)] = line.substr(blank + 1);
        }
        return lines;
    }

    // A board of the test's own: its board.ini, and p.ini beside it if given.
    std::string write_board(const std::string& name, const std::string& ini,
                            const std::string& profile = "") const {
        const std::string board = dir_ + "/" + name;
        fs::remove_all(board);
        fs::create_directories(board);
        std::ofstream(board + "/board.ini") << ini;
        if (!profile.empty()) std::ofstream(board + "/p.ini") << profile;
        return board;
    }
    // The C host's command line for its blank-separated steps.
    static std::vector<std::string> host_steps(const std::string& line) {
        std::vector<std::string> args = {paths().host};
        std::istringstream in(line);
        for (std::string word; in >> word;) args.push_back(word);
        return args;
    }

    std::string dir_;
};

// The value of the reading of name whose label is value; the reading must be OK.
double value_of(const Json& doc, const std::string& name, const std::string& label,
                const std::string& value) {
    for (const Json& r : doc["readings"]) {
        if (r["name"] != name || !r["labels"].contains(label) || r["labels"][label] != value)
            continue;
        EXPECT_EQ(r["status"], "OK") << name << " " << value << ": " << r.dump();
        return r.contains("value") ? r["value"].get<double>() : -1;
    }
    ADD_FAILURE() << "no reading " << name << " " << label << "=" << value;
    return -1;
}

// ---- identity by each path, and every reader with the registers' arithmetic ----

TEST_F(SimProduct, EachBoardIdentifiesAndReadsItsRegisters) {
    std::map<std::string, Json> docs;
    for (const std::string& board : {kKt500r, kSg7, kAb1234}) {
        docs[board] = report(board);
        ASSERT_FALSE(docs[board].is_discarded()) << board;
    }
    const struct {
        std::string board, model, bios, serial;
    } identities[] = {
        {kKt500r, "KT-500R", "R1.05", "SN0712"},       // SMBIOS path (Insyde)
        {kSg7, "SG-7", "V1.20S03", "SG7-000123"},      // signature text
        {kAb1234, "AB-1234", "2.01.07", "AB1234-77"},  // raw images, dmidecode dump
    };
    for (const auto& c : identities) {
        EXPECT_EQ(docs[c.board]["identity"]["model"]["value"], c.model) << c.board;
        EXPECT_EQ(docs[c.board]["identity"]["bios_version"]["value"], c.bios) << c.board;
        EXPECT_EQ(docs[c.board]["identity"]["serial_number"]["value"], c.serial) << c.board;
    }
    const struct {
        std::string board;
        const char* name;
        const char* label;
        double value;
    } readings[] = {
        {kKt500r, "voltage", "VCORE", 1.136},      // 0x8E x 8 mV
        {kKt500r, "voltage", "V5", 4.992},         // 0xD0 x 24 mV
        {kKt500r, "temperature", "CPU", 60.0},     // MSR: 100 - 40
        {kKt500r, "temperature", "SYSTEM", 45.0},  // bank 1
        {kKt500r, "fan_speed", "SYSFAN", 1000.0},  // 1350000 / 0x0546
        {kKt500r, "fan_speed", "CPUFAN", 2000.0},
        {kSg7, "temperature", "SYSTIN", 40.0},  // 0x50 x 0.5, unbanked
        {kSg7, "fan_speed", "FAN1", 1500.0},
        {kAb1234, "temperature", "CPUTIN", 58.0},  // bank 1
        {kAb1234, "fan_speed", "AUXFAN", 801.0},   // bank 5
    };
    for (const auto& r : readings) {
        EXPECT_DOUBLE_EQ(value_of(docs[r.board], r.name, "label", r.label), r.value)
            << r.board << " " << r.label;
    }
    // Every reading of the full board is available.
    int available = 0;
    for (const Json& r : docs[kKt500r]["readings"]) {
        ++available;
        EXPECT_EQ(r["status"], "OK") << r.dump();
    }
    EXPECT_GE(available, 30);
}

// ---- from a C host: the dispatch, roles, counts, Ethernet, serial ports, disks ----

TEST_F(SimProduct, CHostReadsRolesDispatchCountsAndTheBoardsPorts) {
    const Outcome out = run_on(kKt500r, host_steps("identity volt 0 volt 2 temp 0 temp 1 temp 2 "
                                                   "sensor 2 1 count temp count fan eth 0 eth 1 "
                                                   "uart 0 uart 1 disk /dev/sda2 disk /dev/nvme9"));
    ASSERT_EQ(out.exit_status, 0) << out.err;
    auto s = steps(out.out);
    EXPECT_EQ(s["identity"], "KT-500R|R1.05|SN0712 0 0 0");
    EXPECT_EQ(s["volt0"], "1136 0");
    EXPECT_EQ(s["volt2"], "4992 0");
    EXPECT_EQ(s["temp0"], "60000 0");
    EXPECT_EQ(s["temp1"], "45000 0");
    EXPECT_EQ(s["temp2"], "0 -100");      // no third role: ERR_RANGE
    EXPECT_EQ(s["sensor2.1"], "2000 1");  // SENSOR_FAN input 1
    EXPECT_EQ(s["count-temp"].substr(s["count-temp"].size() - 2), " 0");
    // eth0: 1000 Mbit/s, (40960 + 10240) kbit/s = 50 Mbit/s: 5 %.
    EXPECT_EQ(s["eth0"], "1|1000|5 0 0 0");
    EXPECT_EQ(s["eth1"], "1|100|3 0 0 0");
    EXPECT_EQ(s["uart0"], "0 0");
    EXPECT_EQ(s["uart1"], "1 0");
    EXPECT_NE(out.out.find("disk 61|100000|39000 0 0 0"), std::string::npos) << out.out;
}

// ---- relay and power inputs ----

TEST_F(SimProduct, RelayToolAndHostsReachEachBoardsDriver) {
    const struct {
        std::string board, name;
        std::vector<std::string> program;
        std::map<std::string, std::string> steps;  // of the host's output
        std::map<std::string, std::string> state;  // `get` of the kept run
    } cases[] = {
        {kSg7, "relay", {paths().relay, "0"}, {}, {{"dio.relay0", "0\n"}}},
        {kSg7,
         "host",
         host_steps("pwr 0 pwr 1 pwr 2 relay 0 1"),
         {{"pwr0", "1 0"}, {"pwr2", "0 -100"}, {"relay0", "1 0"}},  // only inputs 0 and 1
         {{"dio.relay0", "1\n"}}},
        // By command: echo 1 > /dev/relay.
        {kKt500r,
         "kt",
         host_steps("relay 0 1"),
         {{"relay0", "1 0"}},
         {{"dio.relay_node", "1\n"}, {"dio.request_count", "0\n"}}},
        // AB-1234's profile names a relay node of its own.
        {kAb1234, "ab", host_steps("relay 1 0"), {{"relay1", "0 0"}}, {{"dio.relay1", "0\n"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " on " + c.board);
        const Outcome run = run_on(c.board, c.program, {"--name", c.name, "--keep"});
        ASSERT_EQ(run.exit_status, 0) << run.err;
        auto s = steps(run.out);
        for (const auto& [step, expected] : c.steps) EXPECT_EQ(s[step], expected) << run.out;
        for (const auto& [key, expected] : c.state) {
            EXPECT_EQ(sim({"get", c.name, key}).out, expected) << key;
        }
    }
    const std::string requests = sim({"get", "relay", "dio.requests"}).out;
    EXPECT_NE(requests.find("request=15 set-relay port=0 value=0 ok"), std::string::npos)
        << requests;
}

// ---- a live change is seen by the next reading ----

// Appends what fd gives to out until marker is in it or the writers are gone.
void read_until(int fd, std::string& out, const std::string& marker = "") {
    char buffer[4096];
    while (marker.empty() || out.find(marker) == std::string::npos) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

TEST_F(SimProduct, LiveChangesAreSeenByTheNextReading) {
    const std::string go = dir_ + "/go";
    // The readings before and after the change, the same steps.
    const std::string readings = "temp 0 pwr 0 eth 1 uart 1 eth 0 disk /dev/sda1 sensor 2 0";
    int pipe_fds[2];
    ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
    const pid_t child =
        start_as_user(run_line(kKt500r, host_steps(readings + " wait " + go + " " + readings),
                               {"--name", "live"}),
                      pipe_fds[1]);
    ::close(pipe_fds[1]);
    std::string out;
    read_until(pipe_fds[0], out, "waiting");
    ASSERT_NE(out.find("waiting"), std::string::npos) << out;
    const Outcome set =
        sim({"set", "live", "temperature.cpu=95", "dio.power0=0", "eth1.up=no",
             "ttyS1.held_by=", "fan.SYSFAN=0", "eth0.carrier=0", "disk0.used_mb=15000"});
    EXPECT_EQ(set.exit_status, 0) << set.err;
    EXPECT_EQ(sim({"get", "live", "temperature.cpu"}).out, "95\n");
    std::ofstream(go).put('\n');
    if (::geteuid() == 0) {
        EXPECT_EQ(::chown(go.c_str(), kNobody, kNobody), 0);
    }
    read_until(pipe_fds[0], out);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;

    const std::string after = out.substr(out.find("waiting"));
    EXPECT_NE(out.find("temp0 60000 0"), std::string::npos) << out;
    for (const char* line : {"temp0 95000 0", "pwr0 0 0",
                             "eth1 0|0|0 -300 -300 -300",  // ERR_LINK_DOWN
                             "uart1 0 0",
                             "sensor2.0 0 1",  // a stopped fan reads 0
                             // Without carrier the kernel knows no speed (-1): no speed and no
                             // load (ERR_CMD_EXIT), the link reads 0.
                             "eth0 0|0|0 0 -107 -107", "disk 50|30000|15000 0 0 0"}) {
        EXPECT_NE(after.find(line), std::string::npos) << line << " in\n" << out;
    }
}

// ---- an unmodified Python ctypes host ----

TEST_F(SimProduct, PythonCtypesHostGetsTheSimulatedLibraries) {
    if (::access("/usr/bin/python3", X_OK) != 0) {
        GTEST_SKIP() << "no /usr/bin/python3";
    }
    // The absolute paths of the production build: the loader is redirected.
    const Outcome out = run_on(
        kKt500r, {"/usr/bin/python3", paths().host_py, paths().libquorvik, paths().libquorvikso});
    ASSERT_EQ(out.exit_status, 0) << out.err;
    auto s = steps(out.out);
    EXPECT_EQ(s["model"], "KT-500R 0");
    EXPECT_EQ(s["temp0"], "60000 0");
    EXPECT_EQ(s["pwr0"], "1 0");
    EXPECT_EQ(s["relay0"], "0 0");
}

// ---- never the real hardware path unnoticed ----

TEST_F(SimProduct, HostWithAnOldStyleRpathGetsTheSimulatedLibraries) {
    const Outcome rpath = quorvik::blackbox::run("/usr/bin/readelf", {"-d", paths().host_rpath});
    ASSERT_NE(rpath.out.find("(RPATH)"), std::string::npos) << rpath.out;
    const Outcome out = run_on(kKt500r, {paths().host_rpath, "identity", "temp", "0"});
    ASSERT_EQ(out.exit_status, 0) << out.err;
    auto s = steps(out.out);
    EXPECT_EQ(s["identity"], "KT-500R|R1.05|SN0712 0 0 0");
    EXPECT_EQ(s["temp0"], "60000 0");
}

TEST_F(SimProduct, ARealLibraryUnderAnotherNameStopsTheProgram) {
    const std::string link = dir_ + "/libagent-helper.so";
    ASSERT_EQ(::symlink(paths().libquorvik.c_str(), link.c_str()), 0);
    const Outcome out = run_on(
        kKt500r,
        {"/usr/bin/python3", "-c", "import ctypes; ctypes.CDLL('" + link + "'); print('reached')"});
    EXPECT_EQ(out.exit_status, 125);
    EXPECT_EQ(out.out.find("reached"), std::string::npos);
    EXPECT_NE(out.err.find("not the simulated library"), std::string::npos) << out.err;
}

TEST_F(SimProduct, SetUserIdProgramIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a set-user-ID program of another user needs root";
    }
    const std::string copy = dir_ + "/setuid-host";
    fs::copy_file(paths().host, copy);
    ASSERT_EQ(::chmod(copy.c_str(), 04755), 0);
    const Outcome out = run_on(kKt500r, {copy, "identity"});
    EXPECT_EQ(out.exit_status, 126);
    EXPECT_EQ(out.out, "");
    EXPECT_NE(out.err.find("set-user-ID"), std::string::npos) << out.err;
}

TEST_F(SimProduct, SimulatedLibrariesWithoutARunReachNoHardware) {
    const std::string libdir = fs::path(paths().sim).parent_path() / "lib";
    const Outcome out = run_as_user(host_steps("identity pwr 0"), {"LD_LIBRARY_PATH=" + libdir});
    auto s = steps(out.out);
    // ERR_DEVICE_NAME, ERR_BIOS_VER, ERR_SERIAL_NUM: no identity without a board.
    EXPECT_EQ(s["identity"], "|| -200 -202 -203");
    EXPECT_EQ(s["pwr0"], "0 -200");
    EXPECT_NE(out.err.find("no simulated board"), std::string::npos) << out.err;
}

// ---- the doctor on a simulated board ----

// What the doctor asks of the board goes through the simulated platform and
// passes: the port permission, physical memory and identification of the
// simulated libraries, the board's own profile, its digital-I/O driver asked
// through the monitoring library, and the Ethernet ports it describes. What
// it reads of the host (lockdown, /proc, the kernel's log, tools, mounts, the
// timer) is this machine's, whatever that shows.
TEST_F(SimProduct, DoctorPassesWhatItAsksOfTheBoard) {
    const Outcome outcome = run_on(kKt500r, {paths().info, "--doctor", "--json"});
    const Json document = Json::parse(outcome.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << outcome.out << outcome.err;
    std::map<std::string, Json> checks;
    for (const Json& check : document["checks"]) checks[check["check"]] = check;
    EXPECT_EQ(checks.size(), 16u) << outcome.out;
    for (const char* name :
         {"port-access", "physical-memory", "board", "profile", "dio", "ethernet"}) {
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

// ---- record and replay ----

// The register and MSR sections of a run's `get` dump.
std::string hardware_sections(const std::string& dump) {
    std::string kept;
    bool keep = false;
    std::istringstream in(dump);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') keep = line.rfind("[bank", 0) == 0 || line == "[msr]";
        if (keep) kept += line + "\n";
    }
    return kept;
}

TEST_F(SimProduct, RecordedBankedBoardReplaysEveryReadingAndRegister) {
    for (const std::string& board : {kAb1234, kKt500r}) {
        const std::string recording = dir_ + "/recorded-" + fs::path(board).filename().string();
        const Outcome record =
            run_on(board, {paths().sim, "record", recording}, {"--name", "original", "--keep"});
        ASSERT_EQ(record.exit_status, 0) << record.err;
        EXPECT_EQ(record.err, "");  // everything the profile names was recorded
        EXPECT_EQ(sim({"check", recording}).exit_status, 0) << sim({"check", recording}).out;

        const Outcome original = run_on(board, {paths().info, "--json"});
        const Outcome replayed = run_on(recording, {paths().info, "--json"});
        const Json a = Json::parse(original.out, nullptr, false);
        const Json b = Json::parse(replayed.out, nullptr, false);
        ASSERT_FALSE(a.is_discarded() || b.is_discarded()) << replayed.err;
        EXPECT_EQ(a["identity"], b["identity"]);
        // Every reading of the hardware is equal. The recording does not
        // describe Ethernet ports, serial ports and disks: the replay reads
        // them from this machine, as a board without them in its description
        // does (equal too, but for the host's own changing values).
        std::map<std::string, Json> replay;
        for (const Json& r : b["readings"])
            replay[r["group"].dump() + r["name"].dump() + r["labels"].dump()] = r;
        std::size_t compared = 0;
        for (const Json& x : a["readings"]) {
            const std::string group = x["group"];
            const bool hardware = group == "sensors" || group == "power";
            if (!hardware &&
                (board == kKt500r || group == "cpu" || group == "memory" || group == "disk"))
                continue;
            const auto found =
                replay.find(x["group"].dump() + x["name"].dump() + x["labels"].dump());
            ASSERT_NE(found, replay.end()) << x.dump();
            EXPECT_EQ(x, found->second) << board;
            ++compared;
        }
        EXPECT_GE(compared, 8u) << board;
        // The registers and MSRs as the recording left the board (its bank
        // selection undone) and as the replay starts.
        ASSERT_EQ(run_on(recording, {"/bin/true"}, {"--name", "replay", "--keep"}).exit_status, 0);
        const std::string replay_registers = hardware_sections(sim({"get", "replay"}).out);
        EXPECT_EQ(replay_registers, hardware_sections(sim({"get", "original"}).out));
        EXPECT_NE(replay_registers.find("[bank1]"), std::string::npos) << replay_registers;
        fs::remove_all(state_dir());
    }
}

// ---- check: what is wrong, with file and line ----

TEST_F(SimProduct, CheckTellsErrorsWithFileAndLineAndWarnsOfRegistersLeftOut) {
    // Seven lines of a good board, then the case's own (line 8 on).
    const std::string head =
        "[identity]\nsource = smbios\nmodel = KT-1\nbios_version = 1\nserial = S\n"
        "[profile]\nVolt = 0\n";
    const struct {
        std::string text;
        std::string expected;
        std::string profile = "";  // p.ini beside the board
    } cases[] = {
        {head + "[bank9]\n", "board.ini:8: error: unknown section [bank9]"},
        {head + "[bank0]\n0x20 = 0x100\n", "board.ini:9: error: register 0x20 = 0x100"},
        {head + "[eth0]\nspeed = fast\n", "board.ini:9: error: speed = fast"},
        {head + "[disk0]\ndevice = sda1\nmount = /\nsize_mb = 10\n",
         "board.ini:8: error: [disk0] needs device = /dev/NAME"},
        {head + "[ttyS0]\nheld_by = agetty\n", "board.ini:9: error: held_by = agetty"},
        {head + "[msr]\n0x19C = -1\n", "board.ini:9: error: MSR 0x19C = -1"},
        {head + "[dio]\npower0 = 2\n", "board.ini:9: error: power0 = 2"},
        {"[identity\n" + head, "board.ini:1: error: a section line is [NAME]"},
        {"[identity]\nsource = smbios\nmodel = KT-1\nbios_version = 1\nserial = S\ncolour = red\n",
         "board.ini:6: error: unknown key colour in [identity]"},
        {"[identity]\nsource = signature\nmodel = SG-1\nbios_version = R1.05\nserial = S\n"
         "[profile]\nVolt = 0\n",
         "board.ini:4: error: bios_version = R1.05"},
        {"[identity]\nsource = signature\nmodel = SG-1\nbios_version = V1.20S03\nvendor = Insyde "
         "Corp.\n"
         "[profile]\nVolt = 0\n",
         "board.ini:5: error: an Insyde vendor makes identification take the SMBIOS path"},
        {"[identity]\nsource = images\nfsegment = none.bin\nsmbios = none.bin\n[profile]\nVolt = "
         "0\n",
         "error: cannot read the F-segment image none.bin"},
        {"[board]\nprofile = p.ini\n" + head, "give either profile = FILE or a [profile] section",
         "[KT-1]\nVolt = 0\n"},
        {"[board]\nprofile = p.ini\n[identity]\nsource = smbios\nmodel = KT-1\nbios_version = 1\n",
         "error: the device profile has no section for the model KT-1", "[SG-7]\nVolt = 0\n"},
    };
    for (const auto& c : cases) {
        const Outcome out = sim({"check", write_board("board", c.text, c.profile)});
        EXPECT_EQ(out.exit_status, 1) << c.text;
        EXPECT_NE(out.out.find(c.expected), std::string::npos)
            << "wanted: " << c.expected << "\ngot: " << out.out;
    }
    for (const std::string& board : {kKt500r, kSg7, kAb1234}) {
        const Outcome out = sim({"check", board});
        EXPECT_EQ(out.exit_status, 0) << out.out;
        EXPECT_EQ(out.out.find("warning"), std::string::npos) << out.out;
    }
    // Registers and MSRs the profile reads but the board leaves out: warnings.
    const Outcome warned =
        sim({"check",
             write_board("warned",
                         "[identity]\nsource = smbios\nmodel = KT-1\nbios_version = 1\nserial = S\n"
                         "[profile]\nIndex = 0x295\nData = 0x296\nSio = W83627DHG\nVolt = 1\n"
                         "Vin0Bnk = 2\nVin0Idx = 0x20\nVin0Cof = 8\nTemp = 1\nTin0MSR = 0x1A2\n"
                         "Tin0MSROffset = 0x19C\n[msr]\n0x1A2 = 0x640000\n")});
    EXPECT_EQ(warned.exit_status, 0) << warned.out;
    for (const char* warning : {"warning: register 0x20 of bank 2 (Vin0Idx) is not given",
                                "warning: MSR 0x19C (Tin0MSROffset) is not given"}) {
        EXPECT_NE(warned.out.find(warning), std::string::npos) << warned.out;
    }
    EXPECT_EQ(warned.out.find("0x1A2 (Tin0MSR)"), std::string::npos) << warned.out;
}

// ---- identity images: written, and read back as a board of raw images ----

TEST_F(SimProduct, ExportedImagesIdentifyAsTheGeneratedBoard) {
    const std::string board = dir_ + "/from-images";
    ASSERT_EQ(sim({"images", kSg7, board + "/images"}).exit_status, 0);
    EXPECT_EQ(fs::file_size(board + "/images/fsegment.bin"), 65536u);
    std::ofstream(board + "/board.ini") << "[identity]\nsource = images\nfsegment = "
                                           "images/fsegment.bin\nsmbios = images/smbios.bin\n"
                                           "[profile]\nVolt = 0\n";
    const Json doc = report(board);
    EXPECT_EQ(doc["identity"]["model"]["value"], "SG-7");
    EXPECT_EQ(doc["identity"]["bios_version"]["value"], "V1.20S03");
    EXPECT_EQ(doc["identity"]["serial_number"]["value"], "SG7-000123");
    // The table file is what dmidecode --dump-bin writes: entry point, then
    // the table at 0x20.
    std::ifstream dump(board + "/images/smbios.bin", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(dump)), {});
    ASSERT_GT(bytes.size(), 0x20u);
    EXPECT_EQ(bytes.substr(0, 4), "_SM_");
    EXPECT_EQ(bytes.substr(0x10, 5), "_DMI_");
    EXPECT_EQ(static_cast<unsigned char>(bytes[0x18]), 0x20);  // the table's address
    EXPECT_EQ(static_cast<unsigned char>(bytes[0x20]), 0);     // type 0 first
}

// ---- set and get refuse what they cannot do ----

TEST_F(SimProduct, SetAndGetRefuseWhatTheBoardDoesNotHave) {
    ASSERT_EQ(run_on(kKt500r, {"/bin/true"}, {"--name", "kept", "--keep"}).exit_status, 0);
    const struct {
        std::string key, expected;
    } cases[] = {
        {"nothing=1", "a key is SECTION.NAME"},
        {"eth9.up=no", "the board has no eth9"},
        {"eth0.colour=red", "unknown key colour of eth0"},
        {"eth0.up=maybe", "not yes or no"},
        {"bank0.0x20=300", "no byte value"},
        {"dio.power0=5", "a power input is 0 or 1"},
        {"temperature.GPU=50", "no temperature input is labelled GPU"},
        {"temperature.cpu=150", "beyond the sensor's reference of 100"},
        {"disk0.device=/dev/sdb1", "device cannot change during a run"},
    };
    for (const auto& c : cases) {
        const Outcome out = sim({"set", "kept", c.key});
        EXPECT_EQ(out.exit_status, 1) << c.key;
        EXPECT_NE(out.err.find(c.expected), std::string::npos) << c.key << ": " << out.err;
    }
    const Outcome none = sim({"get", "no-such-run", "dio.relay0"});
    EXPECT_EQ(none.exit_status, 1);
    EXPECT_NE(none.err.find("no run no-such-run"), std::string::npos) << none.err;
}

TEST_F(SimProduct, TwoRunsOfOneNameAreRefused) {
    const std::string go = dir_ + "/go";
    const pid_t child =
        start_as_user(run_line(kSg7, {paths().host, "wait", go}, {"--name", "busy"}), -1);
    // The first run is going on once its state is there.
    const std::string state = state_dir() + "/busy/pid";
    for (int i = 0; i < 500 && !fs::exists(state); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const Outcome second = run_on(kSg7, {"/bin/true"}, {"--name", "busy"});
    EXPECT_EQ(second.exit_status, 125);
    EXPECT_NE(second.err.find("a run named busy is going on"), std::string::npos) << second.err;
    EXPECT_EQ(run_on(kSg7, {"/bin/true"}, {"--name", "other"}).exit_status, 0);
    std::ofstream(go).put('\n');
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Its state went with it.
    EXPECT_FALSE(fs::exists(state));
}

}  // namespace
