// Tools of the test's own on PATH: shell scripts that stand in for nproc,
// free, df, ifconfig, lsof and friends where a controlled answer is needed.
// Each logs its arguments; the directory leaves PATH and the disk again at
// the end of the test (or the tools leave the board's directory).
#pragma once

#include <string>
#include <vector>

namespace quorvik::sim {

class FakeTools {
  public:
    FakeTools();
    // The tools go into bin instead, an existing directory (the test run's
    // STATE/bin, which the board's shell searches first), and leave it again.
    explicit FakeTools(std::string bin);
    ~FakeTools();
    FakeTools(const FakeTools&) = delete;
    FakeTools& operator=(const FakeTools&) = delete;

    // A tool called name whose shell body runs after the call is logged.
    void add(const std::string& name, const std::string& body);

    // The machine's own tool of that name (for bodies that pass calls through).
    static std::string real(const std::string& name);

    // "name arg1 arg2 ..." for every call of a fake tool, in order, with the
    // board's paths as the library wrote them.
    std::vector<std::string> calls() const;
    void clear_calls() const;

    const std::string& dir() const { return dir_; }

  private:
    std::string dir_;
    std::string saved_path_;
    bool own_dir_ = true;
    std::vector<std::string> added_;
};

// The test run's board's own tools behind logging wrappers in STATE/bin:
// the simulator's ifconfig, ifstat and lsof, the machine's ls and cat on the
// board's paths (board_tools.cpp). add() replaces one with the test's own.
class BoardTools : public FakeTools {
  public:
    BoardTools();
};

}  // namespace quorvik::sim
