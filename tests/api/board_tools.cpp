#include "board_tools.h"

#include "sim_run.h"

namespace quorvik::sim {
namespace {

simtool::Item interface(const char* up) {
    return {{"up", up},
            {"carrier", "1"},
            {"speed", "100"},
            {"rx_kbits", "25600"},
            {"tx_kbits", "25600"},
            {"address", ""},
            {"mac", "02:00:00:00:00:01"}};
}

simtool::Item node(const char* present, const char* held_by = "") {
    return {{"present", present}, {"held_by", held_by}};
}

// Before main: the platform reads the ports' path rewrites at the first command.
const bool board_ports_added = [] {
    SimRun::get().add_ports({{"eth0", interface("yes")},
                             {"eth1", interface("no")},
                             {"ttyS0", node("yes")},
                             {"ttyS1", node("yes", "agent 42 root")},
                             {"ttyS4", node("yes")},
                             {"ttyS5", node("yes")},
                             {"ttyUSB2", node("yes")},
                             {"tty3", node("yes")},
                             {"ttyXR0", node("no")}});
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
