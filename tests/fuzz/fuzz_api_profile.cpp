// The monitoring API over arbitrary device profiles, end to end: the board
// identifies as the input's first line, the rest is the system profile, and
// every query that the profile drives runs against it (serial ports, LAN
// count, power inputs, relay, voltage and temperature roles). Each answer
// must be one of the query's statuses, with its output written only as the
// query promises, and nothing left open or permitted. Needs root for the
// private /etc/quorvik and /dev; without them every input is skipped.
#include <dirent.h>
#include <iniparser.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "QuorvikSO.h"
#include "bios_builder.h"
#include "fake_tools.h"
#include "fixed_paths.h"
#include "private_mounts.h"
#include "quorvik.h"
#include "sim_board.h"
#include "sim_run.h"
#include "superio_chip.h"

namespace {

using namespace quorvik::sim;

constexpr int kUntouched = 0x5A5A5A5A;
constexpr std::size_t kModelLength = 40;

bool ready = false;

int quiet(const char*, ...) {
    return 0;
}

int open_descriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return count;
}

bool one_of(int status, std::initializer_list<int> allowed) {
    for (const int a : allowed) {
        if (status == a) return true;
    }
    return false;
}

void expect(bool condition) {
    if (!condition) __builtin_trap();
}

// The profile statuses every model lookup may give.
#define PROFILE_STATUSES ERR_DEVICE_NAME, ERR_PROFILE_LOAD, ERR_PROFILE_VALUE

void query_counts() {
    for (auto query : {get_uart_count, get_eth_count}) {
        int count = kUntouched;
        const int status = query(&count);
        expect(one_of(status, {0, PROFILE_STATUSES}));
        // ERR_PROFILE_VALUE leaves a missing or negative count in place, and
        // the caller's value alone when the number does not fit an int.
        if (status == 0) expect(count >= 0);
        if (status == ERR_PROFILE_VALUE) expect(count < 0 || count == kUntouched);
        if (status == ERR_DEVICE_NAME || status == ERR_PROFILE_LOAD) expect(count == kUntouched);
    }
}

void query_serial_ports() {
    for (int index : {0, 1, 127}) {
        int in_use = kUntouched;
        const int status = get_uart_status(index, &in_use);
        expect(
            one_of(status, {0, ERR_RANGE, PROFILE_STATUSES, ERR_CMD_EXIT, ERR_POPEN, ERR_PCLOSE}));
        expect(status == 0 ? (in_use == 0 || in_use == 1) : in_use == kUntouched);
    }
}

void query_power_and_relay() {
    for (int index : {0, 1}) {
        int state = kUntouched;
        const int status = get_pwr_status(index, &state);
        expect(one_of(status, {0, PROFILE_STATUSES, ERR_NO_POWER_INDICATOR, ERR_DEV_OPEN,
                               ERR_DEV_IOCTL, ERR_DEV_CLOSE}));
        if (status != 0 && status != ERR_DEV_CLOSE) expect(state == kUntouched);
    }
    for (int index : {0, 3}) {
        const int status = set_relay(index, index & 1);
        expect(one_of(status, {0, PROFILE_STATUSES, ERR_NO_RELAY, ERR_RANGE, ERR_DEV_OPEN,
                               ERR_DEV_IOCTL, ERR_DEV_CLOSE, ERR_POPEN, ERR_PCLOSE, ERR_CMD_EXIT}));
    }
}

void query_roles() {
    for (auto query : {get_milli_volt, get_temperature}) {
        for (int index : {-1, 0, 1, 2, 3}) {
            int value = kUntouched;
            const int status = query(index, &value);
            expect(one_of(status, {0, ERR_RANGE, PROFILE_STATUSES, ERR_SENSOR}));
            if (status != 0) expect(value == kUntouched);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!enter_private_mounts()) {
        std::fprintf(stderr, "fuzz_api_profile: skipping every input: %s\n",
                     private_mounts_failure().c_str());
        return 0;
    }
    // The KT-500R's relay is written by the shell to /dev/relay: a private /dev.
    static Overlay dev("/dev");
    if (!dev.mounted()) {
        std::fprintf(stderr, "fuzz_api_profile: skipping every input: %s\n", dev.failure().c_str());
        return 0;
    }
    // ls finds every serial node; lsof finds no holder. Both answer at once.
    static FakeTools tools;
    write_script(tools.dir() + "/ls", "exit 0");
    write_script(tools.dir() + "/lsof", "exit 1");
    // Syntax errors are most of what the fuzzer writes; reporting each is slow.
    iniparser_set_error_callback(quiet);
    ready = true;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!ready) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t line_end = input.find('\n');
    std::string model(input.substr(0, std::min(line_end, kModelLength)));
    model = model.substr(0, model.find('\0'));
    const std::string_view profile =
        line_end == std::string_view::npos ? std::string_view() : input.substr(line_end + 1);

    SimRun& run = SimRun::get();
    run.reset();
    Board& board = Board::get();
    board.reset();
    std::memset(Model_str, 0, sizeof Model_str);
    std::memset(BIOS_Ver_str, 0, sizeof BIOS_Ver_str);
    std::memset(SerialNumber_str, 0, sizeof SerialNumber_str);
    PlatformInfo_Flag = 0;
    install(insyde_board(model, "R1.00", "SN1"));
    SuperIoChip chip(0x295, 0x296, true);
    chip.attach_to(board);
    chip.set(0, 0x20, 142);
    chip.set(0, 0x27, 45);
    board.msr[0x1A2] = 0x00640000;
    board.msr[0x19C] = 0x001E0000;
    run.add_driver({"/dev/relay1"});
    write_system_profile(profile);

    const int descriptors = open_descriptors();
    query_counts();
    query_serial_ports();
    query_power_and_relay();
    query_roles();
    expect(open_descriptors() == descriptors);
    expect(run.open_nodes() == 0);
    expect(board.permitted.none() && board.permission_violations == 0);
    expect(board.open_files() == 0 && board.live_mappings() == 0);
    board.reset();
    return 0;
}
