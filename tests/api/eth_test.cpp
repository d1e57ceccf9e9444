// Ethernet ports: the link-up test, speed, carrier and load on the test run's
// board (with /usr/bin/ifstat in a private /usr/bin), then with the real
// tools and interfaces of this machine.
#include <gtest/gtest.h>
#include <net/if.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api_fixture.h"
#include "fake_tools.h"
#include "fixed_paths.h"
#include "quorvik.h"

namespace quorvik::sim {
namespace {

class Eth : public BoardApiTest {
  protected:
    void SetUp() override {
        BoardApiTest::SetUp();
        if (IsSkipped()) return;
        board("AB-1234", "TotalLanPort = 2\n");
    }
    // An ifstat of the test's own: the board's ifstat header, then body.
    void ifstat(const std::string& body) {
        tools_.add("ifstat", "echo '       eth0'; echo ' Kbps in  Kbps out'; " + body);
    }

    BoardTools tools_;
};

using Query = int (*)(int, int*);

TEST_F(Eth, RangeAndLinkUpTestsComeFirstForEveryPortQuery) {
    for (const Query query : {get_eth_speed, get_eth_link, get_eth_usage}) {
        const std::size_t commands = tools_.calls().size();
        int value = 42;
        EXPECT_EQ(query(2, &value), ERR_RANGE);
        EXPECT_EQ(value, 42);
        EXPECT_EQ(query(0, nullptr), ERR_RANGE);
        EXPECT_EQ(tools_.calls().size(), commands) << "no command for a refused index";

        EXPECT_EQ(query(1, &value), ERR_LINK_DOWN) << "eth1 is not up";
        EXPECT_EQ(value, 0);
        value = 42;
        EXPECT_EQ(query(-1, &value), ERR_LINK_DOWN) << "no interface is called eth-1";
        EXPECT_EQ(value, 0);
    }
    EXPECT_EQ(tools_.calls().front(), "ifconfig ");

    tools_.add("ifconfig", "exit 1");
    int value = 42;
    EXPECT_EQ(get_eth_link(0, &value), ERR_LINK_DOWN) << "a failing ifconfig: not up";
    EXPECT_EQ(value, 0);

    remove_system_profile();
    value = 42;
    EXPECT_EQ(get_eth_speed(0, &value), ERR_PROFILE_LOAD);
    EXPECT_EQ(value, 42);
}

// Listings of ifconfig's other format and of interfaces the board does not
// have, from an ifconfig of the test's own.
TEST_F(Eth, OnlyAnInterfaceOfExactlyThatNameIsUp) {
    run().set("eth1.up", "yes");  // its carrier reads 1
    const std::string flags = ": flags=4163<UP,BROADCAST,RUNNING,MULTICAST>  mtu 1500\n";
    const std::string encap = "     Link encap:Ethernet  HWaddr 02:00:00:00:00:02\n";
    const std::string detail = "        inet 10.0.0.1  netmask 255.255.255.0\n\n";
    const struct {
        const char* what;
        std::string listing;  // ifconfig's output
        int status;
        int carrier;
    } cases[] = {
        {"eth1 up", "eth0" + flags + detail + "eth1" + flags + detail, 0, 1},
        {"eth1 up, old format", "eth0 " + encap + "\neth1 " + encap + "\n", 0, 1},
        {"eth1 alone, last line", "eth1" + flags, 0, 1},
        {"a container's veth and eth10 up, eth1 down",
         "eth0" + flags + detail + "eth10" + flags + detail + "veth1c2d3e4" + flags + detail,
         ERR_LINK_DOWN, 0},
        {"the same, old format", "eth10" + encap + "\nveth1c2d3e4 " + encap + "\n", ERR_LINK_DOWN,
         0},
        {"eth1 named inside other lines", "br0" + flags + "        bridge port eth1 \n",
         ERR_LINK_DOWN, 0},
        {"nothing up", "", ERR_LINK_DOWN, 0},
    };
    for (const auto& c : cases) {
        tools_.add("ifconfig", "printf '%s' '" + c.listing + "'");
        int carrier = 42;
        EXPECT_EQ(get_eth_link(1, &carrier), c.status) << c.what;
        EXPECT_EQ(carrier, c.carrier) << c.what;
    }
}

// A host that ignores SIGCHLD loses its children's statuses: the link test
// cannot be waited for, which says nothing about the link.
TEST_F(Eth, ALinkTestThatCannotBeWaitedForIsNoLinkDown) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction saved {};
    ASSERT_EQ(::sigaction(SIGCHLD, &ignore, &saved), 0);
    run().set("eth0.up", "no");
    int results[3] = {42, 42, 42};
    const int statuses[3] = {get_eth_speed(0, &results[0]), get_eth_link(0, &results[1]),
                             get_eth_usage(0, &results[2])};
    ::sigaction(SIGCHLD, &saved, nullptr);
    for (int query = 0; query < 3; ++query) {
        EXPECT_EQ(statuses[query], ERR_PCLOSE) << "query " << query;
        EXPECT_EQ(results[query], 42) << "query " << query;
    }
    int carrier = 42;
    EXPECT_EQ(get_eth_link(0, &carrier), ERR_LINK_DOWN) << "with SIGCHLD back, eth0 reads down";
    EXPECT_EQ(carrier, 0);
}

// Values of the board's state, and file texts that it never writes (both
// null: no file).
TEST_F(Eth, SpeedAndCarrierFiles) {
    const struct {
        const char* key;  // of eth0
        const char* value;
        const char* file_text;
        Query query;
        int status;
        int result;
    } cases[] = {
        {"speed", "1000", nullptr, get_eth_speed, 0, 1000},
        {"speed", nullptr, "100.7\n", get_eth_speed, 0, 100},
        {"speed", "-1", nullptr, get_eth_speed, ERR_CMD_EXIT, 42},  // unknown, as virtual ones say
        {"speed", "0", nullptr, get_eth_speed, ERR_CMD_EXIT, 42},
        {"speed", nullptr, "\n", get_eth_speed, ERR_CMD_EXIT, 42},
        {"speed", nullptr, nullptr, get_eth_speed, ERR_CMD_EXIT, 42},
        {"carrier", "1", nullptr, get_eth_link, 0, 1},
        {"carrier", "0", nullptr, get_eth_link, 0, 0},  // up, no cable
        {"carrier", nullptr, nullptr, get_eth_link, ERR_CMD_EXIT, 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : c.file_text ? c.file_text : "missing");
        run().set("eth0.carrier", "1");  // every file of eth0 written again
        const std::string file = run().path("sys/class/net/eth0/") + c.key;
        if (c.value != nullptr) run().set(std::string("eth0.") + c.key, c.value);
        if (c.value == nullptr) ::unlink(file.c_str());
        if (c.file_text != nullptr) std::ofstream(file) << c.file_text;
        int result = 42;
        EXPECT_EQ(c.query(0, &result), c.status) << c.key;
        EXPECT_EQ(result, c.result) << c.key;
    }
    EXPECT_EQ(tools_.calls()[1], "cat /sys/class/net/eth0/speed");
}

// Only with /usr/bin/ifstat: the rate in whole megabits over the speed, the
// scaled rate left when the speed cannot be read.
TEST_F(Eth, UsageIsTheRateInWholeMegabitsOverTheSpeed) {
    Overlay usr_bin("/usr/bin");
    QUORVIK_REQUIRE_OVERLAY(usr_bin);
    write_script("/usr/bin/ifstat", "exit 0");
    const struct {
        const char* rx_kbits;  // a line the board's ifstat never prints, with tx_kbits null
        const char* tx_kbits;
        const char* speed;
        int status;
        int value;
    } cases[] = {
        {"25600", "25600", "100", 0, 50},  // 51200 kbit/s = 50 Mbit/s of 100
        {"1000", "0", "1000", 0, 0},       // below one megabit
        {"10240", "0", "1000", 0, 1},
        {"2047", "0", "10", 0, 10},                // cut to 1 Mbit/s first
        {"51200", "0", "-1", ERR_CMD_EXIT, 5000},  // unknown speed: the scaled rate stays
        {"51200", "0", "0", ERR_CMD_EXIT, 5000},
        {"1e12", "0", "100", ERR_CMD_EXIT, 42},
        {"-51200 0", nullptr, "100", ERR_CMD_EXIT, 42},
        {"", nullptr, "100", 0, 0},
    };
    for (const auto& c : cases) {
        if (c.tx_kbits != nullptr) {
            run().set("eth0.rx_kbits", c.rx_kbits);
            run().set("eth0.tx_kbits", c.tx_kbits);
        } else {
            ifstat("echo '" + std::string(c.rx_kbits) + "'");
        }
        run().set("eth0.speed", c.speed);
        int value = 42;
        EXPECT_EQ(get_eth_usage(0, &value), c.status) << c.rx_kbits << " on " << c.speed;
        EXPECT_EQ(value, c.value) << c.rx_kbits << " on " << c.speed;
    }
    const std::vector<std::string> calls = tools_.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "ifstat -b -q -i eth0 0.1 1"), calls.end());

    ::unlink("/usr/bin/ifstat");  // ifstat itself is still on PATH
    tools_.clear_calls();
    int value = 42;
    EXPECT_EQ(get_eth_usage(0, &value), ERR_CMD_EXIT);
    EXPECT_EQ(value, 42);
    for (const auto& call : tools_.calls()) EXPECT_NE(call.rfind("ifstat", 0), 0u) << call;

    // Taken down during the measurement: no speed for an interface that is down.
    write_script("/usr/bin/ifstat", "exit 0");
    ifstat(run().set_command("eth0.up", "no") + "; echo '51200 0'");
    value = 42;
    EXPECT_EQ(get_eth_usage(0, &value), ERR_LINK_DOWN);
    EXPECT_EQ(value, 5000) << "the measured rate stays, as for any failed final speed query";
    // Still up but without a speed: the speed query's own status.
    run().set("eth0.up", "yes");
    ifstat(run().set_command("eth0.speed", "-1") + "; echo '51200 0'");
    value = 42;
    EXPECT_EQ(get_eth_usage(0, &value), ERR_CMD_EXIT);
    EXPECT_EQ(value, 5000);
}

