// Every exported function of both libraries next to the floor its design
// imposes: the same shell pipelines run by popen with fgets and pclose in a
// bare loop, the device profile loaded by iniparser alone, the same port
// accesses and SMIs on the simulated board, one second of sleep.
//
// Hardware is the simulated board (tests/sim) identified as example-board,
// with docs/DeviceProfile.example.ini (plus three other models' sections) as
// the system profile in a private mount; commands are this machine's, except
// /usr/bin/ifstat where the machine has none: a script that waits its 0.1 s
// and prints a rate. Needs root, as the tests do.
//
//   quorvik_bench [--table=FILE] [benchmark flags]
// runs the benchmarks and prints a Markdown table (also written to FILE).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <iniparser.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "QuorvikSO.h"
#include "alloc_count.h"
#include "bios_builder.h"
#include "fixed_paths.h"
#include "monitor_platform.h"
#include "platform.h"
#include "private_mounts.h"
#include "quorvik.h"
#include "sim_board.h"
#include "sim_run.h"
#include "superio_chip.h"

namespace quorvik::bench {
namespace {

constexpr char kModel[] = "example-board";
// Profile sizes: a product line of a hundred models, and one of 2,000
// sections (about 0.9 MB, under the checker's limit), where the load itself,
// quadratic in iniparser, is the floor of every call.
constexpr char kRealisticProfile[] = "/etc/quorvik/realistic.ini";
constexpr char kLargeProfile[] = "/etc/quorvik/large.ini";
constexpr int kLargeSections = 2000;
constexpr std::uint16_t kIndexPort = 0x295;
constexpr std::uint16_t kDataPort = 0x296;

// ---- what the floors are made of ----

// One shell pipeline with popen, its output read line by line, pclose.
void pipeline(const char* command) {
    FILE* pipe = ::popen(command, "re");
    if (pipe == nullptr) return;
    char line[128];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
    }
    ::pclose(pipe);
}

void load_profile() {
    dictionary* profile = iniparser_load(QUORVIK_PROFILE_PATH);
    if (profile != nullptr) iniparser_freedict(profile);
}

// The port accesses of one Super I/O reading on a banked chip: both
// permissions raised, the bank selected, `registers` registers read, both
// permissions dropped.
void chip_reading(int registers) {
    platform::ioperm(kIndexPort, 1, 1);
    platform::ioperm(kDataPort, 1, 1);
    platform::outb(0x4E, kIndexPort);
    const auto kept = static_cast<std::uint8_t>(platform::inb(kDataPort) & 0xF8);
    platform::outb(kept, kDataPort);
    for (int i = 0; i < registers; ++i) {
        platform::outb(static_cast<std::uint8_t>(0x20 + i), kIndexPort);
        benchmark::DoNotOptimize(platform::inb(kDataPort));
    }
    platform::ioperm(kIndexPort, 1, 0);
    platform::ioperm(kDataPort, 1, 0);
}

// The CPU temperature's two model-specific registers, one descriptor.
void msr_pair() {
    const int fd = platform::open("/dev/cpu/0/msr", O_RDONLY);
    unsigned char bytes[8];
    platform::pread(fd, bytes, sizeof bytes, 0x1A2);
    platform::pread(fd, bytes, sizeof bytes, 0x19C);
    platform::close(fd);
}

void smi_permission_pair() {
    platform::ioperm(0xB2, 1, 1);
    platform::ioperm(0xB2, 1, 0);
}

// The 1024-byte heap text a reader or count query hands over.
void heap_text() {
    void* text = std::malloc(1024);
    benchmark::DoNotOptimize(text);
    std::free(text);
}

void dio_exchange(unsigned long request) {
    const int fd = platform::dio_open("/dev/dio");
    dio_request record{0, 1};
    platform::dio_send(fd, request, &record);
    platform::dio_close(fd);
}

// ---- the simulated board and the machine ----

struct Images {
    std::vector<unsigned char> fsegment;
    std::vector<unsigned char> table;
};

Images& images() {
    static Images images;
    return images;
}

sim::SuperIoChip& chip() {
    static sim::SuperIoChip chip(kIndexPort, kDataPort, true);
    return chip;
}

std::string read_file(const char* path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The example profile, and others models after it (copies of its section
// under other names), as a profile for a product line reads.
std::string system_profile(int others = 3) {
    const std::string example = read_file(QUORVIK_EXAMPLE_PROFILE);
    std::string profile = example;
    const std::string header = std::string("[example-board]");
    for (int other = 1; other <= others; ++other) {
        std::string copy = example;
        const auto at = copy.find(header);
        if (at != std::string::npos) {
            std::string name = "[other-model-";
            name += std::to_string(other);
            name += ']';
            copy.replace(at, header.size(), name);
        }
        profile += '\n';
        profile += copy;
    }
    return profile;
}

bool arrange() {
    if (!sim::enter_private_mounts()) {
        std::cerr << "quorvik_bench: " << sim::private_mounts_failure() << " (run as root)\n";
        return false;
    }
    sim::write_system_profile(system_profile());
    std::ofstream(kRealisticProfile, std::ios::trunc) << system_profile(99);
    std::ofstream(kLargeProfile, std::ios::trunc) << system_profile(kLargeSections - 1);

    sim::Board& board = sim::Board::get();
    board.reset();
    board.keep_logs = false;  // millions of calls
    chip().attach_to(board);
    chip().set(0, 0x20, 142);
    chip().set(0, 0x27, 45);
    chip().set(0, 0x28, 0x05);
    chip().set(0, 0x29, 0x46);
    board.msr = {{0x1A2, 100u << 16}, {0x19C, 40u << 16}};
    board.smi_handler = [](platform::SmiRegisters& r) { r.ebx = ~r.ebx; };
    sim::BoardImages board_images = sim::insyde_board(kModel, "R1.05", "SN0042");
    board_images.fsegment.text(0x100, "ZEKT example-board R1.05");
    sim::install(board_images);
    images().fsegment.assign(board_images.fsegment.bytes().begin(),
                             board_images.fsegment.bytes().end());
    images().table.assign(board_images.table.bytes().begin(), board_images.table.bytes().end());
    images().table.resize(sim::kSegmentSize, 0);

    // The digital-I/O driver: the simulator's, on a node in its state.
    sim::SimRun::get().add_driver();
    sim::SimRun::get().set_power(0, 1);

    if (::access("/usr/bin/ifstat", X_OK) != 0) {
        static sim::Overlay usr_bin("/usr/bin");
        if (!usr_bin.mounted()) {
            std::cerr << "quorvik_bench: " << usr_bin.failure() << "\n";
            return false;
        }
        sim::write_script("/usr/bin/ifstat",
                          "sleep 0.1\necho '       eth0'\necho ' Kbps in  Kbps out'\n"
                          "echo '  820.50     96.20'");
    }

    char model[30] = {};
    if (GetDeviceName(model) != 1) {
        std::cerr << "quorvik_bench: the simulated board does not identify\n";
        return false;
    }
    return true;
}

// ---- rows ----

enum class Target { UnderMicrosecond, NearFloor };

struct Row {
    std::string name;
    std::string floor;
    Target target;
    std::function<int()> call;
    std::function<void()> floor_call;
    // Calls that take a second or more run a fixed number of times.
    int iterations = 0;
    int status = 0;

    // Work done by child processes, or asleep, shows only on the wall clock;
    // work done in the process is timed on its CPU clock, which other
    // programs on a shared machine do not stretch.
    bool wall_clock() const {
        return floor.find("popen") != std::string::npos || floor.find("sleep") != std::string::npos;
    }
};

// The walk over the section names that model matching needs: every name
// once (stopping at the model's own section when there is one).
int walk_sections(const char* model, dictionary* profile) {
    int section = 0;
    for (ssize_t i = 0; i < profile->size; ++i) {
        const char* key = profile->key[i];
        if (key == nullptr || std::strchr(key, ':') != nullptr) continue;
        if (strcasecmp(key, model) == 0) return section;
        ++section;
    }
    return -1;
}

// The structure walk of an SMBIOS table to the first structure of a type.
int walk_structures(const unsigned char* table, unsigned char type) {
    std::size_t offset = 0;
    while (offset + 1 < sim::kSegmentSize) {
        if (table[offset] == type) return static_cast<int>(offset);
        std::size_t p = offset + table[offset + 1];
        while (p + 1 < sim::kSegmentSize && (table[p] != 0 || table[p + 1] != 0)) ++p;
        offset = p + 2;
    }
    return -1;
}

std::string_view image_text(const std::vector<unsigned char>& image) {
    return {reinterpret_cast<const char*>(image.data()), image.size()};
}

dictionary* loaded_profile() {
    static dictionary* profile = iniparser_load(QUORVIK_PROFILE_PATH);
    return profile;
}

constexpr const char* kAverageCommand =
    "cat /proc/stat | grep \"cpu\" | sed -n \"1p\" | awk -F \"cpu\" '{print $2}'";
constexpr const char* kCpu0Command =
    "cat /proc/stat | grep \"cpu\" | sed -n \"2p\" | awk -F \"cpu0\" '{print $2}'";
constexpr const char* kDiskUsage =
    "df -P -BM | grep -vE '^Filesystem|rootfs|tmpfs|cdrom' | grep \"/\" | awk '{print $5 }'";
constexpr const char* kDiskTotal =
    "df -P -BM | grep -vE '^Filesystem|rootfs|tmpfs|cdrom' | grep \"/\" | awk '{print $2}'";
constexpr const char* kDiskAvail =
    "df -P -BM | grep -vE '^Filesystem|tmpfs|cdrom' | grep \"/\" | awk '{print $4}'";

void load_profile_at(const char* path) {
    dictionary* profile = iniparser_load(path);
    if (profile != nullptr) iniparser_freedict(profile);
}

int read_volt_at(const char* path) {
    char* text = nullptr;
    const int status = SensorVolt(path, kModel, 0, &text);
    std::free(text);
    return status;
}

std::vector<Row> profile_size_rows() {
    using T = Target;
    return {
        {"SensorVolt(0), 100 models", "profile load, 1-register chip reading, heap text",
         T::NearFloor, [] { return read_volt_at(kRealisticProfile); },
         [] {
             load_profile_at(kRealisticProfile);
             chip_reading(1);
             heap_text();
         }},
        {"SensorVolt(0), 2,000 sections", "profile load, 1-register chip reading, heap text",
         T::NearFloor, [] { return read_volt_at(kLargeProfile); },
         [] {
             load_profile_at(kLargeProfile);
             chip_reading(1);
             heap_text();
         },
         5},
    };
}

std::vector<Row> hardware_rows() {
    using T = Target;
    const auto copy_cached = [](const char* cache) {
        char buf[30];
        std::memcpy(buf, cache, std::strlen(cache) + 1);
        benchmark::DoNotOptimize(buf);
    };
    return {
        {"GetDeviceName", "copy of the cached text", T::UnderMicrosecond,
         [] {
             char b[30];
             return GetDeviceName(b);
         },
         [=] { copy_cached(Model_str); }},
        {"GetBiosVersion", "copy of the cached text", T::UnderMicrosecond,
         [] {
             char b[30];
             return GetBiosVersion(b);
         },
         [=] { copy_cached(BIOS_Ver_str); }},
        {"GetSerialNumber", "copy of the cached text", T::UnderMicrosecond,
         [] {
             char b[30];
             return GetSerialNumber(b);
         },
         [=] { copy_cached(SerialNumber_str); }},
        {"PlatformInfo", "acquire load of the flag", T::UnderMicrosecond,
         [] { return PlatformInfo(); },
         [] { benchmark::DoNotOptimize(__atomic_load_n(&PlatformInfo_Flag, __ATOMIC_ACQUIRE)); }},
        {"MemBlockRead(F-segment, 64 KiB)", "open, mmap, memcpy, munmap, close (simulated)",
         T::NearFloor,
         [] {
             static std::vector<unsigned char> buf(sim::kSegmentSize);
             return MemBlockRead(0xF0000, buf.data(), buf.size());
         },
         [] {
             static std::vector<unsigned char> buf(sim::kSegmentSize);
             const int fd = platform::open("/dev/mem", O_RDONLY);
             void* map = platform::map_shared_readonly(fd, buf.size(), 0xF0000);
             std::memcpy(buf.data(), map, buf.size());
             platform::unmap(map, buf.size());
             platform::close(fd);
             benchmark::DoNotOptimize(buf.data());
         }},
        {"F000_search_ZEKT", "string search for the signature", T::NearFloor,
         [] { return F000_search_ZEKT(images().fsegment.data()); },
         [] { benchmark::DoNotOptimize(image_text(images().fsegment).find("ZEKT")); }},
        {"F000_search_SMBIOS", "string search for the anchor", T::NearFloor,
         [] {
             const unsigned char* anchor = nullptr;
             return F000_search_SMBIOS(images().fsegment.data(), &anchor);
         },
         [] { benchmark::DoNotOptimize(image_text(images().fsegment).find("_SM_")); }},
        {"search_type(type 2)", "walk of the structures", T::NearFloor,
         [] { return search_type(images().table.data(), 2); },
         [] { benchmark::DoNotOptimize(walk_structures(images().table.data(), 2)); }},
        {"Copy_F000_MODEL", "signature search, blank search, copy", T::NearFloor,
         [] {
             char model[30] = {};
             return Copy_F000_MODEL(images().fsegment.data(), model);
         },
         [] {
             const std::string_view text = image_text(images().fsegment);
             const std::size_t begin = text.find("ZEKT") + 5;
             const std::size_t blank = text.find(' ', begin);
             char model[30] = {};
             std::memcpy(model, text.data() + begin, blank - begin);
             benchmark::DoNotOptimize(model);
         }},
        // The transfers need the thread's hold of port 0xB2: SmbxInit's rows
        // run first and SmbxExit's last.
        {"SmbxInit", "ioperm of port 0xB2 (simulated)", T::NearFloor, [] { return SmbxInit(); },
         [] { platform::ioperm(0xB2, 1, 1); }},
        {"SmbxSendSMI", "one SMI (simulated)", T::NearFloor,
         [] {
             SmiRegisterBlock block{0x42, 1, 0, 0, 0, 0, 0};
             return SmbxSendSMI(&block);
         },
         [] {
             platform::SmiRegisters regs{0x42, 1, 0, 0xB2, 0, 0, 0};
             platform::send_smi(regs);
         }},
        {"SmbxRead(64 bytes)", "four SMIs (simulated)", T::NearFloor,
         [] {
             unsigned char buf[64];
             return SmbxRead(0, sizeof buf, buf);
         },
         [] {
             unsigned char buf[64];
             std::memset(buf, 0, sizeof buf);
             for (int i = 0; i < 4; ++i) {
                 platform::SmiRegisters regs{
                     SMBX_CMD_READ, 0, 16, 0xB2, 0, static_cast<std::uint32_t>(16 * i), 0};
                 platform::send_smi(regs);
                 std::memcpy(buf + 16 * i, &regs.eax, 4);
                 std::memcpy(buf + 16 * i + 4, &regs.ecx, 4);
                 std::memcpy(buf + 16 * i + 8, &regs.edx, 4);
                 std::memcpy(buf + 16 * i + 12, &regs.ebx, 4);
             }
             benchmark::DoNotOptimize(buf);
         }},
        {"SmbxWrite(64 bytes)", "five SMIs (simulated)", T::NearFloor,
         [] {
             unsigned char buf[64] = {};
             return SmbxWrite(0, sizeof buf, buf);
         },
         [] {
             unsigned char buf[64] = {};
             benchmark::DoNotOptimize(buf);
             platform::SmiRegisters open{SMBX_CMD_WRITE_OPEN, 0, sizeof buf, 0xB2, 0, 0, 0};
             platform::send_smi(open);
             for (std::uint32_t i = 0; i < 4; ++i) {
                 platform::SmiRegisters regs{SMBX_CMD_WRITE_DATA, 0, 0, 0xB2, 0, 0, 16 * i};
                 std::memcpy(&regs.ebx, buf + 16 * i, 4);
                 std::memcpy(&regs.ecx, buf + 16 * i + 4, 4);
                 std::memcpy(&regs.eax, buf + 16 * i + 8, 2);
                 std::memcpy(&regs.esi, buf + 16 * i + 12, 4);
                 platform::send_smi(regs);
             }
         }},
        {"SmbxExit", "ioperm of port 0xB2 (simulated)", T::NearFloor, [] { return SmbxExit(); },
         [] { platform::ioperm(0xB2, 1, 0); }},
        {"SensorModelCheck(own section)", "walk of the section names to the model's", T::NearFloor,
         [] {
             char section[30] = {};
             return SensorModelCheck(kModel, loaded_profile(), section);
         },
         [] { benchmark::DoNotOptimize(walk_sections(kModel, loaded_profile())); }},
        {"SensorModelCheck(by prefix)", "one walk of all section names", T::NearFloor,
         [] {
             char section[30] = {};
             return SensorModelCheck("example-board-x2", loaded_profile(), section);
         },
         [] { benchmark::DoNotOptimize(walk_sections("example-board-x2", loaded_profile())); }},
        {"SensorVolt(0)", "profile load, 1-register chip reading, heap text", T::NearFloor,
         [] {
             char* text = nullptr;
             const int status = SensorVolt(QUORVIK_PROFILE_PATH, kModel, 0, &text);
             std::free(text);
             return status;
         },
         [] {
             load_profile();
             chip_reading(1);
             heap_text();
         }},
        {"SensorTemp(0) (MSR)", "profile load, two MSRs, bank selection, heap text", T::NearFloor,
         [] {
             char* text = nullptr;
             const int status = SensorTemp(QUORVIK_PROFILE_PATH, kModel, 0, &text);
             std::free(text);
             return status;
         },
         [] {
             load_profile();
             msr_pair();
             chip_reading(0);
             heap_text();
         }},
        {"SensorTemp(1) (register)", "profile load, 1-register chip reading, heap text",
         T::NearFloor,
         [] {
             char* text = nullptr;
             const int status = SensorTemp(QUORVIK_PROFILE_PATH, kModel, 1, &text);
             std::free(text);
             return status;
         },
         [] {
             load_profile();
             chip_reading(1);
             heap_text();
         }},
        {"SensorFan(0)", "profile load, 2-register chip reading, heap text", T::NearFloor,
         [] {
             char* text = nullptr;
             const int status = SensorFan(QUORVIK_PROFILE_PATH, kModel, 0, &text);
             std::free(text);
             return status;
         },
         [] {
             load_profile();
             chip_reading(2);
             heap_text();
         }},
        {"GetSensorValueByType(VOLT, 0)",
         "profile load, port 0xB2 pair, 1-register chip reading, heap text", T::NearFloor,
         [] {
             int value = 0;
             return GetSensorValueByType(kModel, SENSOR_VOLT, 0, &value);
         },
         [] {
             load_profile();
             smi_permission_pair();
             chip_reading(1);
             heap_text();
         }},
        {"SensorVoltQuery", "profile load, heap text", T::NearFloor,
         [] {
             char* text = nullptr;
             const int status = SensorVoltQuery(QUORVIK_PROFILE_PATH, kModel, &text);
             std::free(text);
             return status;
         },
         [] {
             load_profile();
             heap_text();
         }},
        {"SensorTempQuery", "profile load, heap text", T::NearFloor,
         [] {
             char* text = nullptr;
             const int status = SensorTempQuery(QUORVIK_PROFILE_PATH, kModel, &text);
             std::free(text);
             return status;
         },
         [] {
             load_profile();
             heap_text();
         }},
        {"SensorFanQuery", "profile load, heap text", T::NearFloor,
         [] {
             char* text = nullptr;
             const int status = SensorFanQuery(QUORVIK_PROFILE_PATH, kModel, &text);
             std::free(text);
             return status;
         },
         [] {
             load_profile();
             heap_text();
         }},
    };
}

std::vector<Row> api_rows() {
    using T = Target;
    const auto clear_and_copy = [](const char* cache) {
        char buf[128];
        std::memset(buf, 0, sizeof buf);
        std::memcpy(buf, cache, std::strlen(cache) + 1);
        benchmark::DoNotOptimize(buf);
    };
    const auto int_query = [](int (*query)(int*)) {
        return [query] {
            int value = 0;
            return query(&value);
        };
    };
    const auto double_query = [](int (*query)(double*)) {
        return [query] {
            double value = 0;
            return query(&value);
        };
    };
    const auto indexed = [](int (*query)(int, int*), int index) {
        return [query, index] {
            int value = 0;
            return query(index, &value);
        };
    };
    const auto disk = [](int (*query)(const char*, double*)) {
        return [query] {
            double value = 0;
            return query("/", &value);
        };
    };
    return {
        {"get_device_name", "clear 128 bytes, copy of the cached text", T::UnderMicrosecond,
         [] {
             char b[128];
             return get_device_name(b);
         },
         [=] { clear_and_copy(Model_str); }},
        {"get_bios_ver", "clear 128 bytes, copy of the cached text", T::UnderMicrosecond,
         [] {
             char b[128];
             return get_bios_ver(b);
         },
         [=] { clear_and_copy(BIOS_Ver_str); }},
        {"get_ser_num", "clear 128 bytes, copy of the cached text", T::UnderMicrosecond,
         [] {
             char b[128];
             return get_ser_num(b);
         },
         [=] { clear_and_copy(SerialNumber_str); }},
        {"get_cpu_count", "popen: nproc --all", T::NearFloor, int_query(get_cpu_count),
         [] { pipeline("nproc --all"); }},
        {"get_average_cpu_usage", "popen: /proc/stat pipeline, sleep 1 s, the pipeline again",
         T::NearFloor, double_query(get_average_cpu_usage),
         [] {
             pipeline(kAverageCommand);
             ::sleep(1);
             pipeline(kAverageCommand);
         },
         2},
        {"get_cpu_usage(0)", "popen: nproc --all, cpu0 pipeline, sleep 1 s, the pipeline again",
         T::NearFloor,
         [] {
             double usage = 0;
             return get_cpu_usage(0, &usage);
         },
         [] {
             pipeline("nproc --all");
             pipeline(kCpu0Command);
             ::sleep(1);
             pipeline(kCpu0Command);
         },
         2},
        {"get_mem_usage", "popen: free pipeline", T::NearFloor, int_query(get_mem_usage),
         [] { pipeline("free -m | awk 'NR==2{printf $3*100/$2 }'"); }},
        {"get_mem_total_size", "popen: free pipeline", T::NearFloor,
         double_query(get_mem_total_size), [] { pipeline("free -m | awk 'NR==2{printf $2}'"); }},
        {"get_mem_avail_size", "popen: free pipeline", T::NearFloor,
         double_query(get_mem_avail_size), [] { pipeline("free -m | awk 'NR==2{printf $4}'"); }},
        {"get_uart_count", "profile load", T::NearFloor, int_query(get_uart_count), load_profile},
        {"get_uart_status(0)", "profile load; popen: ls, lsof", T::NearFloor,
         indexed(get_uart_status, 0),
         [] {
             load_profile();
             pipeline("ls /dev/ttyS0 > /dev/null 2>&1");
             pipeline("lsof /dev/ttyS0 ");
         }},
        {"get_eth_count", "profile load", T::NearFloor, int_query(get_eth_count), load_profile},
        {"get_eth_speed(0)", "profile load; popen: ifconfig, cat speed", T::NearFloor,
         indexed(get_eth_speed, 0),
         [] {
             load_profile();
             pipeline("ifconfig | grep eth0 ");
             pipeline("cat /sys/class/net/eth0/speed");
         }},
        {"get_eth_link(0)", "profile load; popen: ifconfig, cat carrier", T::NearFloor,
         indexed(get_eth_link, 0),
         [] {
             load_profile();
             pipeline("ifconfig | grep eth0 ");
             pipeline("cat /sys/class/net/eth0/carrier ");
         }},
        // eth0 here has no speed, and a refused speed is followed by a second
        // link test: down during the measurement, or no speed to know.
        {"get_eth_usage(0)",
         "profile load; popen: ifconfig, ls ifstat, ifstat 0.1 s, cat speed, ifconfig",
         T::NearFloor, indexed(get_eth_usage, 0),
         [] {
             load_profile();
             pipeline("ifconfig | grep eth0 ");
             pipeline("ls /usr/bin/ifstat > /dev/null 2>&1");
             pipeline("ifstat -b -q -i eth0 0.1 1 | tail -1 | awk '{ print $1+ $2}'");
             pipeline("cat /sys/class/net/eth0/speed");
             pipeline("ifconfig | grep eth0 ");
         }},
        {"get_disk_usage(\"/\")", "popen: df piped to grep, df column pipeline", T::NearFloor,
         disk(get_disk_usage),
         [] {
             pipeline("df | grep / > /dev/null 2>&1");
             pipeline(kDiskUsage);
         }},
        {"get_disk_total_size(\"/\")", "popen: df piped to grep, df column pipeline", T::NearFloor,
         disk(get_disk_total_size),
         [] {
             pipeline("df | grep / > /dev/null 2>&1");
             pipeline(kDiskTotal);
         }},
        {"get_disk_avail_size(\"/\")", "popen: df piped to grep, df column pipeline", T::NearFloor,
         disk(get_disk_avail_size),
         [] {
             pipeline("df | grep / > /dev/null 2>&1");
             pipeline(kDiskAvail);
         }},
        {"get_pwr_status(0)", "profile load, /dev/dio open, ioctl, close", T::NearFloor,
         indexed(get_pwr_status, 0),
         [] {
             load_profile();
             dio_exchange(DIO_GET_POWER);
         }},
        {"set_relay(0, 1)", "profile load, /dev/dio open, ioctl, close", T::NearFloor,
         [] { return set_relay(0, 1); },
         [] {
             load_profile();
             dio_exchange(DIO_SET_RELAY);
         }},
        {"get_milli_volt(0)",
         "two profile loads (one per library), port 0xB2 pair, 1-register chip reading, heap "
         "text",
         T::NearFloor, indexed(get_milli_volt, 0),
         [] {
             load_profile();
             load_profile();
             smi_permission_pair();
             chip_reading(1);
             heap_text();
         }},
        {"get_temperature(0)",
         "two profile loads (one per library), port 0xB2 pair, two MSRs, bank selection, heap "
         "text",
         T::NearFloor, indexed(get_temperature, 0),
         [] {
             load_profile();
             load_profile();
             smi_permission_pair();
             msr_pair();
             chip_reading(0);
             heap_text();
         }},
    };
}

// ---- measuring and reporting ----

// "fn:<row>" for the function, "floor:<row>" for its floor.
std::string benchmark_name(const char* kind, const std::string& row) {
    std::string name = kind;
    name += row;
    return name;
}

template <typename Call>
void measure(benchmark::State& state, const Call& call) {
    const std::uint64_t before = allocation_count();
    for (auto _ : state) {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
        } else {
            benchmark::DoNotOptimize(call());
        }
    }
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocation_count() - before),
                                                  benchmark::Counter::kAvgIterations);
}

