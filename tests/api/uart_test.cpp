// Serial ports: the count and node names from the profile, and whether a
// node is held open, on the test run's board and with a real node.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "api_fixture.h"
#include "fake_tools.h"
#include "quorvik.h"

namespace quorvik::sim {
namespace {

class Uart : public BoardApiTest {
  protected:
    BoardTools tools_;
};

using Ports = BoardApiTest;

TEST_F(Ports, CountsComeFromTheProfile) {
    board("AB-1234", "TotalLanPort = 2\nTotalSerialPort = 0x4\n");
    int eth = -5, uart = -5;
    EXPECT_EQ(get_eth_count(&eth), 0);
    EXPECT_EQ(eth, 2);
    EXPECT_EQ(get_uart_count(&uart), 0);
    EXPECT_EQ(uart, 4);
    board("AB-1234", "TotalSerialPort = 2\n");
    EXPECT_EQ(get_eth_count(&eth), ERR_PROFILE_VALUE);
    EXPECT_EQ(eth, -1) << "a missing count leaves -1";
    board("AB-1234", "TtyType = S\n");
    EXPECT_EQ(get_uart_count(&uart), ERR_PROFILE_VALUE);
    EXPECT_EQ(uart, -1);
    EXPECT_EQ(get_eth_count(nullptr), ERR_RANGE);
    EXPECT_EQ(get_uart_count(nullptr), ERR_RANGE);
}

TEST_F(Uart, PortIndexNamesTheNodeFromTheNumberList) {
    const struct {
        const char* profile;
        int index;
        const char* node;
        int status;
        int in_use;
    } cases[] = {
        {"TotalSerialPort = 2\nTtyType = S\nTtyNum = 0,1\n", 0, "/dev/ttyS0", 0, 0},
        {"TotalSerialPort = 2\nTtyType = S\nTtyNum = 0,1\n", 1, "/dev/ttyS1", 0, 1},
        {"TotalSerialPort = 4\nTtyType = S\nTtyNum = 3, 5\n", 1, "/dev/ttyS5", 0, 0},
        {"TotalSerialPort = 4\nTtyType = S\nTtyNum = 3, 5\n", 2, "/dev/ttyS0", 0, 0},
        {"TotalSerialPort = 4\nTtyType = S\nTtyNum = 3, 5\n", 3, "/dev/ttyS0", 0, 0},
        {"TotalSerialPort = 2\nTtyType = S\nTtyNum = ,,1,4\n", 1, "/dev/ttyS4", 0, 0},
        {"TotalSerialPort = 2\nTtyType = USB\nTtyNum = 2.9\n", 0, "/dev/ttyUSB2", 0, 0},
        {"TotalSerialPort = 200\nTtyType = S\nTtyNum = 1\n", 127, "/dev/ttyS0", 0, 0},
        {"TotalSerialPort = 1\nTtyType =\nTtyNum = 3\n", 0, "/dev/tty3", 0, 0},
        // No such node: lsof is not asked, the output stays.
        {"TotalSerialPort = 2\nTtyType = XR\nTtyNum = 0,1\n", 0, "/dev/ttyXR0", ERR_CMD_EXIT, 42},
    };
    for (const auto& c : cases) {
        tools_.clear_calls();
        board("AB-1234", c.profile);
        int in_use = 42;
        EXPECT_EQ(get_uart_status(c.index, &in_use), c.status) << c.profile << c.index;
        EXPECT_EQ(in_use, c.in_use) << c.profile << c.index;
        std::vector<std::string> expected{std::string("ls ") + c.node};
        if (c.status == 0) expected.push_back(std::string("lsof ") + c.node);
        EXPECT_EQ(tools_.calls(), expected) << c.profile << c.index;
    }
    tools_.add("lsof", "echo 'lsof: not found' >&2; exit 127");
    board("AB-1234", "TotalSerialPort = 2\nTtyType = S\nTtyNum = 0,1\n");
    int in_use = 42;
    EXPECT_EQ(get_uart_status(1, &in_use), 0);
    EXPECT_EQ(in_use, 0) << "without lsof every port reads as free";
}

TEST_F(Uart, RefusalsRunNoCommandAndLeaveTheOutput) {
    const struct {
        std::string profile;
        int index;
        int status;
    } cases[] = {
        {"TotalSerialPort = 2\nTtyType = S\nTtyNum = 0,1\n", 2, ERR_RANGE},
        {"TotalSerialPort = 2\nTtyType = S\nTtyNum = 0,1\n", -1, ERR_RANGE},
        {"TotalSerialPort = 500\nTtyType = S\nTtyNum = 0,1\n", 128, ERR_RANGE},
        {"TotalSerialPort = 500\nTtyType = S\nTtyNum = 0,1\n", 499, ERR_RANGE},
        {"TtyType = S\nTtyNum = 0,1\n", 0, ERR_PROFILE_VALUE},
        {"TotalSerialPort = 2\nTtyNum = 0,1\n", 0, ERR_PROFILE_VALUE},
        {"TotalSerialPort = 2\nTtyType = S\n", 0, ERR_PROFILE_VALUE},
        {"TotalSerialPort = 2\nTtyType = S\nTtyNum = 1e10\n", 0, ERR_PROFILE_VALUE},
        // Node letters reach the shell: letters only.
        {"TotalSerialPort = 2\nTtyType = \"S$(touch /tmp/quorvik-pwned)\"\nTtyNum = 0\n", 0,
         ERR_PROFILE_VALUE},
        {"TotalSerialPort = 2\nTtyType = USB0\nTtyNum = 0\n", 0, ERR_PROFILE_VALUE},
        {"TotalSerialPort = 2\nTtyType = S/../x\nTtyNum = 0\n", 0, ERR_PROFILE_VALUE},
        {"TotalSerialPort = 2\nTtyType = \"\xc3\xa9\"\nTtyNum = 0\n", 0, ERR_PROFILE_VALUE},
        {"TotalSerialPort = 2\nTtyType = " + std::string(120, 'S') + "\nTtyNum = 0\n", 0,
         ERR_PROFILE_VALUE},
    };
    for (const auto& c : cases) {
        board("AB-1234", c.profile);
        int in_use = 42;
        EXPECT_EQ(get_uart_status(c.index, &in_use), c.status) << c.profile << c.index;
        EXPECT_EQ(in_use, 42);
    }
    EXPECT_TRUE(tools_.calls().empty()) << tools_.calls().front();
    EXPECT_NE(::access("/tmp/quorvik-pwned", F_OK), 0);

    board("AB-1234", "TotalSerialPort = 2\nTtyType = S\nTtyNum = 0,1\n");
    EXPECT_EQ(get_uart_status(0, nullptr), ERR_RANGE);
    remove_system_profile();
    int in_use = 42;
    EXPECT_EQ(get_uart_status(0, &in_use), ERR_PROFILE_LOAD);
    unidentified_board();
    printed_by([&] { EXPECT_EQ(get_uart_status(0, &in_use), ERR_DEVICE_NAME); });
    EXPECT_EQ(in_use, 42);
    EXPECT_TRUE(tools_.calls().empty());
}

// ---- a real serial node and a process that holds it open ----

class RealSerialPort : public BoardApiTest {};

TEST_F(RealSerialPort, HeldOpenByAnotherProcess) {
    if (::access("/dev/ttyS0", F_OK) != 0) GTEST_SKIP() << "no /dev/ttyS0 on this machine";
    if (std::system("command -v lsof > /dev/null") != 0) GTEST_SKIP() << "no lsof";
    board("AB-1234", "TotalSerialPort = 2\nTtyType = S\nTtyNum = 0,99\n");
    run().use_machine_ports();
    int in_use = -1;
    ASSERT_EQ(get_uart_status(0, &in_use), 0);
    if (in_use == 1) GTEST_SKIP() << "/dev/ttyS0 is already held by some other process";

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char answer = fd >= 0 ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    if (answer == 'y') {
        EXPECT_EQ(get_uart_status(0, &in_use), 0);
        EXPECT_EQ(in_use, 1);
    }
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    if (answer != 'y') GTEST_SKIP() << "/dev/ttyS0 cannot be opened here";

    EXPECT_EQ(get_uart_status(0, &in_use), 0);
    EXPECT_EQ(in_use, 0) << "free again once the holder has gone";
    if (::access("/dev/ttyS99", F_OK) != 0) {
        in_use = 42;
        EXPECT_EQ(get_uart_status(1, &in_use), ERR_CMD_EXIT);
        EXPECT_EQ(in_use, 42);
    }
}

}  // namespace
}  // namespace quorvik::sim