// ---- the interfaces of this machine, with the real tools ----

std::string read_line(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

using EthOnThisMachine = BoardApiTest;

TEST_F(EthOnThisMachine, PortQueriesAgreeWithTheKernel) {
    if (std::system("command -v ifconfig > /dev/null") != 0) GTEST_SKIP() << "no ifconfig";
    run().use_machine_ports();
    board("AB-1234", "TotalLanPort = 4\n");
    const bool ifstat_installed = ::access("/usr/bin/ifstat", X_OK) == 0;
    for (int index = 0; index < 4; ++index) {
        // veth<n>..., eth<n>0 and the like on this machine are other interfaces.
        const std::string name = "eth" + std::to_string(index);
        const std::string dir = "/sys/class/net/" + name;
        SCOPED_TRACE(name);
        const bool up = std::filesystem::exists(dir) &&
                        (std::stoul(read_line(dir + "/flags"), nullptr, 16) & IFF_UP) != 0;
        int link = 42, speed = 42, usage = 42;
        const int link_status = get_eth_link(index, &link);
        const int speed_status = get_eth_speed(index, &speed);
        if (!up) {
            EXPECT_EQ(link_status, ERR_LINK_DOWN);
            EXPECT_EQ(link, 0);
            EXPECT_EQ(speed_status, ERR_LINK_DOWN);
            EXPECT_EQ(get_eth_usage(index, &usage), ERR_LINK_DOWN);
            EXPECT_EQ(usage, 0);
            continue;
        }
        EXPECT_EQ(link_status, 0);
        EXPECT_EQ(link, std::stoi(read_line(dir + "/carrier")));
        const int kernel_speed = std::stoi(read_line(dir + "/speed"));
        EXPECT_EQ(speed_status, kernel_speed > 0 ? 0 : ERR_CMD_EXIT) << "speed " << kernel_speed;
        EXPECT_EQ(speed, kernel_speed > 0 ? kernel_speed : 42);
        const int usage_status = get_eth_usage(index, &usage);
        if (!ifstat_installed) {
            EXPECT_EQ(usage_status, ERR_CMD_EXIT);
            EXPECT_EQ(usage, 42);
        } else if (kernel_speed > 0) {
            EXPECT_EQ(usage_status, 0);
            EXPECT_GE(usage, 0);
        }
    }
}

}  // namespace
}  // namespace quorvik::sim
