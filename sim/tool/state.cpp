#include "state.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "quorvik_common/profile_schema.h"

namespace quorvik::simtool {
namespace {

constexpr unsigned long long kMemorySize = 1ULL << 32;  // physical memory below 4 GiB

std::string error_text(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string make_dir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return error_text("cannot create " + path);
    return "";
}

std::string write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return out ? "" : error_text("cannot write " + path);
}

std::string format_double(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << value;
    return text.str();
}

}  // namespace

std::string replace_file(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new." + std::to_string(::getpid());
    if (std::string e = write_file(temporary, text); !e.empty()) return e;
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return error_text("cannot replace " + path);
    }
    return "";
}

std::optional<Item> read_item(const std::string& dir, const std::string& name) {
    std::ifstream in(dir + "/sim/" + name);
    if (!in) return std::nullopt;
    Item item;
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t equals = line.find(" = ");
        if (equals != std::string::npos) item[line.substr(0, equals)] = line.substr(equals + 3);
    }
    return item;
}

std::vector<std::string> item_names(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    DIR* d = ::opendir((dir + "/sim").c_str());
    if (d == nullptr) return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.rfind(prefix, 0) == 0 && name.find('.') == std::string::npos)
            names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// The files that the command lines read, derived from an item.
std::string write_item(const std::string& dir, const std::string& name, const Item& item) {
    std::string text;
    for (const auto& [key, value] : item) text += key + " = " + value + "\n";
    if (std::string e = replace_file(dir + "/sim/" + name, text); !e.empty()) return e;
    const auto get = [&](const char* key) {
        auto found = item.find(key);
        return found != item.end() ? found->second : std::string();
    };
    if (name.rfind("eth", 0) == 0) {
        // /sys/class/net/ethN: operstate, carrier and speed as the kernel
        // shows them (an interface without carrier has no known speed).
        const std::string net = dir + "/sys/class/net/" + name;
        if (std::string e = make_dir(net); !e.empty()) return e;
        const bool up = get("up") == "yes";
        const bool carrier = up && get("carrier") == "1";
        std::string e = replace_file(net + "/operstate", carrier ? "up\n" : "down\n");
        if (e.empty()) e = replace_file(net + "/carrier", carrier ? "1\n" : "0\n");
        if (e.empty()) e = replace_file(net + "/speed", (carrier ? get("speed") : "-1") + "\n");
        if (e.empty()) e = replace_file(net + "/address", get("mac") + "\n");
        return e;
    }
    if (name.rfind("tty", 0) == 0) {
        // The node exists while the port is present.
        const std::string node = dir + "/dev/" + name;
        if (get("present") == "yes") {
            const int fd = ::open(node.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) return error_text("cannot create " + node);
            ::close(fd);
        } else if (::unlink(node.c_str()) != 0 && errno != ENOENT) {
            return error_text("cannot remove " + node);
        }
        return "";
    }
    if (name.rfind("disk", 0) == 0) {
        // The mounts table lists every disk of the board.
        std::string mounts;
        for (const std::string& disk : item_names(dir, "disk")) {
            const auto d = disk == name ? std::optional<Item>(item) : read_item(dir, disk);
            if (!d) continue;
            mounts +=
                d->at("device") + " " + d->at("mount") + " " + d->at("type") + " rw,relatime 0 0\n";
        }
        return replace_file(dir + "/proc/mounts", mounts);
    }
    return "";
}

Item item_of(const EthPort& port) {
    return {{"up", port.up ? "yes" : "no"},
            {"carrier", std::to_string(port.carrier)},
            {"speed", std::to_string(port.speed)},
            {"rx_kbits", format_double(port.rx_kbits)},
            {"tx_kbits", format_double(port.tx_kbits)},
            {"address", port.address},
            {"mac", port.mac}};
}

Item item_of(const SerialPort& port) {
    return {{"present", port.present ? "yes" : "no"}, {"held_by", port.held_by}};
}

qsim_hardware hardware_of(const Board& board) {
    qsim_hardware hw{};
    std::memcpy(hw.magic, QSIM_MAGIC, sizeof hw.magic);
    hw.size = sizeof hw;
    hw.chip_present = board.superio.present ? 1 : 0;
    hw.banked = board.superio.banked ? 1 : 0;
    // The chip's row; a chip the table does not know, said to be banked by
    // the board, banks as the first row does.
    const schema::BankedChip* row = schema::banked_chip(board.superio.chip);
    if (row == nullptr) row = &schema::kBankedChips[0];
    hw.bank_register = row->bank_register;
    hw.bank_kept = row->kept_bits;
    hw.index_port = static_cast<std::uint16_t>(board.superio.index_port);
    hw.data_port = static_cast<std::uint16_t>(board.superio.data_port);
    std::memcpy(hw.registers, board.registers, sizeof board.registers);
    // The bank register of a banked chip: bank 0's value.
    hw.bank_select = board.superio.banked ? board.registers[0][hw.bank_register] : 0;
    hw.msr_device = board.msr.empty() ? 0 : 1;
    for (const auto& [number, value] : board.msr) {
        if (hw.msr_count == QSIM_MSRS) break;
        hw.msr[hw.msr_count++] = {number, 1, value};
    }
    hw.dio_device = board.dio_driver ? 1 : 0;
    hw.power[0] = board.power[0];
    hw.power[1] = board.power[1];
    for (int i = 0; i < QSIM_RELAYS; ++i) hw.relay[i] = -1;
    for (const auto& [index, value] : board.relay) hw.relay[index] = value;
    return hw;
}

