// The stand-in tools that a run puts first in the shell's PATH (STATE/bin):
// ifconfig, ifstat, lsof and df print the board's state in the real tools'
// formats, so that the production pipelines (grep, awk, tail) parse them as
// they parse the real ones. The state directory comes from the environment.
#include "standins.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "state.h"

namespace quorvik::simtool {
namespace {

std::string value(const Item& item, const char* key) {
    auto found = item.find(key);
    return found != item.end() ? found->second : std::string();
}

double number(const Item& item, const char* key) {
    std::istringstream in(value(item, key));
    in.imbue(std::locale::classic());
    double v = 0;
    in >> v;
    return in.fail() ? 0.0 : v;
}

// The real tool of that name, from PATH past the run's own bin directory.
[[noreturn]] void exec_real(const std::string& dir, const std::string& tool, char** argv) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/sbin:/usr/bin:/sbin:/bin");
    std::string entry;
    while (std::getline(dirs, entry, ':')) {
        if (entry.empty() || entry == dir + "/bin") continue;
        const std::string candidate = entry + "/" + tool;
        if (::access(candidate.c_str(), X_OK) == 0) {
            argv[0] = const_cast<char*>(candidate.c_str());
            ::execv(candidate.c_str(), argv);
        }
    }
    std::fprintf(stderr, "%s: not found\n", tool.c_str());
    std::exit(127);
}

// ---- ifconfig (net-tools format) ----

void print_interface(const std::string& name, const Item& item) {
    const bool carrier = value(item, "carrier") == "1";
    std::printf("%s: flags=%s  mtu 1500\n", name.c_str(),
                carrier ? "4163<UP,BROADCAST,RUNNING,MULTICAST>" : "4099<UP,BROADCAST,MULTICAST>");
    if (!value(item, "address").empty()) {
        std::printf("        inet %s  netmask 255.255.255.0\n", value(item, "address").c_str());
    }
    const std::string mac = value(item, "mac").empty() ? "00:00:00:00:00:00" : value(item, "mac");
    std::printf("        ether %s  txqueuelen 1000  (Ethernet)\n", mac.c_str());
    std::printf("        RX packets 0  bytes 0 (0.0 B)\n");
    std::printf("        RX errors 0  dropped 0  overruns 0  frame 0\n");
    std::printf("        TX packets 0  bytes 0 (0.0 B)\n");
    std::printf("        TX errors 0  dropped 0 overruns 0  carrier 0  collisions 0\n\n");
}

int ifconfig(const std::string& dir, int argc, char** argv) {
    bool all = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-a") == 0) {
            all = true;
        } else if (only.empty()) {
            only = argv[i];
        } else {
            // Configuring an interface is not for a simulated board.
            std::fprintf(stderr, "SIOCSIFFLAGS: Operation not permitted\n");
            return 1;
        }
    }
    bool shown = false;
    for (const std::string& name : item_names(dir, "eth")) {
        const auto item = read_item(dir, name);
        if (!item || (!only.empty() && name != only)) continue;
        if (value(*item, "up") != "yes" && !all && only.empty()) continue;
        print_interface(name, *item);
        shown = true;
    }
    if (only.empty() || only == "lo") {
        std::printf(
            "lo: flags=73<UP,LOOPBACK,RUNNING>  mtu 65536\n"
            "        inet 127.0.0.1  netmask 255.0.0.0\n"
            "        loop  txqueuelen 1000  (Local Loopback)\n"
            "        RX packets 0  bytes 0 (0.0 B)\n"
            "        RX errors 0  dropped 0  overruns 0  frame 0\n"
            "        TX packets 0  bytes 0 (0.0 B)\n"
            "        TX errors 0  dropped 0 overruns 0  carrier 0  collisions 0\n\n");
        shown = true;
    }
    if (!shown) {
        std::fprintf(stderr, "%s: error fetching interface information: Device not found\n",
                     only.c_str());
        return 1;
    }
    return 0;
}

// ---- ifstat ----

int ifstat(const std::string& dir, int argc, char** argv) {
    bool bits = false;
    std::vector<std::string> names;
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-b") {
            bits = true;
        } else if (arg == "-i" && i + 1 < argc) {
            std::istringstream list(argv[++i]);
            std::string name;
            while (std::getline(list, name, ',')) names.push_back(name);
        } else if (!arg.empty() && arg[0] == '-') {
            // -q, -n, -t...: nothing that changes the numbers.
        } else {
            operands.push_back(arg);
        }
    }
    double delay = 1.0;
    long count = -1;
    if (!operands.empty()) delay = std::atof(operands[0].c_str());
    if (operands.size() > 1) count = std::atol(operands[1].c_str());
    if (names.empty()) names = item_names(dir, "eth");
    std::string head, units;
    for (const std::string& name : names) {
        if (!read_item(dir, name)) {
            std::fprintf(stderr, "ifstat: no such interface: %s\n", name.c_str());
            return 1;
        }
        // ifstat centres each name over its two 9-wide columns.
        const int width = 19;
        const int left = std::max(1, (width - static_cast<int>(name.size())) / 2);
        char column[96];
        std::snprintf(column, sizeof column, "%*s%-*s", left, "", width - left, name.c_str());
        head += column;
        units += bits ? " Kbps in  Kbps out" : "  KB/s in  KB/s out";
    }
    std::printf("%s\n%s\n", head.c_str(), units.c_str());
    std::fflush(stdout);
    for (long n = 0; count < 0 || n < count; ++n) {
        std::this_thread::sleep_for(std::chrono::duration<double>(delay > 0 ? delay : 0));
        std::string line;
        for (const std::string& name : names) {
            const auto item = read_item(dir, name);
            const bool up = item && value(*item, "up") == "yes" && value(*item, "carrier") == "1";
            const double scale = bits ? 1.0 : 1.0 / 8.0;
            char cells[64];
            std::snprintf(cells, sizeof cells, "%9.2f %9.2f",
                          up ? number(*item, "rx_kbits") * scale : 0.0,
                          up ? number(*item, "tx_kbits") * scale : 0.0);
            line += cells;
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    return 0;
}

// ---- lsof ----

int lsof(const std::string& dir, int argc, char** argv) {
    const std::string nodes = dir + "/dev/";
    std::vector<std::string> ports;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!arg.empty() && arg[0] == '-') continue;  // -b, -w: no kernel calls to avoid here
        if (arg.rfind(nodes, 0) != 0) exec_real(dir, "lsof", argv);
        ports.push_back(arg.substr(nodes.size()));
    }
    bool any = false;
    for (const std::string& port : ports) {
        const auto item = read_item(dir, port);
        if (!item) {
            std::fprintf(stderr, "lsof: status error on /dev/%s: No such file or directory\n",
                         port.c_str());
            continue;
        }
        std::istringstream holder(value(*item, "held_by"));
        std::string command, pid, user;
        if (!(holder >> command >> pid >> user)) continue;
        if (!any) std::printf("COMMAND   PID USER   FD   TYPE DEVICE SIZE/OFF NODE NAME\n");
        std::printf("%-9.9s %5s %-6s  0u   CHR   4,64      0t0   88 /dev/%s\n", command.c_str(),
                    pid.c_str(), user.c_str(), port.c_str());
        any = true;
    }
    return any ? 0 : 1;
}

