#include "sim_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "live.h"
#include "state.h"

namespace quorvik::sim {
namespace {

constexpr off_t kMemorySize = off_t{1} << 32;

// The board every case starts from: what a freshly loaded driver with
// nothing wired reads.
simtool::Board empty_board() {
    simtool::Board board;
    board.power[0] = 0;
    board.power[1] = 0;
    return board;
}

[[noreturn]] void give_up(const std::string& what) {
    throw std::runtime_error("test run of the simulator: " + what);
}

// "pid=1 request=15 set-relay port=0 value=1 ok" into its fields.
DriverRequest parse_log_line(const std::string& line) {
    char name[16] = "", result[16] = "";
    DriverRequest request;
    std::sscanf(line.c_str(), "pid=%*d request=%*u %15s port=%d value=%d %15s", name, &request.port,
                &request.value, result);
    request.name = name;
    request.ok = std::string_view(result) == "ok";
    return request;
}

// Made before main, so that the libraries' first look finds it.
const SimRun& early = SimRun::get();

}  // namespace

SimRun& SimRun::get() {
    static SimRun run;
    return run;
}

SimRun::SimRun() {
    char dir[] = "/tmp/quorvik-test-run-XXXXXX";
    if (::mkdtemp(dir) == nullptr) give_up("mkdtemp");
    dir_ = std::string(dir) + "/state";
    const std::string e = simtool::create_state(empty_board(), {}, dir_, "/bin/false");
    if (!e.empty()) give_up(e);
    // The machine's paths stay the machine's until an executable adds ports.
    write_state_file(QSIM_REWRITE_FILE, "");
    // The stand-ins, for tests to put on the board's PATH (STATE/bin).
    ::mkdir(path("standins").c_str(), 0755);
    for (const char* tool : {"ifconfig", "ifstat", "lsof"}) link(QUORVIK_SIM_PATH, standin(tool));
    ::setenv(QSIM_ENV_STATE, dir_.c_str(), 1);
    hardware_ = qsim_run_hardware();
    if (hardware_ == nullptr) give_up("the hardware file of " + dir_ + " does not map");
}

SimRun::~SimRun() {
    if (::getpid() != creator_) return;  // a forked child's exit leaves it to the test
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(dir_).parent_path(), ignored);
}

void SimRun::write_state_file(const char* name, const std::string& text) {
    const std::string e = simtool::replace_file(dir_ + "/" + name, text);
    if (!e.empty()) give_up(e);
}

void SimRun::link(const std::string& target, const std::string& name) {
    ::unlink(name.c_str());
    if (::symlink(target.c_str(), name.c_str()) != 0) give_up("cannot link " + name);
}

void SimRun::add_ports(const std::vector<simtool::EthPort>& eth,
                       const std::vector<simtool::SerialPort>& serial) {
    std::string rewrite = eth.empty() ? "" : "/sys/class/net/ " + path("sys/class/net/") + "\n";
    for (const auto& port : eth) ports_.emplace_back(port.name, simtool::item_of(port));
    for (const auto& port : serial) {
        ports_.emplace_back(port.name, simtool::item_of(port));
        rewrite += "/dev/" + port.name + " " + path("dev/" + port.name) + "\n";
    }
    write_state_file(QSIM_REWRITE_FILE, rewrite);
    reset();
}

void SimRun::set(const std::string& key, const std::string& value) {
    simtool::Live live(dir_);
    const std::string e = live.ok() ? live.set(key, value) : live.error();
    if (!e.empty()) give_up("set " + key + " " + value + ": " + e);
}

std::string SimRun::set_command(const std::string& key, const std::string& value) const {
    return std::string(QUORVIK_SIM_PATH) + " set " + dir_ + " " + key + "=" + value;
}

void SimRun::use_machine_ports() {
    std::filesystem::remove_all(path("sys/class/net"));
    link("/sys/class/net", path("sys/class/net"));
    for (const auto& [name, item] : ports_) {
        if (!name.starts_with("eth")) link("/dev/" + name, path("dev/" + name));
    }
}

void SimRun::reset() {
    // The ports as added, never written through a link to the machine's.
    if (std::filesystem::is_symlink(path("sys/class/net"))) ::unlink(path("sys/class/net").c_str());
    std::filesystem::create_directory(path("sys/class/net"));
    for (const auto& [name, item] : ports_) {
        if (!name.starts_with("eth")) ::unlink(path("dev/" + name).c_str());
        if (const std::string e = simtool::write_item(dir_, name, item); !e.empty()) give_up(e);
    }
    *hardware_ = simtool::hardware_of(empty_board());
    clear_memory();
    ::unlink((dir_ + "/" + QSIM_DIO_NODE_FILE).c_str());
    write_state_file("dio-nodes", "");
    qsim_reload_dio_nodes();
    write_state_file(QSIM_DIO_LOG_FILE, "");
}

void SimRun::write_memory(std::uint64_t address, std::span<const std::uint8_t> bytes) {
    const std::string memory = dir_ + "/" + QSIM_MEMORY_FILE;
    const int fd = ::open(memory.c_str(), O_WRONLY | O_CLOEXEC);
    const bool written =
        fd >= 0 && ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(address)) ==
                       static_cast<ssize_t>(bytes.size());
    if (fd >= 0) ::close(fd);
    if (!written) give_up("cannot write " + memory);
}

void SimRun::clear_memory() {
    // Holes, not a truncation: ext4 writes a truncated file's data back first.
    const std::string memory = dir_ + "/" + QSIM_MEMORY_FILE;
    const int fd = ::open(memory.c_str(), O_WRONLY | O_CLOEXEC);
    const bool cleared =
        fd >= 0 && ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, kMemorySize) == 0;
    if (fd >= 0) ::close(fd);
    if (!cleared) give_up("cannot clear " + memory);
}

void SimRun::add_driver(const std::vector<std::string>& relay_nodes) {
    write_state_file(QSIM_DIO_NODE_FILE, "");
    std::string nodes;
    for (const std::string& node : relay_nodes) nodes += node + "\n";
    write_state_file("dio-nodes", nodes);
    qsim_reload_dio_nodes();
    hardware_->dio_device = 1;
}

std::vector<DriverRequest> SimRun::driver_log() const {
    std::vector<DriverRequest> requests;
    std::ifstream log(dir_ + "/" + QSIM_DIO_LOG_FILE);
    for (std::string line; std::getline(log, line);) requests.push_back(parse_log_line(line));
    return requests;
}

int SimRun::open_nodes() const {
    const std::string node = dir_ + "/" + QSIM_DIO_NODE_FILE;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(entry.path(), ignored) == node) ++count;
    }
    return count;
}

}  // namespace quorvik::sim
