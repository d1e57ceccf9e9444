// Ethernet ports: count from the profile; link, speed and load of port n,
// the interface eth<n>, from ifconfig, /sys/class/net and ifstat.
#include <climits>

#include "frame.h"
#include "numbers.h"
#include "quorvik.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/text.h"

namespace quorvik {

// 0 when ifconfig (which lists only the interfaces that are up) names
// eth<index>, 1 when it does not, or the status of a command that could not
// be started or waited for. The name must stand alone at the start of a
// line, as both of ifconfig's formats print it ("eth1: flags=..." and
// "eth1      Link encap:..."): veth1c2d3e4, eth10 and the alias eth1:1 are
// other interfaces.
int get_eth_power_status(int index) {
    char command[kBufferSize];
    char output[kBufferSize];
    text::format_into(command, "ifconfig | grep -E '^eth%d:?([[:blank:]]|$)'", index);
    const int status = exec_cmd(command, output);
    if (status == ERR_POPEN || status == ERR_PCLOSE) return status;
    return status == 0 ? 0 : 1;
}

namespace {

// What the three port queries do first: count, range and link-up tests.
// Returns 0 to go on, or the status to return (ERR_LINK_DOWN after storing 0).
int open_port_query(int index, int* output) {
    int count = 0;
    const int status = get_eth_count(&count);
    if (status < 0) return status;
    if (index >= count) return ERR_RANGE;
    const int link = get_eth_power_status(index);
    if (link < 0) return link;
    if (link == 1) {
        *output = 0;
        return ERR_LINK_DOWN;
    }
    return 0;
}

// Runs "cat /sys/class/net/eth<index>/<file>" (command_format) and cuts the
// number it prints to an int.
int read_interface_file(const char* command_format, int index, int* value) {
    char command[kBufferSize];
    char output[kBufferSize];
    text::format_into(command, command_format, index);
    const int status = exec_cmd(command, output);
    if (status < 0) return status;
    return cut_to_int(leading_number(output), value) ? 0 : ERR_CMD_EXIT;
}

// Speed of an interface already found up: the kernel says -1 (or 0) when it
// does not know it, which is no speed to report, and nothing that
// get_eth_usage could divide by.
int read_speed(int index, int* mbits) {
    int speed = 0;
    const int status = read_interface_file("cat /sys/class/net/eth%d/speed", index, &speed);
    if (status < 0) return status;
    if (speed <= 0) return ERR_CMD_EXIT;
    *mbits = speed;
    return 0;
}

}  // namespace
}  // namespace quorvik

using namespace quorvik;

extern "C" int get_eth_count(int* count) noexcept {
    return guard::run(ERR_PROFILE_LOAD, [&]() -> int {
        if (count == nullptr) return ERR_RANGE;
        return model_lookup(schema::kLanCount, *count);
    });
}

extern "C" int get_eth_speed(int index, int* mbits) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (mbits == nullptr) return ERR_RANGE;
        const int status = open_port_query(index, mbits);
        if (status != 0) return status;
        return read_speed(index, mbits);
    });
}

extern "C" int get_eth_link(int index, int* carrier) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (carrier == nullptr) return ERR_RANGE;
        int status = open_port_query(index, carrier);
        if (status != 0) return status;
        int value = 0;
        status = read_interface_file("cat /sys/class/net/eth%d/carrier ", index, &value);
        if (status < 0) return status;
        *carrier = value;
        return 0;
    });
}

extern "C" int get_eth_usage(int index, int* percent) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (percent == nullptr) return ERR_RANGE;
        int status = open_port_query(index, percent);
        if (status != 0) return status;

        char command[kBufferSize];
        char output[kBufferSize];
        status = exec_cmd("ls /usr/bin/ifstat > /dev/null 2>&1", output);
        if (status != 0) return status;
        text::format_into(command, "ifstat -b -q -i eth%d 0.1 1 | tail -1 | awk '{ print $1+ $2}'",
                          index);
        status = exec_cmd(command, output);
        if (status < 0) return status;

        // Receive plus transmit in kbit/s, cut to whole Mbit/s. A rate that is
        // not a number, negative, or too large to scale by 100 is no measurement.
        int mbits = 0;
        const double rate = leading_number(output);
        if (!(rate >= 0.0) || !cut_to_int(rate / 1024.0, &mbits) || mbits > INT_MAX / 100) {
            return ERR_CMD_EXIT;
        }
        // Callers see this intermediate value when the speed query below fails.
        *percent = mbits * 100;

        // The count and the link were checked above: only the speed is read, and
        // the link asked about again only when that fails, since an interface
        // taken down during the measurement has no speed to read.
        int speed = 0;
        status = read_speed(index, &speed);
        if (status < 0) return get_eth_power_status(index) == 1 ? ERR_LINK_DOWN : status;
        *percent = *percent / speed;
        return 0;
    });
}
