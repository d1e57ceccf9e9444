// The test process's own run of the board simulator: a state directory made
// before main (in QUORVIK_SIM_STATE before either library looks), served by
// the simulator's platform layers linked in, arranged and reset here.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sim_state.h"
#include "state.h"

namespace quorvik::sim {

// A line of STATE/dio.log: a request to the driver, the value as it left it.
struct DriverRequest {
    std::string name;  // set-relay, get-power, unknown
    int port = 0;
    int value = 0;
    bool ok = false;
    bool operator==(const DriverRequest&) const = default;
};

class SimRun {
  public:
    static SimRun& get();

    qsim_hardware& hardware() { return *hardware_; }

    // An empty board: no chip, no MSRs, no driver, power inputs reading 0,
    // relays never set, memory all zero, the driver's log empty.
    void reset();

    // ---- physical memory ----
    void write_memory(std::uint64_t address, std::span<const std::uint8_t> bytes);
    void clear_memory();

    // ---- the digital-I/O driver ----
    // /dev/dio exists; relay_nodes are the other node paths the board has.
    void add_driver(const std::vector<std::string>& relay_nodes = {});
    void fail_driver(std::uint32_t failures) { hardware_->dio_fail = failures; }
    void set_power(int input, int state) { hardware_->power[input] = state; }
    int relay(int port) const { return hardware_->relay[port]; }
    std::vector<DriverRequest> driver_log() const;
    // Descriptors of this process open on the driver's node.
    int open_nodes() const;

    // ---- Ethernet and serial ports ----
    // Ports the board has from the start (eth0, ttyS1), the command lines'
    // paths to them rewritten. The platform reads the rewrites at the first
    // command: an executable whose tests read ports adds them before main.
    // reset() brings every port back to the item given here.
    void add_ports(const std::vector<simtool::EthPort>& eth,
                   const std::vector<simtool::SerialPort>& serial);
    // As `quorvik-sim set KEY VALUE` does (eth0.up, ttyS1.held_by).
    void set(const std::string& key, const std::string& value);
    // A file in the state directory (bin, sys/class/net/eth0/speed).
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // The simulator's stand-in of tool (ifconfig, ifstat, lsof).
    std::string standin(const std::string& tool) const { return path("standins/" + tool); }
    // A shell command line that sets key to value, as a test's tool can run.
    std::string set_command(const std::string& key, const std::string& value) const;
    // The machine's /sys/class/net and serial nodes behind the ports' paths,
    // until reset().
    void use_machine_ports();

    SimRun(const SimRun&) = delete;
    SimRun& operator=(const SimRun&) = delete;

  private:
    SimRun();
    ~SimRun();
    void write_state_file(const char* name, const std::string& text);
    void link(const std::string& target, const std::string& name);

    std::vector<std::pair<std::string, simtool::Item>> ports_;

    std::string dir_;
    pid_t creator_ = ::getpid();
    qsim_hardware* hardware_ = nullptr;
};

}  // namespace quorvik::sim
