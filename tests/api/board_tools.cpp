// The test run's board as the port queries see it: eth0 up (100 Mbit/s,
// 25600 kbit/s each way), eth1 down; serial nodes ttyS0, ttyS1 (held by
// "agent 42 root"), ttyS4, ttyS5, ttyUSB2 and tty3, no ttyXR0. Tests change
// them through run().set ("eth0.speed", "ttyS1.held_by").
#include "fake_tools.h"
#include "sim_run.h"

namespace quorvik::sim {
namespace {

// Before main: the platform reads the ports' path rewrites at the first command.
const bool board_ports_added = [] {
    std::vector<simtool::SerialPort> serial{{"ttyS1", true, "agent 42 root"},
                                            {"ttyXR0", false, ""}};
    for (const char* name : {"ttyS0", "ttyS4", "ttyS5", "ttyUSB2", "tty3"})
        serial.push_back({name, true, ""});
    SimRun::get().add_ports({{"eth0", true, 1, 100, 25600, 25600, "", ""},
                             {"eth1", false, 1, 100, 25600, 25600, "", ""}},
                            serial);
    return true;
}();

}  // namespace

BoardTools::BoardTools() : FakeTools(SimRun::get().path("bin")) {
    for (const char* tool : {"ifconfig", "ifstat", "lsof"})
        add(tool, "exec " + SimRun::get().standin(tool) + " \"$@\"");
    for (const char* tool : {"ls", "cat"}) add(tool, "exec " + real(tool) + " \"$@\"");
}

}  // namespace quorvik::sim