std::string create_state(const Board& board, const MemoryImages& images, const std::string& dir,
                         const std::string& self) {
    if (::mkdir(dir.c_str(), 0755) != 0) {
        if (errno != EEXIST) return error_text("cannot create the state directory " + dir);
        DIR* d = ::opendir(dir.c_str());
        int entries = 0;
        while (d != nullptr && ::readdir(d) != nullptr) ++entries;
        if (d != nullptr) ::closedir(d);
        if (entries > 2) return "the state directory " + dir + " is not empty (another run's?)";
    }
    for (const char* sub :
         {"/bin", "/dev", "/sys", "/sys/class", "/sys/class/net", "/proc", "/sim"}) {
        if (std::string e = make_dir(dir + sub); !e.empty()) return e;
    }

    // The hardware file.
    const qsim_hardware hw = hardware_of(board);
    if (std::string e = write_file(dir + "/" + QSIM_HARDWARE_FILE,
                                   std::string(reinterpret_cast<const char*>(&hw), sizeof hw));
        !e.empty()) {
        return e;
    }

    // Physical memory: a sparse file as large as the first 4 GiB.
    {
        const std::string path = dir + "/" + QSIM_MEMORY_FILE;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return error_text("cannot create " + path);
        bool ok = ::ftruncate(fd, static_cast<off_t>(kMemorySize)) == 0;
        ok = ok && ::pwrite(fd, images.fsegment.data(), images.fsegment.size(),
                            static_cast<off_t>(kFSegmentAddress)) ==
                       static_cast<ssize_t>(images.fsegment.size());
        ok = ok && ::pwrite(fd, images.table.data(), images.table.size(),
                            static_cast<off_t>(images.table_address)) ==
                       static_cast<ssize_t>(images.table.size());
        ::close(fd);
        if (!ok) return error_text("cannot write " + path);
    }

    if (std::string e = write_file(dir + "/" + QSIM_PROFILE_FILE, board.profile_text); !e.empty())
        return e;
    if (std::string e = write_file(dir + "/model", board.identity.model + "\n"); !e.empty())
        return e;
    if (std::string e = write_file(dir + "/board", board.file + "\n"); !e.empty()) return e;
    if (std::string e = write_file(dir + "/" + QSIM_DIO_LOG_FILE, ""); !e.empty()) return e;
    // The driver node, and the relay node the profile names, if another.
    if (board.dio_driver) {
        if (std::string e = write_file(dir + "/" + QSIM_DIO_NODE_FILE, ""); !e.empty()) return e;
    }
    std::string nodes;
    if (!board.relay_node.empty() && board.relay_node != "/dev/dio")
        nodes = board.relay_node + "\n";
    if (std::string e = write_file(dir + "/dio-nodes", nodes); !e.empty()) return e;
    if (std::string e = write_file(dir + "/" + QSIM_RELAY_NODE_FILE, ""); !e.empty()) return e;

    // The paths of the command lines that the board answers, and the
    // stand-in tools.
    std::string rewrite = "/dev/relay " + dir + "/" + QSIM_RELAY_NODE_FILE + "\n";
    std::vector<std::string> tools;
    if (!board.eth.empty()) {
        rewrite += "/sys/class/net/ " + dir + "/sys/class/net/\n";
        rewrite += "/usr/bin/ifstat " + dir + "/bin/ifstat\n";
        tools.insert(tools.end(), {"ifconfig", "ifstat"});
        for (const EthPort& port : board.eth) {
            if (std::string e = write_item(dir, port.name, item_of(port)); !e.empty()) return e;
        }
    }
    if (!board.serial.empty()) {
        tools.push_back("lsof");
        // Every node the profile lists is the board's: those it does not
        // describe are absent.
        std::vector<std::string> nodes_named;
        for (int n : board.tty_numbers)
            nodes_named.push_back("tty" + board.tty_letters + std::to_string(n));
        for (const SerialPort& port : board.serial) nodes_named.push_back(port.name);
        for (const std::string& node : nodes_named) {
            const std::string line = "/dev/" + node + " " + dir + "/dev/" + node + "\n";
            if (rewrite.find(line) == std::string::npos) rewrite += line;
        }
        for (const SerialPort& port : board.serial) {
            if (std::string e = write_item(dir, port.name, item_of(port)); !e.empty()) return e;
        }
    }
    if (!board.disks.empty()) {
        rewrite += "/proc/self/mounts " + dir + "/proc/mounts\n";
        rewrite += "/proc/mounts " + dir + "/proc/mounts\n";
        rewrite += "/etc/mtab " + dir + "/proc/mounts\n";
        tools.push_back("df");
        for (const Disk& disk : board.disks) {
            Item item{{"device", disk.device},
                      {"mount", disk.mount},
                      {"type", disk.type},
                      {"size_mb", std::to_string(disk.size_mb)},
                      {"used_mb", std::to_string(disk.used_mb)}};
            if (std::string e = write_item(dir, disk.name, item); !e.empty()) return e;
        }
    }
    if (std::string e = write_file(dir + "/" + QSIM_REWRITE_FILE, rewrite); !e.empty()) return e;
    for (const std::string& tool : tools) {
        const std::string link = dir + "/bin/" + tool;
        if (::symlink(self.c_str(), link.c_str()) != 0) return error_text("cannot create " + link);
    }
    return "";
}

}  // namespace quorvik::simtool
