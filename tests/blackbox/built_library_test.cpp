// The built libquorvik.so as a host loads it, on the simulated hardware
// library, with its real fixed paths: the system profile, /dev/dio, the
// KT-500R's /dev/relay and /usr/bin/ifstat, all inside a private mount
// namespace. Each scenario loads the libraries in a child process of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_tools.h"
#include "fixed_paths.h"
#include "private_mounts.h"
#include "process.h"
#include "quorvik.h"
#include "sim_control.h"

namespace quorvik::blackbox {
namespace {

// Loads the simulated libQuorvikSO (identifying as model) and libquorvik.so
// as a host does; exits the child on failure.
void* load_libraries(const char* model) {
    void* so = dlopen(LIBQUORVIKSO_SIM_PATH, RTLD_NOW | RTLD_GLOBAL);
    if (so == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        std::exit(3);
    }
    auto board = reinterpret_cast<quorvik_sim_board_fn>(dlsym(so, QUORVIK_SIM_BOARD_SYMBOL));
    if (board == nullptr) std::exit(3);
    board(model, "R1.00", "SN1");
    void* api = dlopen(LIBQUORVIK_PATH, RTLD_NOW | RTLD_LOCAL);
    if (api == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        std::exit(3);
    }
    return api;
}

template <typename Function>
Function* function(void* api, const char* name) {
    void* found = dlsym(api, name);
    if (found == nullptr) std::exit(4);
    return reinterpret_cast<Function*>(found);
}

// In the child: reports a mismatch on standard error and fails the scenario.
void expect_equal(long actual, long expected, const char* what) {
    if (actual == expected) return;
    std::fprintf(stderr, "%s: %ld, expected %ld\n", what, actual, expected);
    std::exit(1);
}

std::string read_file(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(BuiltLibrary, PowerInputAndRelayAtDevDio) {
    sim::Overlay dev("/dev");
    QUORVIK_REQUIRE_OVERLAY(dev);
    sim::write_system_profile(
        "[AB-1234]\nS_Power_indicator = 1\nO_Relay = 1\nRelay_Node = /dev/dio\n"
        "TotalSerialPort = 3\n");
    ::unlink("/dev/dio");
    const auto scenario = [](int expected) {
        void* api = load_libraries("AB-1234");
        int count = 0;
        expect_equal(function<int(int*)>(api, "get_uart_count")(&count), 0, "get_uart_count");
        expect_equal(count, 3, "serial ports in the system profile");
        int state = 42;
        expect_equal(function<int(int, int*)>(api, "get_pwr_status")(0, &state), expected,
                     "get_pwr_status");
        expect_equal(state, 42, "power state after a failure");
        expect_equal(function<int(int, int)>(api, "set_relay")(0, 1), expected, "set_relay");
        std::exit(0);
    };
    EXPECT_EXIT(scenario(ERR_DEV_OPEN), testing::ExitedWithCode(0), "") << "no /dev/dio";
    // A node whose driver knows neither request: the null device.
    ASSERT_TRUE(sim::make_char_node("/dev/dio", 1, 3));
    EXPECT_EXIT(scenario(ERR_DEV_IOCTL), testing::ExitedWithCode(0), "");
}

TEST(BuiltLibrary, Kt500rRelayAtDevRelay) {
    sim::Overlay dev("/dev");
    QUORVIK_REQUIRE_OVERLAY(dev);
    sim::write_system_profile("[KT-500R]\nO_Relay = 1\n");
    EXPECT_EXIT(
        {
            void* api = load_libraries("KT-500R");
            expect_equal(function<int(int, int)>(api, "set_relay")(0, 1), 0, "set_relay");
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(read_file("/dev/relay"), "1\n");
}

TEST(BuiltLibrary, EthernetLoadNeedsUsrBinIfstat) {
    sim::Overlay usr_bin("/usr/bin");
    QUORVIK_REQUIRE_OVERLAY(usr_bin);
    sim::write_system_profile("[AB-1234]\nTotalLanPort = 1\n");
    sim::FakeTools tools;
    const std::string cat = sim::FakeTools::real("cat");
    tools.add("ifconfig", "echo 'eth0: flags=4163<UP,BROADCAST,RUNNING,MULTICAST>  mtu 1500'");
    tools.add("cat", "[ \"$1\" = /sys/class/net/eth0/speed ] && { echo 100; exit 0; }\nexec " +
                         cat + " \"$@\"");
    tools.add("ifstat", "echo '       eth0'; echo ' Kbps in  Kbps out'; echo ' 40960.0 10240.0'");
    const auto scenario = [](int status, int usage) {
        void* api = load_libraries("AB-1234");
        int value = 42;
        expect_equal(function<int(int, int*)>(api, "get_eth_usage")(0, &value), status,
                     "get_eth_usage");
        expect_equal(value, usage, "usage");
        std::exit(0);
    };
    ::unlink("/usr/bin/ifstat");
    EXPECT_EXIT(scenario(ERR_CMD_EXIT, 42), testing::ExitedWithCode(0), "");
    sim::write_script("/usr/bin/ifstat", "exit 0");
    EXPECT_EXIT(scenario(0, 50), testing::ExitedWithCode(0), "");
}

// The built library on the kernel's own open/ioctl/close, /dev/dio served by
// the preloaded driver: the node is opened read-write (the driver refuses
// requests on any other descriptor), request 17's answer reaches the caller,
// and the node never takes a standard descriptor a daemon left closed, so
// the diagnostics its other threads print never reach the driver.
TEST(BuiltLibrary, DigitalIoThroughTheKernelCalls) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    sim::write_system_profile(
        "[AB-1234]\nS_Power_indicator = 1\nO_Relay = 1\nRelay_Node = /dev/dio\n");
    const struct {
        std::vector<int> closed;
        bool chatter;
    } cases[] = {{{}, false}, {{1}, true}, {{0, 1, 2}, true}, {{2}, true}};
    for (const auto& c : cases) {
        std::string shown = "closed";
        for (const int fd : c.closed) shown += " " + std::to_string(fd);
        std::vector<std::string> files;
        // The host's report, the request log, the descriptor log, the node.
        for (int n = 0; n < 4; ++n) {
            char name[] = "/tmp/quorvik-host-XXXXXX";
            ::close(::mkstemp(name));
            files.push_back(name);
        }
        std::vector<std::string> args{files[0], "AB-1234"};
        if (c.chatter) args.push_back("--chatter");
        for (const char* call : {"pwr:0", "pwr:1", "relay:0:1", "relay:0:0"}) args.push_back(call);
        const Outcome outcome =
            run(DIO_HOST_PATH, args,
                {std::string("LD_PRELOAD=") + DIO_PRELOAD_PATH, "QUORVIK_SIM_DIO_LOG=" + files[1],
                 "QUORVIK_SIM_DIO_FD_LOG=" + files[2], "QUORVIK_SIM_DIO_NODE=" + files[3],
                 "QUORVIK_SIM_DIO_POWER=7,3",
                 // The preloaded driver is not instrumented.
                 "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"},
                c.closed);
        EXPECT_EQ(outcome.exit_status, 0) << shown << ": " << outcome.err;
        EXPECT_EQ(read_file(files[0]), "pwr:0 0 7\npwr:1 0 3\nrelay:0:1 0 1\nrelay:0:0 0 0\n")
            << shown << ": the driver's states are passed on unchanged";

        std::istringstream log(read_file(files[1]));
        std::vector<std::string> requests;
        for (std::string line; std::getline(log, line);) {
            if (requests.empty() || requests.back() != line) requests.push_back(line);
        }
        const std::vector<std::string> expected{"17 0 0", "17 1 0", "15 0 1", "15 0 0"};
        EXPECT_EQ(requests, expected) << shown;
        std::istringstream fds(read_file(files[2]));
        int requests_seen = 0;
        int on_standard_descriptors = 0;
        for (std::string line; std::getline(fds, line); ++requests_seen) {
            on_standard_descriptors += std::stoi(line) <= 2 ? 1 : 0;
        }
        EXPECT_EQ(requests_seen, c.chatter ? 800 : 4) << shown;
        EXPECT_EQ(on_standard_descriptors, 0) << shown << ": requests on descriptors 0 to 2";
        const std::string written = read_file(files[3]);
        EXPECT_EQ(written.size(), 0u) << shown << ": only requests reach the driver, not \""
                                      << written.substr(0, 40) << "...\"";
        for (const auto& file : files) ::unlink(file.c_str());
    }
}

}  // namespace
}  // namespace quorvik::blackbox