// ---- df ----

struct DfRow {
    std::string device, mount;
    long size_mb, used_mb;
};

int df(const std::string& dir, int argc, char** argv) {
    bool posix = false;
    bool mebibytes = false;
    std::vector<std::string> operands;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            operands.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "-P" || arg == "--portability") {
            posix = true;
        } else if (arg == "-BM" || arg == "--block-size=M" || arg == "-m") {
            mebibytes = true;
        } else if (arg == "-B" && i + 1 < argc) {
            mebibytes = std::string(argv[++i]) == "M";
        } else if (arg == "-k") {
            mebibytes = false;
        } else if (arg.rfind("-P", 0) == 0 && arg.find("BM") != std::string::npos) {
            posix = mebibytes = true;
        }
    }
    std::vector<DfRow> rows;
    for (const std::string& name : item_names(dir, "disk")) {
        const auto item = read_item(dir, name);
        if (!item) continue;
        rows.push_back({value(*item, "device"), value(*item, "mount"),
                        std::atol(value(*item, "size_mb").c_str()),
                        std::atol(value(*item, "used_mb").c_str())});
    }
    std::vector<const DfRow*> shown;
    int status = 0;
    if (operands.empty()) {
        for (const DfRow& row : rows) shown.push_back(&row);
    } else {
        for (const std::string& operand : operands) {
            // A device, a mount point, or a path under the longest mount point.
            const DfRow* found = nullptr;
            for (const DfRow& row : rows) {
                if (operand == row.device || operand == row.mount) {
                    found = &row;
                    break;
                }
                const bool under =
                    row.mount == "/" ? operand[0] == '/' : operand.rfind(row.mount + "/", 0) == 0;
                if (under && (found == nullptr || row.mount.size() > found->mount.size()))
                    found = &row;
            }
            if (found == nullptr) {
                std::fprintf(stderr, "df: %s: No such file or directory\n", operand.c_str());
                status = 1;
            } else {
                shown.push_back(found);
            }
        }
    }
    if (shown.empty()) return status != 0 ? status : 1;
    std::printf("%-15s %s %6s %9s %s Mounted on\n", "Filesystem",
                mebibytes ? "1048576-blocks" : "1K-blocks", "Used", "Available",
                posix ? "Capacity" : "Use%");
    for (const DfRow* row : shown) {
        const long available = row->size_mb - row->used_mb;
        const long percent =
            row->size_mb > 0
                ? static_cast<long>(std::ceil(100.0 * row->used_mb / (row->used_mb + available)))
                : 0;
        char size[32], used[32], avail[32];
        if (mebibytes) {
            std::snprintf(size, sizeof size, "%ldM", row->size_mb);
            std::snprintf(used, sizeof used, "%ldM", row->used_mb);
            std::snprintf(avail, sizeof avail, "%ldM", available);
        } else {
            std::snprintf(size, sizeof size, "%ld", row->size_mb * 1024);
            std::snprintf(used, sizeof used, "%ld", row->used_mb * 1024);
            std::snprintf(avail, sizeof avail, "%ld", available * 1024);
        }
        std::printf("%-15s %*s %6s %9s %7ld%% %s\n", row->device.c_str(), mebibytes ? 14 : 9, size,
                    used, avail, percent, row->mount.c_str());
    }
    return status;
}

}  // namespace

std::optional<int> run_standin(const std::string& tool, int argc, char** argv) {
    const char* dir = std::getenv(QSIM_ENV_STATE);
    if (tool != "ifconfig" && tool != "ifstat" && tool != "lsof" && tool != "df")
        return std::nullopt;
    if (dir == nullptr) {
        std::fprintf(stderr, "%s (quorvik-sim stand-in): no run (" QSIM_ENV_STATE " is not set)\n",
                     tool.c_str());
        return 127;
    }
    if (tool == "ifconfig") return ifconfig(dir, argc, argv);
    if (tool == "ifstat") return ifstat(dir, argc, argv);
    if (tool == "lsof") return lsof(dir, argc, argv);
    return df(dir, argc, argv);
}

}  // namespace quorvik::simtool
