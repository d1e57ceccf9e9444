// The test run's board as the port queries see it: eth0 up (100 Mbit/s,
// 25600 kbit/s each way), eth1 down; serial nodes ttyS0, ttyS1 (held by
// "agent 42 root"), ttyS4, ttyS5, ttyUSB2 and tty3, no ttyXR0. Tests change
// them through run().set ("eth0.speed", "ttyS1.held_by").
#pragma once

#include "fake_tools.h"

namespace quorvik::sim {

// The board's own tools behind logging wrappers in STATE/bin: the
// simulator's ifconfig, ifstat and lsof, the machine's ls and cat on the
// board's paths. add() replaces one with a tool of the test's own.
class BoardTools : public FakeTools {
  public:
    BoardTools();
    // The calls with the board's paths as the library wrote them.
    std::vector<std::string> calls() const;
};

}  // namespace quorvik::sim
