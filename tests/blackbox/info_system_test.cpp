// quorvik-info's system section, run as it is, with tools of our own on PATH
// so that every figure is known.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>

#include "fake_tools.h"
#include "process.h"

namespace quorvik::blackbox {
namespace {

TEST(InfoSystem, EveryReadingWithItsUnitOrItsStatus) {
    sim::FakeTools tools;
    const std::string cat = sim::FakeTools::real("cat");
    std::ofstream(tools.dir() + "/stat") << "cpu  10 0 10 100 0 0 0\ncpu0 10 0 10 100 0 0 0\n";
    tools.add("nproc", "echo 1");
    tools.add("cat", "[ \"$1\" = /proc/stat ] && exec " + cat + " " + tools.dir() + "/stat\nexec " +
                         cat + " \"$@\"");
    tools.add("free", "echo header; echo 'Mem: 2000 758 900 10 342 1100'");

    const Outcome info = run(QUORVIK_INFO_PATH, {"--per-cpu"});
    EXPECT_EQ(info.exit_status, 0);
    const std::string& out = info.out;
    for (const char* line : {
             "CPU count        1\n",
             // Both samples alike: no ticks between them.
             "CPU usage        unavailable (ERR_CMD_EXIT, -107)\n",
             "  CPU 0          unavailable (ERR_CMD_EXIT, -107)\n",
             "Memory usage     37 %\n",
             "Memory total     2000 MiB\n",
             "Memory free      900 MiB\n",
         }) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "in:\n" << out;
    }
    // The real libQuorvikSO identifies no board here (or a real one as root):
    // each profile reading shows a value or a status by name.
    for (const char* name :
         {"Ethernet ports   ", "Serial ports     ", "Power input 0    ", "Power input 1    "}) {
        const auto at = out.find(name);
        ASSERT_NE(at, std::string::npos) << name << "in:\n" << out;
        const std::string rest = out.substr(at + 17, out.find('\n', at) - at - 17);
        EXPECT_TRUE(rest.rfind("unavailable (ERR_", 0) == 0 || std::isdigit(rest[0])) << rest;
    }
    EXPECT_NE(out.find("Disk "), std::string::npos) << out;
}

}  // namespace
}  // namespace quorvik::blackbox
