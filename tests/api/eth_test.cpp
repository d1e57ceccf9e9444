// Ethernet ports: the count, the link-up test, speed, carrier and load, with
// ifconfig, cat and ifstat of our own (and /usr/bin/ifstat in a private
// /usr/bin), then with the real tools and interfaces of this machine.
#include <gtest/gtest.h>
#include <net/if.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
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

// Interfaces as our tools show them: which are up (listed by ifconfig), the
// contents of their speed and carrier files, and the rate ifstat measures.
class Eth : public BoardApiTest {
  protected:
    void SetUp() override {
        BoardApiTest::SetUp();
        if (IsSkipped()) return;
        board("AB-1234", "TotalLanPort = 2\n");
        const std::string dir = tools_.dir();
        const std::string cat = FakeTools::real("cat");
        tools_.add("ifconfig", "exec " + cat + " " + dir + "/up");
        tools_.add("cat", "case \"$1\" in /sys/class/net/*) exec " + cat + " " + dir +
                              "/sys/\"${1#/sys/class/net/}\" ;; esac\nexec " + cat + " \"$@\"");
        tools_.add("ifstat", "echo '       eth0'; echo ' Kbps in  Kbps out'; exec " + cat + " " +
                                 dir + "/rate");
        std::filesystem::create_directories(dir + "/sys/eth0");
        std::filesystem::create_directories(dir + "/sys/eth1");
        up({"eth0"});
        interface_file("eth0/speed", "100\n");
        interface_file("eth0/carrier", "1\n");
        rate("    25600.00      25600.00\n");
    }

    void up(const std::vector<std::string>& names) {
        std::ofstream list(tools_.dir() + "/up");
        for (const auto& name : names) {
            list << name << ": flags=4163<UP,BROADCAST,RUNNING,MULTICAST>  mtu 1500\n"
                 << "        ether 02:00:00:00:00:01  txqueuelen 1000  (Ethernet)\n\n";
        }
    }
    void interface_file(const std::string& name, const std::string& text) {
        std::ofstream(tools_.dir() + "/sys/" + name) << text;
    }
    void rate(const std::string& line) { std::ofstream(tools_.dir() + "/rate") << line; }

    FakeTools tools_;
};

using Query = int (*)(int, int*);

TEST_F(Eth, CountComesFromTheProfile) {
    int count = -5;
    EXPECT_EQ(get_eth_count(&count), 0);
    EXPECT_EQ(count, 2);
    board("AB-1234", "TotalSerialPort = 2\n");
    EXPECT_EQ(get_eth_count(&count), ERR_PROFILE_VALUE);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(get_eth_count(nullptr), ERR_RANGE);
}

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

