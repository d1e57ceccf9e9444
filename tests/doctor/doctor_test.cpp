// quorvik-info --doctor on machines made of the files it reads: each machine
// is laid over the real /proc, /sys, /dev and /etc files inside a private
// mount namespace of the doctor's own process, and the built tool runs
// there. Identification reads a memory image in /dev/mem's place; the
// kernel's I/O-port permission call and the digital-I/O driver (preloaded
// stand-ins) answer as the machine says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bios_builder.h"

namespace {

namespace fs = std::filesystem;

enum class Timer { none, fresh, stale };

// What one machine shows the doctor.
struct Machine {
    const char* name;
    std::string lockdown;  // empty: no lockdown file
    std::string ioports;
    std::string cmdline;
    std::string kmsg;
    // The log in a FIFO whose writer stays open in the doctor itself: a read
    // that blocked would never end.
    bool kmsg_fifo = false;
    std::vector<std::uint8_t> memory;  // empty: no /dev/mem
    std::string profile;               // empty: no profile
    bool profile_fifo = false;         // a FIFO in the profile's place
    std::vector<std::string> nodes;    // character devices made under /dev
    std::vector<std::string> files;    // regular files in a node's place
    std::vector<std::string> interfaces;
    std::vector<std::string> tools;  // on PATH
    bool ifstat = true;
    std::string mounts;
    Timer timer = Timer::none;
    const char* ioperm = "granted";
    bool rawio = true;
    bool text = false;  // the text report instead of JSON
};

// Nodes the machines make or leave out; the host's own are hidden.
const std::vector<std::string> kManagedNodes = {"/dev/dio", "/dev/relay", "/dev/cpu/0/msr",
                                                "/dev/ttyXR0", "/dev/ttyXR1"};

// Physical memory below 1 MiB with the board's images in place.
std::vector<std::uint8_t> memory_of(const quorvik::sim::BoardImages& board) {
    std::vector<std::uint8_t> memory(0x100000, 0);
    const auto& segment = board.fsegment.bytes();
    std::copy(segment.begin(), segment.end(), memory.begin() + quorvik::sim::kFSegment);
    const auto& table = board.table.bytes();
    std::copy(table.begin(), table.end(), memory.begin() + board.table_address);
    return memory;
}

std::string example_section(const std::string& name) {
    std::ifstream file(QUORVIK_EXAMPLE_PROFILE);
    std::stringstream text;
    text << file.rdbuf();
    std::string profile = text.str();
    profile.replace(profile.find("[example-board]"), 15, "[" + name + "]");
    profile.replace(profile.find("TtyType = S"), 11, "TtyType = XR");
    // The KT-500R's relay goes by command; its section names no node.
    if (name == "KT-500R") {
        const std::size_t line = profile.find("Relay_Node");
        profile.erase(line, profile.find('\n', line) + 1 - line);
    }
    return profile;
}

const char* kBootLog =
    "6,0,0,-;Linux version 6.1.0-13-amd64 (debian-kernel@lists.debian.org)\n"
    " SUBSYSTEM=none\n"
    "6,1,5,-;Command line: root=/dev/sda1\n";
const char* kOtherConflict =
    "4,2,9,-;ACPI Warning: SystemIO range 0x0000000000000a00-0x0000000000000a0f conflicts with "
    "OpRegion 0x0000000000000a00-0x0000000000000a1f (\\_SB.PCI0.SBRG.GPIO) "
    "(20220331/utaddress-204)\n";
const char* kSuperIoConflict =
    "4,2,9,-;ACPI Warning: SystemIO range 0x0000000000000295-0x0000000000000296 conflicts with "
    "OpRegion 0x0000000000000290-0x0000000000000299 (\\_GPE.HWM) (20220331/utaddress-204)\n";

// Every check OK: a KT-500R identified by its signature text.
Machine healthy() {
    Machine m;
    m.name = "healthy";
    m.lockdown = "[none] integrity confidentiality\n";
    m.ioports =
        "0000-0cf7 : PCI Bus 0000:00\n"
        "  0290-029f : pnp 00:07\n"
        "  03f8-03ff : serial\n";
    m.cmdline = "BOOT_IMAGE=/vmlinuz root=/dev/sda1 ro net.ifnames=0 quiet\n";
    m.kmsg = std::string(kBootLog) + kOtherConflict;
    m.memory = memory_of(quorvik::sim::signature_board("ZEKT KT-500R P01.00001", "SN-1"));
    m.profile = example_section("KT-500R");
    m.nodes = kManagedNodes;
    m.interfaces = {"eth0", "eth1"};
    m.tools = {"lsof", "ifconfig", "free", "awk", "df"};
    m.mounts = "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n";
    m.timer = Timer::fresh;
    m.kmsg_fifo = true;
    return m;
}

// The same board with its devices, drivers and tools in the way.
Machine troubled_devices() {
    Machine m = healthy();
    m.name = "troubled devices";
    m.ioports =
        "  0290-029f : pnp 00:07\n"
        "    0295-0296 : nct6775\n";
    m.kmsg = std::string(kBootLog) + kSuperIoConflict;
    m.kmsg_fifo = false;
    m.cmdline = "BOOT_IMAGE=/vmlinuz root=/dev/sda1 ro quiet\n";
    m.profile.replace(m.profile.find("Vin0Cof = 8"), 11, "Vin0Cof = 0");
    m.nodes = {};
    // "echo 1 > /dev/relay" before the driver was there.
    m.files = {"/dev/relay"};
    m.interfaces = {"enp1s0"};
    m.tools = {"lsof", "free", "awk", "df"};
    m.ifstat = false;
    m.mounts += "srv:/export /mnt/share nfs4 rw 0 0\n";
    m.timer = Timer::stale;
    return m;
}

// Access to the hardware refused at every level.
Machine refused() {
    Machine m = healthy();
    m.name = "refused";
    m.lockdown = "none [integrity] confidentiality\n";
    m.ioperm = "EPERM";
    m.rawio = false;
    m.memory = {};
    m.profile_fifo = true;
    m.timer = Timer::none;
    return m;
}

// An Insyde board whose section serves it by prefix only, after a log
// that wrapped since boot, with a driver on the chip's whole range.
Machine prefix_section() {
    Machine m = healthy();
    m.name = "prefix section";
    m.memory = memory_of(quorvik::sim::insyde_board("KT-500", "R1.05", "SN-0042"));
    m.profile = example_section("KT-5");
    m.kmsg = "6,812,99999,-;e1000e 0000:00:19.0 eth0: NIC Link is Up\n";
    m.ioports = "0290-0297 : w83627hf.656\n";
    return m;
}

// A kernel without I/O-port permission calls, and no profile.
Machine no_ioperm() {
    Machine m = healthy();
    m.name = "no ioperm";
    m.lockdown = "";
    m.ioperm = "ENOSYS";
    m.profile = "";
    m.text = true;
    return m;
}

struct Outcome {
    int exit_status = -1;
    std::string out;
    std::string err;
    std::map<std::string, nlohmann::json> checks;
    std::vector<std::string> order;
};

void write_file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// --- In the child, before the doctor starts ---------------------------------

[[noreturn]] void setup_failed(const std::string& step) {
    const std::string message = "setup: " + step + ": " + std::strerror(errno) + "\n";
    (void)!::write(STDERR_FILENO, message.data(), message.size());
    ::_exit(111);
}

void must(bool done, const std::string& step) {
    if (!done) setup_failed(step);
}

// Not bind(): with a std::string argument, std::bind would win the call.
void bind_file(const fs::path& from, const std::string& to) {
    must(::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0, "bind " + to);
}

void tmpfs(const std::string& on) {
    must(::mount("tmpfs", on.c_str(), "tmpfs", 0, "size=16m") == 0, "tmpfs on " + on);
}

// A writable layer over directory; layers lives on a tmpfs of the namespace.
void overlay(const std::string& directory, const fs::path& layers) {
    const fs::path layer = layers / std::to_string(std::hash<std::string>{}(directory));
    fs::create_directories(layer / "upper");
    fs::create_directories(layer / "work");
    const std::string options = "lowerdir=" + directory +
                                ",upperdir=" + (layer / "upper").string() +
                                ",workdir=" + (layer / "work").string();
    must(::mount("overlay", directory.c_str(), "overlay", 0, options.c_str()) == 0,
         "overlay on " + directory);
}

void make_node(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    must(::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0, "mknod " + path);
}

void lay_dev(const Machine& m, const fs::path& in, const fs::path& layers) {
    overlay("/dev", layers);
    for (const std::string& node : kManagedNodes) ::unlink(node.c_str());
    for (const std::string& node : m.nodes) make_node(node);
    for (const std::string& file : m.files) write_file(file, "1\n");
    ::unlink("/dev/mem");
    if (!m.memory.empty()) fs::copy_file(in / "mem", "/dev/mem");
    ::unlink("/dev/kmsg");
    if (!m.kmsg_fifo) {
        fs::copy_file(in / "kmsg", "/dev/kmsg");
        return;
    }
    must(::mkfifo("/dev/kmsg", 0600) == 0, "mkfifo /dev/kmsg");
    const int writer = ::open("/dev/kmsg", O_RDWR);  // kept across exec
    must(writer >= 0 &&
             ::write(writer, m.kmsg.data(), m.kmsg.size()) == static_cast<ssize_t>(m.kmsg.size()),
         "writing /dev/kmsg");
}

void lay_etc(const Machine& m, const fs::path& in, const fs::path& layers) {
    overlay("/etc", layers);
    fs::remove_all("/etc/quorvik");
    if (!m.profile.empty()) write_file("/etc/quorvik/DeviceProfile.ini", m.profile);
    if (m.profile_fifo) {
        fs::remove("/etc/quorvik/DeviceProfile.ini");
        must(::mkfifo("/etc/quorvik/DeviceProfile.ini", 0644) == 0, "mkfifo");
    }
    for (const char* unit : {"quorvik-metrics.timer", "quorvik-metrics.service"}) {
        ::unlink((std::string("/etc/systemd/system/") + unit).c_str());
    }
    ::unlink("/etc/systemd/system/timers.target.wants/quorvik-metrics.timer");
    if (m.timer == Timer::none) return;
    write_file("/etc/systemd/system/quorvik-metrics.timer", "[Timer]\nOnUnitActiveSec=60s\n");
    write_file("/etc/systemd/system/quorvik-metrics.service",
               "[Service]\nType=oneshot\nExecStart=/usr/bin/quorvik-info --prometheus --output " +
                   (in / "quorvik.prom").string() + "\n");
    fs::create_directories("/etc/systemd/system/timers.target.wants");
    fs::create_symlink("../quorvik-metrics.timer",
                       "/etc/systemd/system/timers.target.wants/quorvik-metrics.timer");
}

void lay_sys(const Machine& m) {
    tmpfs("/sys/kernel/security");
    if (!m.lockdown.empty()) write_file("/sys/kernel/security/lockdown", m.lockdown);
    tmpfs("/sys/class/net");
    for (const std::string& name : m.interfaces) fs::create_directory("/sys/class/net/" + name);
}

[[noreturn]] void run_doctor(const Machine& m, const fs::path& in) {
    must(::unshare(CLONE_NEWNS) == 0, "unshare");
    must(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0, "private /");
    const fs::path layers = in / "layers";
    fs::create_directories(layers);
    tmpfs(layers);
    lay_dev(m, in, layers);
    lay_etc(m, in, layers);
    lay_sys(m);
    overlay("/usr/bin", layers);
    ::unlink("/usr/bin/ifstat");
    if (m.ifstat) fs::copy_file(in / "bin" / "tool", "/usr/bin/ifstat");
    bind_file(in / "ioports", "/proc/ioports");
    bind_file(in / "cmdline", "/proc/cmdline");
    // The doctor keeps this pid: its /proc/self/mounts is this one.
    bind_file(in / "mounts", "/proc/" + std::to_string(::getpid()) + "/mounts");
    if (!m.rawio) must(::prctl(PR_CAPBSET_DROP, CAP_SYS_RAWIO, 0, 0, 0) == 0, "drop rawio");

    const int out = ::open((in / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open((in / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    must(out >= 0 && err >= 0 && ::dup2(out, 1) == 1 && ::dup2(err, 2) == 2, "output files");
    const std::string path = "PATH=" + (in / "path").string();
    const std::string preload =
        std::string("LD_PRELOAD=") + IOPERM_PRELOAD_PATH + ":" + DIO_PRELOAD_PATH;
    // The digital-I/O driver answers on the machines that have it.
    const std::string dio = "QUORVIK_SIM_DIO_NODE=" + (in / "dio").string();
    const std::string ioperm = std::string("QUORVIK_TEST_IOPERM=") + m.ioperm;
    const char* argv[] = {QUORVIK_INFO_PATH, "--doctor", m.text ? nullptr : "--json", nullptr};
    const char* envp[] = {path.c_str(),
                          preload.c_str(),
                          ioperm.c_str(),
                          dio.c_str(),
                          "QUORVIK_SIM_DIO_POWER=1,0",
                          "ASAN_OPTIONS=verify_asan_link_order=0",
                          nullptr};
    ::execve(argv[0], const_cast<char**>(argv), const_cast<char**>(envp));
    setup_failed("exec");
}

// --- In the test ------------------------------------------------------------

void prepare(const Machine& m, const fs::path& in) {
    write_file(in / "ioports", m.ioports);
    write_file(in / "cmdline", m.cmdline);
    write_file(in / "kmsg", m.kmsg);
    write_file(in / "mounts", m.mounts);
    write_file(in / "mem", std::string(m.memory.begin(), m.memory.end()));
    write_file(in / "bin" / "tool", "#!/bin/sh\nexit 0\n");
    if (std::find(m.nodes.begin(), m.nodes.end(), "/dev/dio") != m.nodes.end()) {
        write_file(in / "dio", "");
    }
    fs::permissions(in / "bin" / "tool", fs::perms::owner_all);
    fs::create_directories(in / "path");
    for (const std::string& tool : m.tools) fs::copy_file(in / "bin" / "tool", in / "path" / tool);
    if (m.timer != Timer::none) {
        write_file(in / "quorvik.prom", "quorvik_build_info 1\n");
        const auto written =
            fs::file_time_type::clock::now() -
            (m.timer == Timer::stale ? std::chrono::hours(1) : std::chrono::hours(0));
        fs::last_write_time(in / "quorvik.prom", written);
    }
}

// "FAIL  port-access     found. Remedy: remedy" lines, then the summary.
Outcome read_text(Outcome& run) {
    std::istringstream lines(run.out);
    std::string line;
    std::map<std::string, int> verdicts;
    bool summed_up = false;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string verdict;
        std::string name;
        words >> verdict >> name;
        if (verdict.find_first_not_of("0123456789") == std::string::npos) {
            EXPECT_EQ(line, std::to_string(run.order.size()) +
                                " checks: " + std::to_string(verdicts["OK"]) + " OK, " +
                                std::to_string(verdicts["WARN"]) + " WARN, " +
                                std::to_string(verdicts["FAIL"]) + " FAIL");
            summed_up = true;
            continue;
        }
        ++verdicts[verdict];
        std::string rest;
        std::getline(words >> std::ws, rest);
        const std::size_t remedy = rest.find(". Remedy: ");
        run.order.push_back(name);
        run.checks[name] = {
            {"verdict", verdict},
            {"found", rest.substr(0, remedy)},
            {"remedy", remedy == std::string::npos ? "" : rest.substr(remedy + 10)}};
    }
    EXPECT_TRUE(summed_up) << run.out;
    return run;
}

Outcome diagnose(const Machine& m, const fs::path& in) {
    prepare(m, in);
    const pid_t child = ::fork();
    if (child == 0) run_doctor(m, in);
    Outcome run;
    int status = 0;
    // It must never hang: a few seconds at most.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ADD_FAILURE() << m.name << ": the doctor did not finish within 20 s";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = read_file(in / "out");
    run.err = read_file(in / "err");
    if (m.text) return read_text(run);
    const auto document = nlohmann::json::parse(run.out, nullptr, false);
    if (document.is_discarded()) return run;
    EXPECT_EQ(document["schema_version"], 1);
    for (const auto& check : document["checks"]) {
        run.order.push_back(check["check"]);
        run.checks[check["check"]] = check;
    }
    return run;
}

class Doctor : public testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root for private mount namespaces";
        char name[] = "/tmp/quorvik-doctor-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    fs::path dir_;
};

const std::vector<std::string> kOrder = {
    "privileges", "lockdown", "port-access",    "physical-memory",
    "board",      "profile",  "superio-driver", "superio-acpi",
    "msr",        "dio",      "relay",          "ethernet",
    "serial",     "tools",    "network-mounts", "metrics-timer"};

TEST_F(Doctor, EachCheckTellsWhatTheMachineShowsAndTheRemedy) {
    const Machine machines[] = {healthy(), troubled_devices(), refused(), prefix_section(),
                                no_ioperm()};
    std::map<std::string, Outcome> runs;
    for (const Machine& machine : machines) {
        runs[machine.name] = diagnose(machine, dir_ / std::to_string(runs.size()));
        const Outcome& run = runs[machine.name];
        EXPECT_EQ(run.order, kOrder) << machine.name << ":\n" << run.out << run.err;
        for (const auto& [name, check] : run.checks) {
            EXPECT_EQ(check["remedy"] == "", check["verdict"] == "OK")
                << machine.name << ": a remedy for each finding that is not OK: " << check;
        }
    }
    EXPECT_EQ(runs["healthy"].exit_status, 0) << runs["healthy"].out;
    for (const auto& [name, check] : runs["healthy"].checks) {
        EXPECT_EQ(check["verdict"], "OK") << check;
    }

    const struct {
        const char* machine;
        const char* check;
        const char* verdict;
        std::vector<const char*> said;  // in what was found, then in the remedy
    } expected[] = {
        // clang-format off
        {"healthy", "board", "OK", {"model KT-500R, BIOS 01.00001, serial SN-1", "signature"}},
        {"healthy", "profile", "OK", {"[KT-500R]", "0 errors, 0 warnings"}},
        {"healthy", "superio-driver", "OK", {"0x295/0x296", "no kernel driver"}},
        {"healthy", "ethernet", "OK", {"eth0 to eth1 present"}},
        {"healthy", "dio", "OK",
         {"1 power input on /dev/dio, which answers (power input 0 reads 1)"}},
        {"healthy", "serial", "OK", {"/dev/ttyXR0, /dev/ttyXR1 present"}},
        {"healthy", "metrics-timer", "OK", {"enabled", "quorvik.prom written"}},
        {"troubled devices", "profile", "FAIL", {"1 error", "--check-profile"}},
        {"troubled devices", "superio-driver", "FAIL", {"nct6775", "blacklist nct6775"}},
        {"troubled devices", "superio-acpi", "WARN", {"\\_GPE.HWM", "firmware"}},
        {"troubled devices", "msr", "FAIL", {"/dev/cpu/0/msr is missing", "modprobe msr"}},
        {"troubled devices", "dio", "FAIL", {"/dev/dio is missing", "digital-I/O driver"}},
        {"troubled devices", "relay", "FAIL", {"/dev/relay is a regular file"}},
        {"troubled devices", "ethernet", "FAIL",
         {"eth0, eth1 missing (interfaces: enp1s0)", "net.ifnames=0 on the kernel", "update-grub"}},
        {"troubled devices", "serial", "FAIL", {"/dev/ttyXR0 is missing", "TtyType"}},
        {"troubled devices", "tools", "FAIL", {"ifconfig", "/usr/bin/ifstat", "net-tools ifstat"}},
        {"troubled devices", "network-mounts", "WARN", {"/mnt/share (nfs4)", "soft"}},
        {"troubled devices", "metrics-timer", "WARN", {"every minute", "journalctl"}},
        {"refused", "privileges", "FAIL", {"without CAP_SYS_RAWIO", "CapabilityBoundingSet"}},
        {"refused", "lockdown", "FAIL", {"integrity mode", "Secure Boot"}},
        {"refused", "port-access", "FAIL", {"EPERM"}},
        {"refused", "physical-memory", "FAIL", {"no /dev/mem", "CONFIG_DEVMEM"}},
        {"refused", "board", "FAIL", {"not identified", "port-access"}},
        {"refused", "profile", "FAIL", {"not a regular file", "--check-profile"}},
        {"refused", "metrics-timer", "OK", {"not installed"}},
        {"prefix section", "board", "OK", {"model KT-500, BIOS R1.05", "Insyde"}},
        {"prefix section", "profile", "FAIL", {"[kt-5] serves KT-500 by prefix", "[KT-500]"}},
        {"prefix section", "superio-acpi", "WARN",
         {"no longer holds the boot messages", "journalctl -k"}},
        {"prefix section", "dio", "WARN", {"not checked"}},
        {"prefix section", "superio-driver", "FAIL",
         {"w83627hf.656 (0x290-0x297", "rmmod w83627hf"}},
        {"no ioperm", "lockdown", "OK", {"no lockdown"}},
        {"no ioperm", "port-access", "FAIL", {"ENOSYS", "CONFIG_X86_IOPL_IOPERM"}},
        {"no ioperm", "profile", "FAIL", {"no device profile", "DeviceProfile.example.ini"}},
        // clang-format on
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(std::string(e.machine) + ": " + e.check);
        Outcome& run = runs[e.machine];
        ASSERT_TRUE(run.checks.count(e.check)) << run.out << run.err;
        const nlohmann::json& check = run.checks[e.check];
        EXPECT_EQ(check["verdict"], e.verdict) << check;
        const std::string told =
            check["found"].get<std::string>() + " | " + check["remedy"].get<std::string>();
        for (const char* said : e.said) EXPECT_NE(told.find(said), std::string::npos) << said;
        if (std::string(e.verdict) == "FAIL") {
            EXPECT_EQ(run.exit_status, 1) << e.machine;
        }
    }
}

TEST(DoctorCommandLine, TakesOnlyJsonBesideItAndAFindingIsNeverStatusTwo) {
    for (const char* options :
         {"--doctor --prometheus", "--doctor --per-cpu", "--doctor --output=x.prom",
          "--doctor --check-profile", "--check-profile x.ini --doctor", "--doctor extra"}) {
        const int status = std::system(
            (std::string(QUORVIK_INFO_PATH) + " " + options + " >/dev/null 2>&1").c_str());
        EXPECT_EQ(WEXITSTATUS(status), 2) << options;
    }
    // On this machine, whatever it is, the diagnosis is 0 or 1.
    const int status =
        std::system((std::string(QUORVIK_INFO_PATH) + " --doctor -j >/dev/null 2>&1").c_str());
    EXPECT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1) << WEXITSTATUS(status);
}

}  // namespace
