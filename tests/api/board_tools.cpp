#include "board_tools.h"

#include "sim_run.h"

namespace quorvik::sim {
namespace {

// Before main: the platform reads the ports' path rewrites at the first command.
const bool board_ports_added = [] {
    std::vector<simtool::SerialPort> serial;
    for (const char* name : {"ttyS0", "ttyS4", "ttyS5", "ttyUSB2", "tty3"})
        serial.push_back({name, true, ""});
    serial.push_back({"ttyS1", true, "agent 42 root"});
    serial.push_back({"ttyXR0", false, ""});
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

std::vector<std::string> BoardTools::calls() const {
    std::vector<std::string> lines = FakeTools::calls();
    for (std::string& line : lines) line = SimRun::get().as_written(line);
    return lines;
}

}  // namespace quorvik::sim