TEST_F(Eth, OnlyAnInterfaceOfExactlyThatNameIsUp) {
    interface_file("eth1/carrier", "1\n");
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
        std::ofstream(tools_.dir() + "/up", std::ios::trunc) << c.listing;
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
    up({});
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

TEST_F(Eth, SpeedAndCarrierFiles) {
    const struct {
        const char* file;
        const char* text;  // nullptr: the file is missing
        Query query;
        int status;
        int value;
    } cases[] = {
        {"eth0/speed", "1000\n", get_eth_speed, 0, 1000},
        {"eth0/speed", "100.7\n", get_eth_speed, 0, 100},
        {"eth0/speed", "-1\n", get_eth_speed, ERR_CMD_EXIT, 42},  // unknown, as virtual ones say
        {"eth0/speed", "0\n", get_eth_speed, ERR_CMD_EXIT, 42},
        {"eth0/speed", "\n", get_eth_speed, ERR_CMD_EXIT, 42},
        {"eth0/speed", nullptr, get_eth_speed, ERR_CMD_EXIT, 42},
        {"eth0/carrier", "1\n", get_eth_link, 0, 1},
        {"eth0/carrier", "0\n", get_eth_link, 0, 0},  // up, no cable
        {"eth0/carrier", nullptr, get_eth_link, ERR_CMD_EXIT, 42},
    };
    for (const auto& c : cases) {
        const std::string path = tools_.dir() + "/sys/" + c.file;
        ::unlink(path.c_str());
        if (c.text != nullptr) interface_file(c.file, c.text);
        int value = 42;
        EXPECT_EQ(c.query(0, &value), c.status) << c.file << " " << (c.text ? c.text : "missing");
        EXPECT_EQ(value, c.value) << c.file << " " << (c.text ? c.text : "missing");
    }
    const std::vector<std::string> calls = tools_.calls();
    EXPECT_EQ(calls[1], "cat /sys/class/net/eth0/speed");
}

TEST_F(Eth, UsageIsTheRateInWholeMegabitsOverTheSpeed) {
    Overlay usr_bin("/usr/bin");
    QUORVIK_REQUIRE_OVERLAY(usr_bin);
    write_script("/usr/bin/ifstat", "exit 0");
    const struct {
        const char* rate;
        const char* speed;
        int status;
        int value;
    } cases[] = {
        {"25600.00 25600.00\n", "100\n", 0, 50},  // 51200 kbit/s = 50 Mbit/s of 100
        {"1000.00 0.00\n", "1000\n", 0, 0},       // below one megabit
        {"10240 0\n", "1000\n", 0, 1},
        {"2047 0\n", "10\n", 0, 10},                // cut to 1 Mbit/s first
        {"51200 0\n", "-1\n", ERR_CMD_EXIT, 5000},  // unknown speed: the scaled rate stays
        {"51200 0\n", "0\n", ERR_CMD_EXIT, 5000},
        {"-51200 0\n", "100\n", ERR_CMD_EXIT, 42},
        {"1e12 0\n", "100\n", ERR_CMD_EXIT, 42},
        {"\n", "100\n", 0, 0},
    };
    for (const auto& c : cases) {
        rate(c.rate);
        interface_file("eth0/speed", c.speed);
        int value = 42;
        EXPECT_EQ(get_eth_usage(0, &value), c.status) << c.rate << " on " << c.speed;
        EXPECT_EQ(value, c.value) << c.rate << " on " << c.speed;
    }
    bool measured = false;
    for (const auto& call : tools_.calls()) measured |= call == "ifstat -b -q -i eth0 0.1 1";
    EXPECT_TRUE(measured);
}

TEST_F(Eth, UsageNeedsUsrBinIfstat) {
    Overlay usr_bin("/usr/bin");
    QUORVIK_REQUIRE_OVERLAY(usr_bin);
    ::unlink("/usr/bin/ifstat");
    int value = 42;
    EXPECT_EQ(get_eth_usage(0, &value), ERR_CMD_EXIT);
    EXPECT_EQ(value, 42);
    for (const auto& call : tools_.calls()) EXPECT_NE(call.rfind("ifstat", 0), 0u) << call;
}

TEST_F(Eth, LinkTakenDownDuringTheMeasurement) {
    Overlay usr_bin("/usr/bin");
    QUORVIK_REQUIRE_OVERLAY(usr_bin);
    write_script("/usr/bin/ifstat", "exit 0");
    const std::string dir = tools_.dir();
    // The kernel refuses the speed of an interface that is down: no file here.
    const std::string take_down = ": > " + dir + "/up; rm -f " + dir + "/sys/eth0/speed; ";
    const std::string measure = "echo '       eth0'; echo ' Kbps in  Kbps out'; echo '51200 0'";
    tools_.add("ifstat", take_down + measure);
    int value = 42;
    EXPECT_EQ(get_eth_usage(0, &value), ERR_LINK_DOWN);
    EXPECT_EQ(value, 5000) << "the measured rate stays, as for any failed final speed query";

    // Still up but without a speed: the speed query's own status.
    up({"eth0"});
    tools_.add("ifstat", "rm -f " + dir + "/sys/eth0/speed; " + measure);
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

TEST(EthOnThisMachine, PortQueriesAgreeWithTheKernel) {
    if (std::system("command -v ifconfig > /dev/null") != 0) GTEST_SKIP() << "no ifconfig";
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    Board::get().reset();
    std::memset(Model_str, 0, sizeof Model_str);
    PlatformInfo_Flag = 0;
    install(insyde_board("AB-1234", "R1.00", "SN1"));
    write_system_profile("[AB-1234]\nTotalLanPort = 4\n");

    const bool ifstat_installed = ::access("/usr/bin/ifstat", X_OK) == 0;
    int checked = 0;
    for (int index = 0; index < 4; ++index) {
        // veth<n>..., eth<n>0 and the like on this machine are other interfaces.
        const std::string name = "eth" + std::to_string(index);
        const std::string dir = "/sys/class/net/" + name;
        const bool up = std::filesystem::exists(dir) &&
                        (std::stoul(read_line(dir + "/flags"), nullptr, 16) & IFF_UP) != 0;
        int link = 42;
        int speed = 42;
        int usage = 42;
        const int link_status = get_eth_link(index, &link);
        const int speed_status = get_eth_speed(index, &speed);
        if (!up) {
            EXPECT_EQ(link_status, ERR_LINK_DOWN) << name;
            EXPECT_EQ(link, 0) << name;
            EXPECT_EQ(speed_status, ERR_LINK_DOWN) << name;
            EXPECT_EQ(get_eth_usage(index, &usage), ERR_LINK_DOWN) << name;
            EXPECT_EQ(usage, 0) << name;
            ++checked;
            continue;
        }
        EXPECT_EQ(link_status, 0) << name;
        EXPECT_EQ(link, std::stoi(read_line(dir + "/carrier"))) << name;
        const int kernel_speed = std::stoi(read_line(dir + "/speed"));
        if (kernel_speed > 0) {
            EXPECT_EQ(speed_status, 0) << name;
            EXPECT_EQ(speed, kernel_speed) << name;
        } else {
            EXPECT_EQ(speed_status, ERR_CMD_EXIT) << name << " reports speed " << kernel_speed;
            EXPECT_EQ(speed, 42) << name;
        }
        const int usage_status = get_eth_usage(index, &usage);
        if (!ifstat_installed) {
            EXPECT_EQ(usage_status, ERR_CMD_EXIT) << name;
            EXPECT_EQ(usage, 42) << name;
        } else if (kernel_speed > 0) {
            EXPECT_EQ(usage_status, 0) << name;
            EXPECT_GE(usage, 0) << name;
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace quorvik::sim
