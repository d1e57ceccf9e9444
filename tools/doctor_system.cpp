// The doctor's checks of the system around the readings: the tools the
// monitoring library runs, network file systems that can stall them, and the
// fleet's metrics timer with the file it writes.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <set>

#include "doctor_checks.h"

namespace quorvik::doctor {
namespace {

struct Tool {
    const char* name;  // looked up on PATH unless absolute
    const char* package;
    const char* without;  // what fails without it
    bool needed;          // false: one reading fails, the rest works
};

constexpr Tool kTools[] = {
    {"lsof", "lsof", "every serial port reads as free", true},
    {"ifconfig", "net-tools", "every Ethernet port reads as down", true},
    {"free", "procps", "the memory readings fail", true},
    {"awk", "mawk", "most command readings fail", true},
    {"df", "coreutils", "the disk readings fail", true},
    {"/usr/bin/ifstat", "ifstat", "the Ethernet load fails", false},
};

// File systems whose server can stop answering.
const std::set<std::string> kNetworkTypes = {
    "nfs", "nfs4",   "cifs",      "smb3",           "smbfs",       "ncpfs",
    "9p",  "ceph",   "glusterfs", "fuse.glusterfs", "fuse.sshfs",  "fuse.s3fs",
    "afs", "lustre", "davfs",     "fuse.davfs2",    "fuse.rclone", "fuse.cephfs",
};

constexpr const char* kTimer = "quorvik-metrics.timer";
constexpr const char* kService = "quorvik-metrics.service";
constexpr const char* kUnitDirectories[] = {"/etc/systemd/system", "/usr/lib/systemd/system",
                                            "/lib/systemd/system"};
constexpr const char* kDefaultTextfile = "/var/lib/prometheus/node-exporter/quorvik.prom";
// The timer writes every minute: three missed runs are a stale file.
constexpr long kStaleSeconds = 180;

bool is_executable(const std::string& path) {
    struct stat file {};
    return ::stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Where the shell finds name, as it runs the library's commands.
bool on_path(const std::string& name) {
    if (name.front() == '/') return is_executable(name);
    const char* path = std::getenv("PATH");
    const std::string list = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = list.find(':', at);
        std::string directory = list.substr(at, end == std::string::npos ? end : end - at);
        if (directory.empty()) directory = ".";
        if (is_executable(directory + "/" + name)) return true;
        if (end == std::string::npos) return false;
        at = end + 1;
    }
}

std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(" \t", at)) != std::string::npos) {
        const std::size_t end = line.find_first_of(" \t", at);
        words.push_back(line.substr(at, end == std::string::npos ? end : end - at));
        at = end;
    }
    return words;
}

// The first of the unit directories that holds unit; empty when none.
std::string unit_file(const char* unit) {
    for (const char* directory : kUnitDirectories) {
        const std::string path = std::string(directory) + "/" + unit;
        struct stat file {};
        if (::stat(path.c_str(), &file) == 0) return path;
    }
    return "";
}

// The --output FILE of the service's ExecStart line, or the packaged one.
std::string textfile_of(const std::string& service) {
    const auto text = read_small_file(service.c_str());
    if (!text) return kDefaultTextfile;
    std::size_t at = 0;
    while (at < text->size()) {
        const std::size_t end = std::min(text->find('\n', at), text->size());
        const std::string line = text->substr(at, end - at);
        at = end + 1;
        if (line.rfind("ExecStart=", 0) != 0) continue;
        const std::vector<std::string> words = words_of(line);
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (words[i].rfind("--output=", 0) == 0) return words[i].substr(9);
            if ((words[i] == "--output" || words[i] == "-o") && i + 1 < words.size()) {
                return words[i + 1];
            }
        }
    }
    return kDefaultTextfile;
}

}  // namespace

Finding check_tools(Context&) {
    std::vector<std::string> missing_needed;
    std::vector<std::string> missing_optional;
    std::string remedy;
    for (const Tool& tool : kTools) {
        if (on_path(tool.name)) continue;
        (tool.needed ? missing_needed : missing_optional)
            .push_back(std::string(tool.name) + " (" + tool.without + ")");
        remedy += std::string(remedy.empty() ? "" : " ") + tool.package;
    }
    if (missing_needed.empty() && missing_optional.empty()) {
        return ok("lsof, ifconfig, free, awk, df and /usr/bin/ifstat found");
    }
    std::string found;
    for (const auto& list : {missing_needed, missing_optional}) {
        for (const std::string& item : list) found += (found.empty() ? "" : ", ") + item;
    }
    remedy = "install them: apt-get install " + remedy;
    if (!missing_needed.empty()) return fail("missing: " + found, remedy);
    return warn("missing: " + found, remedy);
}

Finding check_network_mounts(Context&) {
    const auto table = read_small_file("/proc/self/mounts");
    if (!table) return warn("/proc/self/mounts cannot be read", "mount /proc");
    std::string found;
    std::size_t at = 0;
    while (at < table->size()) {
        const std::size_t end = std::min(table->find('\n', at), table->size());
        const std::vector<std::string> fields = words_of(table->substr(at, end - at));
        at = end + 1;
        if (fields.size() < 3 || kNetworkTypes.count(fields[2]) == 0) continue;
        found += (found.empty() ? "" : ", ") + fields[1] + " (" + fields[2] + ")";
    }
    if (found.empty()) return ok("no network file system mounted");
    return warn("network file systems mounted: " + found +
                    "; a dead server stalls df and lsof, so the disk and serial readings then "
                    "end at their deadline (ERR_CMD_EXIT)",
                "unmount the shares the board does not need, or mount them with soft,timeo= so "
                "that a dead server answers with an error");
}

Finding check_metrics_timer(Context&) {
    const std::string timer = unit_file(kTimer);
    if (timer.empty()) return ok(std::string(kTimer) + " not installed (no fleet metrics)");
    struct stat link {};
    const std::string wanted = std::string("/etc/systemd/system/timers.target.wants/") + kTimer;
    if (::lstat(wanted.c_str(), &link) != 0) {
        return ok(std::string(kTimer) + " installed, not enabled (no fleet metrics)");
    }
    const std::string service = unit_file(kService);
    const std::string textfile = textfile_of(service);
    struct stat file {};
    if (::stat(textfile.c_str(), &file) != 0) {
        return warn(std::string(kTimer) + " enabled, but " + textfile + " does not exist",
                    "journalctl -u " + std::string(kService) +
                        " tells why it writes nothing (the service does not run while the "
                        "file's directory is missing)");
    }
    const long age = static_cast<long>(std::time(nullptr) - file.st_mtime);
    const std::string found = std::string(kTimer) + " enabled; " + textfile + " written " +
                              std::to_string(age) + " s ago";
    if (age > kStaleSeconds) {
        return warn(found + " (the timer writes it every minute)",
                    "journalctl -u " + std::string(kService) +
                        " tells why its runs fail or stopped; systemctl list-timers shows when "
                        "it runs");
    }
    return ok(found);
}

}  // namespace quorvik::doctor