struct Sample {
    double ns = NAN;
    double allocs = NAN;
};

// Keeps the fastest repetition of each benchmark (or its only run) for the
// table: on a shared machine other work only ever adds time.
class TableReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool best = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
            if (!best && run.run_type == Run::RT_Aggregate) continue;
            Sample& sample = samples_[run.run_name.function_name];
            if (!best && !std::isnan(sample.ns) && run.repetitions > 1) continue;
            const bool wall = !run.run_name.time_type.empty();
            const double time = wall ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
            sample.ns = time / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            const auto allocs = run.counters.find("allocs");
            if (allocs != run.counters.end()) sample.allocs = allocs->second.value;
        }
    }
    const Sample& sample(const std::string& name) { return samples_[name]; }

  private:
    std::map<std::string, Sample> samples_;
};

std::string duration(double ns) {
    char text[32];
    if (std::isnan(ns)) return "-";
    if (ns < 1e3) {
        std::snprintf(text, sizeof text, "%.1f ns", ns);
    } else if (ns < 1e6) {
        std::snprintf(text, sizeof text, "%.2f µs", ns / 1e3);
    } else if (ns < 1e9) {
        std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.3f s", ns / 1e9);
    }
    return text;
}

std::string number(double value, const char* format) {
    if (std::isnan(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string table(const std::vector<Row>& rows, TableReporter& reporter) {
    std::ostringstream out;
    out << "| function | status | clock | cost | floor | floor cost | ratio | allocations per "
           "call (function / floor) | target |\n"
        << "|---|---|---|---|---|---|---|---|---|\n";
    for (const Row& row : rows) {
        const Sample& cost = reporter.sample(benchmark_name("fn:", row.name));
        const Sample& floor = reporter.sample(benchmark_name("floor:", row.name));
        const double ratio = cost.ns / floor.ns;
        std::string verdict;
        if (row.target == Target::UnderMicrosecond) {
            verdict = std::string(cost.ns < 1e3 ? "met" : "MISSED") + " (< 1 µs)";
        } else {
            const bool fast = ratio <= 1.10;
            const bool lean = !(cost.allocs > floor.allocs + 0.01);
            verdict = fast && lean ? "met" : "MISSED";
            verdict += " (ratio ≤ 1.10";
            verdict += ", no extra allocation)";
        }
        out << "| `" << row.name << "` | " << row.status << " | "
            << (row.wall_clock() ? "wall" : "CPU") << " | " << duration(cost.ns) << " | "
            << row.floor << " | " << duration(floor.ns) << " | " << number(ratio, "%.3f") << " | "
            << number(cost.allocs, "%.1f") << " / " << number(floor.allocs, "%.1f") << " | "
            << verdict << " |\n";
    }
    return out.str();
}

}  // namespace
}  // namespace quorvik::bench

int main(int argc, char** argv) {
    using namespace quorvik::bench;
    std::string table_path;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--table=")) {
            table_path = std::string(arg.substr(8));
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (!arrange()) return 1;

    std::vector<Row> rows = hardware_rows();
    for (Row& row : api_rows()) rows.push_back(std::move(row));
    for (Row& row : profile_size_rows()) rows.push_back(std::move(row));
    for (Row& row : rows) {
        row.status = row.call();  // also binds libQuorvikSO's functions for libquorvik
        for (auto* benchmark :
             {benchmark::RegisterBenchmark(
                  benchmark_name("fn:", row.name).c_str(),
                  [call = row.call](benchmark::State& state) { measure(state, call); }),
              benchmark::RegisterBenchmark(
                  benchmark_name("floor:", row.name).c_str(),
                  [call = row.floor_call](benchmark::State& state) { measure(state, call); })}) {
            if (row.wall_clock()) benchmark->UseRealTime();
            benchmark->Unit(benchmark::kNanosecond);
            benchmark->ComputeStatistics("min", [](const std::vector<double>& values) {
                return *std::min_element(values.begin(), values.end());
            });
            if (row.iterations > 0) benchmark->Iterations(row.iterations);
        }
    }

    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const std::string text = table(rows, reporter);
    std::cout << "\n" << text;
    if (!table_path.empty()) std::ofstream(table_path) << text;
    return 0;
}
