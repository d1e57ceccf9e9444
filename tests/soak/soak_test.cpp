// Months of polling in one process: every exported function that does not
// sleep, called over and over on the simulated board, with the process's open
// descriptors, the board's port permissions and the heap compared before and
// after. One byte, descriptor or permission kept per call shows here long
// before a customer's agent runs out of them.
//
// QUORVIK_SOAK_CALLS (default 1000) sets the calls of each hardware,
// identity, profile and sensor function; QUORVIK_SOAK_COMMAND_CALLS (default
// 100) those of the functions that run shell pipelines, each a fork or more;
// QUORVIK_SOAK_SLEEPING_CALLS (default 2) those of the CPU usage queries,
// which sleep one second a call. The suite runs the defaults; scripts/soak.sh
// runs the months-long equivalent (100,000 and 1000 calls).
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "QuorvikSO.h"
#include "bios_builder.h"
#include "fake_tools.h"
#include "fixed_paths.h"
#include "private_mounts.h"
#include "quorvik.h"
#include "quorvik_common/ini_value.h"
#include "sim_board.h"
#include "sim_run.h"
#include "superio_chip.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUORVIK_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVIK_SOAK_ASAN 1
#endif
#endif
#if defined(QUORVIK_SOAK_ASAN)
// The sanitizer runtime's own count (gcc installs no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace quorvik::sim {
namespace {

long count_from_environment(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= 0 ? value : fallback;
}

const long kCalls = count_from_environment("QUORVIK_SOAK_CALLS", 1000);
const long kCommandCalls = count_from_environment("QUORVIK_SOAK_COMMAND_CALLS", 100);
const long kSleepingCalls = count_from_environment("QUORVIK_SOAK_SLEEPING_CALLS", 2);

// Calls before the first measurement (at most a tenth of the run): what a
// process sets up once (stdio buffers, symbol lookups, the allocator's own
// pools) is not growth.
constexpr long kWarmUp = 500;
// Allowed heap growth: half the smallest block (16 bytes) a call, within 2 to
// 64 KiB, so that a block kept a call shows in a short run as in a long one.
std::size_t heap_slack(long calls) {
    return std::clamp<std::size_t>(static_cast<std::size_t>(calls) * 8, 2 * 1024, 64 * 1024);
}
constexpr std::size_t kRssSlack = 2 * 1024 * 1024;

// ---- what the process holds ----

int open_descriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') ++count;
        }
        ::closedir(dir);
    }
    return count - 1;  // the directory's own
}

std::size_t heap_in_use() {
#if defined(QUORVIK_SOAK_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

std::size_t resident_bytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

struct Footprint {
    int descriptors;
    std::size_t heap;
    std::size_t resident;
    std::size_t permitted_ports;
};

Footprint measure() {
    return {open_descriptors(), heap_in_use(), resident_bytes(), Board::get().permitted.count()};
}

// Standard output to /dev/null while the calls print their diagnostics.
class Silenced {
  public:
    Silenced() {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~Silenced() {
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }
    Silenced(const Silenced&) = delete;
    Silenced& operator=(const Silenced&) = delete;

  private:
    int saved_;
};

// The simulated hardware logs every access; a soak keeps none of it, so that
// the test's own bookkeeping does not pass for the library's growth. (The
// driver's log is a file of the run's state: it takes no memory.)
void forget_logs(SuperIoChip* chip) {
    Board& board = Board::get();
    board.permission_calls.clear();
    board.port_log.clear();
    board.map_requests.clear();
    board.msr_reads.clear();
    board.smi_calls.clear();
    if (chip != nullptr) chip->accesses.clear();
}

// call(i) makes the i-th call and says whether its answer was the right one.
using Call = std::function<bool(long)>;

// Runs one function `calls` times after the warm-up and checks that nothing
// grew; prints one line of numbers.
void soak(const char* name, long calls, const Call& call, SuperIoChip* chip = nullptr) {
    long wrong = 0;
    long first_wrong = -1;
    Footprint before{};
    Footprint after{};
    double seconds = 0.0;
    {
        const Silenced quiet;
        auto run = [&](long from, long to) {
            for (long i = from; i < to; ++i) {
                if (!call(i)) {
                    if (wrong++ == 0) first_wrong = i;
                }
                forget_logs(chip);
            }
        };
        const long warm_up = std::min(kWarmUp, std::max(1L, calls / 10));
        run(0, warm_up);
        before = measure();
        const auto start = std::chrono::steady_clock::now();
        run(warm_up, warm_up + calls);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        after = measure();
    }
    std::printf(
        "soak %-44s %7ld calls %7.2f s %8.1f us/call  fds %d->%d  heap %zu->%zu B  "
        "rss %zu->%zu KiB\n",
        name, calls, seconds, calls > 0 ? seconds * 1e6 / static_cast<double>(calls) : 0.0,
        before.descriptors, after.descriptors, before.heap, after.heap, before.resident / 1024,
        after.resident / 1024);
    std::fflush(stdout);

    EXPECT_EQ(wrong, 0) << name << ": wrong answers, the first at call " << first_wrong;
    EXPECT_EQ(after.descriptors, before.descriptors) << name << ": descriptors grew";
    EXPECT_EQ(after.permitted_ports, 0u) << name << ": port permissions left raised";
    EXPECT_EQ(Board::get().permission_violations, 0) << name << ": a port used without permission";
    EXPECT_EQ(Board::get().open_files(), 0) << name << ": a device file left open";
    EXPECT_EQ(Board::get().live_mappings(), 0) << name << ": a mapping left in place";
    EXPECT_EQ(SimRun::get().open_nodes(), 0) << name << ": a device node left open";
    EXPECT_LE(after.heap, before.heap + heap_slack(calls)) << name << ": the heap grew";
#if !defined(QUORVIK_SOAK_ASAN)
    // AddressSanitizer holds freed memory back in quarantine; its resident
    // size says nothing about the library.
    EXPECT_LE(after.resident, before.resident + kRssSlack) << name << ": the resident size grew";
#endif
}

// ---- the board ----

constexpr char kModel[] = "QV-200";

// Three voltages, a temperature from the CPU's model-specific registers, one
// from the chip, and a fan; every role on an input; a digital-I/O relay.
const std::string kSection =
    "[QV-200]\n"
    "TotalSerialPort = 2\nTtyType = S\nTtyNum = 0,1\nTotalLanPort = 1\n"
    "S_Power_indicator = 1\nO_Relay = 1\nRelay_Node = /dev/dio\n"
    "Volt = 3\nTemp = 2\nFan = 1\n"
    "V_CPU_Index = 0\nV_DRAM_Index = 1\nV_5V_Index = 2\nT_CPU_Index = 0\nT_SYSTEM_Index = 1\n"
    "Index = 0x295\nData = 0x296\nSio = W83627DHG\n"
    "Vin0Str = VCORE\nVin0Bnk = 0\nVin0Idx = 0x20\nVin0Cof = 8\n"
    "Vin1Str = VDRAM\nVin1Bnk = 0\nVin1Idx = 0x21\nVin1Cof = 16\n"
    "Vin2Str = V5\nVin2Bnk = 0\nVin2Idx = 0x23\nVin2Cof = 24\n"
    "Tin0Str = CPU\nTin0Bnk = 0\nTin0MSR = 0x1A2\nTin0MSROffset = 0x19C\n"
    "Tin1Str = SYSTEM\nTin1Bnk = 0\nTin1Idx = 0x27\nTin1Cof = 1.0\nTin1Off = 0.0\n"
    "Fin0Str = SYSFAN\nFin0Bnk = 0\nFin0MSB = 0x28\nFin0LSB = 0x29\nFin0Count = 1350000\n";

// What the inputs read: 142 * 8, 100 * 16, 200 * 24 mV; 100 - 30 and 45
// degrees; 1350000 / 0x0546.
constexpr int kVoltages[] = {1136, 1600, 4800};
constexpr int kTemperatures[] = {70000, 45000};
constexpr int kFan = 1000;
constexpr int kPowerInputs[] = {1, 0};  // as SetUp sets them

class SoakBoard : public testing::Test {
  protected:
    void SetUp() override {
        QUORVIK_REQUIRE_PRIVATE_MOUNTS();
        descriptors_ = open_descriptors();
        SimRun& run = SimRun::get();
        run.reset();
        run.add_driver();
        run.set_power(0, 1);
        run.set_power(1, 0);
        chip_ = std::make_unique<SuperIoChip>(0x295, 0x296, true);
        chip_->set(0, 0x20, 142);
        chip_->set(0, 0x21, 100);
        chip_->set(0, 0x23, 200);
        chip_->set(0, 0x27, 45);
        chip_->set(0, 0x28, 0x05);
        chip_->set(0, 0x29, 0x46);
        fresh_board();
        forget_identity();

        char dir[] = "/tmp/quorvik-soak-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
        profile_ = dir_ + "/DeviceProfile.ini";
        std::ofstream(profile_) << kSection;
        write_system_profile(kSection);
    }
    void TearDown() override {
        if (dir_.empty()) return;
        SimRun::get().reset();
        Board::get().reset();
        forget_identity();
        std::filesystem::remove_all(dir_);
        EXPECT_EQ(open_descriptors(), descriptors_) << "descriptors grew over the whole test";
    }

    // An empty board with the chip, the CPU's registers and the firmware's
    // mailbox on it.
    void fresh_board() {
        Board& board = Board::get();
        board.reset();
        chip_->attach_to(board);
        board.msr[0x1A2] = 0x00640000;  // reference 100 degrees
        board.msr[0x19C] = 0x001E0000;  // 30 below it
        // The firmware's store answers a read with the offset asked for.
        board.smi_handler = [](platform::SmiRegisters& regs) {
            if ((regs.eax & 0xFF) == SMBX_CMD_READ) regs.eax = regs.esi;
        };
    }

    void soak_here(const char* name, long calls, const Call& call) {
        soak(name, calls, call, chip_.get());
    }
    struct Row {
        const char* name;
        Call call;
    };
    // Each row soaked in turn, `calls` times.
    void soak_rows(long calls, std::initializer_list<Row> rows) {
        for (const Row& row : rows) soak_here(row.name, calls, row.call);
    }

    std::unique_ptr<SuperIoChip> chip_;
    std::string dir_;
    std::string profile_;
    int descriptors_ = 0;
};

bool text_is(char* text, std::string_view expected) {
    const bool same = text != nullptr && expected == text;
    std::free(text);
    return same;
}

// A query that writes text into the caller's buffer: the status it answers
// and the text then in the buffer (which a failing query leaves untouched).
template <std::size_t Size = 30>
Call writes(int (*query)(char*), int status, std::string_view expected) {
    return [=](long) {
        char buf[Size] = "untouched";
        return query(buf) == status && std::string_view(buf) == expected;
    };
}

// A query of input i % N on the i-th call: it answers 0 and the input's value.
template <std::size_t N>
Call each_input(int (*query)(int, int*), const int (&expected)[N], int initial = 0) {
    return [query, &expected, initial](long i) {
        const int input = static_cast<int>(i % N);
        int value = initial;
        return query(input, &value) == 0 && value == expected[input];
    };
}

// A query that fills one value and answers 0.
template <typename Value, typename Query>
Call fills(Query query, Value expected) {
    return [=](long) {
        Value value{};
        return query(&value) == 0 && value == expected;
    };
}

// ---- libQuorvikSO ----

using HardwareSoak = SoakBoard;

TEST_F(HardwareSoak, IdentityRetriedOnEveryCall) {
    // A board without the baseboard structure identifies but never for good:
    // every call goes through /dev/mem and both images again. Inactive
    // structures (type 126) fill the table, so that the search for the missing
    // structure takes some hundred steps rather than the 32,768 of a table
    // followed by zeros, which cost 2 ms a call under AddressSanitizer.
    BoardImages no_serial;
    no_serial.fsegment.entry_point(0x800, no_serial.table_address).text(0x100, "ZEKT");
    no_serial.table.bios("Insyde Corp.", "R1.05").system("Quorvik", kModel);
    std::vector<std::uint8_t> inactive(257, 0x20);
    inactive[0] = 126;
    inactive[1] = 255;  // formatted length; two NULs end the empty string-set
    inactive[255] = inactive[256] = 0;
    for (int i = 0; i < 250; ++i) no_serial.table.raw(inactive);
    no_serial.table.end_of_table();
    ASSERT_LE(no_serial.table.bytes().size(), kSegmentSize);
    install(no_serial);
    soak_here("PlatformInfo (no serial: identifies each call)", kCalls, [](long) {
        return PlatformInfo() == 0 && std::string_view(Model_str) == kModel &&
               PlatformInfo_Flag == 0;
    });

    // Not a Quorvik board at all: every query tries, and fails, again.
    fresh_board();
    forget_identity();
    soak_here("GetDeviceName (not a Quorvik board)", kCalls, writes(GetDeviceName, 0, "untouched"));
}

TEST_F(HardwareSoak, IdentityAndMemory) {
    install(insyde_board(kModel, "R1.05", "SN-0042"));
    soak_rows(kCalls, {{"GetDeviceName", writes(GetDeviceName, 1, kModel)},
                       {"GetBiosVersion", writes(GetBiosVersion, 1, "R1.05")},
                       {"GetSerialNumber", writes(GetSerialNumber, 1, "SN-0042")},
                       {"PlatformInfo (identified)", [](long) { return PlatformInfo() == 0; }}});

    auto fsegment = std::make_unique<unsigned char[]>(kSegmentSize);
    soak_here("MemBlockRead (64 KiB F-segment)", kCalls, [&](long) {
        return MemBlockRead(kFSegment, fsegment.get(), kSegmentSize) == 0 &&
               std::memcmp(fsegment.get() + 0x100, "ZEKT", 4) == 0;
    });
    auto table = std::make_unique<unsigned char[]>(kSegmentSize);
    ASSERT_EQ(MemBlockRead(0xD8000, table.get(), kSegmentSize), 0);
    const int baseboard = search_type(table.get(), 2);
    ASSERT_GT(baseboard, 0);

    soak_here("F000_search_ZEKT", kCalls,
              [&](long) { return F000_search_ZEKT(fsegment.get()) == 0; });
    soak_here("F000_search_SMBIOS", kCalls, [&](long) {
        const unsigned char* anchor = nullptr;
        return F000_search_SMBIOS(fsegment.get(), &anchor) == 0 && anchor == fsegment.get() + 0x800;
    });
    soak_here("search_type", kCalls,
              [&](long) { return search_type(table.get(), 2) == baseboard; });
    // The signature board's text names its model after the signature.
    BoardImages signature = signature_board("ZEKT SG-7 P01.00001", "SN-1");
    soak_here("Copy_F000_MODEL", kCalls, [&](long) {
        char model[30] = {};
        return Copy_F000_MODEL(signature.fsegment.bytes().data(), model) == 0 &&
               std::string_view(model) == "SG-7";
    });
}

TEST_F(HardwareSoak, SmiMailbox) {
    soak_here("SmbxInit + SmbxExit", kCalls, [](long) {
        const bool raised = SmbxInit() == 0 && Board::get().permitted[0xB2];
        return SmbxExit() == 0 && raised && !Board::get().permitted[0xB2];
    });
    soak_here("SmbxSendSMI", kCalls, [](long i) {
        SmbxInit();
        SmiRegisterBlock regs{};
        regs.eax = SMBX_CMD_READ;
        regs.esi = static_cast<std::uint32_t>(i);
        const bool sent = SmbxSendSMI(&regs) == 0 && regs.eax == static_cast<std::uint32_t>(i);
        return SmbxExit() == 0 && sent;
    });
    soak_here("SmbxRead (64 bytes)", kCalls, [](long) {
        SmbxInit();
        unsigned char buf[64];
        const bool read = SmbxRead(0x100, sizeof buf, buf) == 0 && buf[16] == 0x10 && buf[17] == 1;
        return SmbxExit() == 0 && read;
    });
    soak_here("SmbxWrite (64 bytes)", kCalls, [](long) {
        SmbxInit();
        const unsigned char buf[64] = {1, 2, 3};
        const bool written = SmbxWrite(0x100, sizeof buf, buf) == 0;
        return SmbxExit() == 0 && written && Board::get().smi_calls.size() == 5;
    });
}

TEST_F(HardwareSoak, ProfileAndSensors) {
    const char* path = profile_.c_str();
    {
        ini::Profile loaded(path);
        ASSERT_TRUE(loaded);
        soak_here("SensorModelCheck", kCalls, [&](long) {
            char section[30] = {};
            return SensorModelCheck("QV-200-LX", loaded.get(), section) == 1 &&
                   std::string_view(section) == "qv-200";
        });
    }
    // Even calls read input 0, odd ones an input the profile lacks.
    const struct {
        const char* name;
        int (*reader)(const char*, const char*, int, char**);
        std::string text;
    } readers[] = {
        {"SensorVolt", SensorVolt, "VCORE: 1136"},
        {"SensorTemp", SensorTemp, "CPU: 70000"},
        {"SensorFan", SensorFan, "SYSFAN: 1000"},
    };
    for (const auto& r : readers) {
        soak_here(r.name, kCalls, [&](long i) {
            char* text = nullptr;
            if (i % 2 == 1) return r.reader(path, kModel, 7, &text) == SENSOR_ERR_KEY && !text;
            return r.reader(path, kModel, 0, &text) == SENSOR_OK && text_is(text, r.text);
        });
    }
    const struct {
        const char* name;
        int (*query)(const char*, const char*, char**);
        const char* count;
    } queries[] = {
        {"SensorVoltQuery", SensorVoltQuery, "3"},
        {"SensorTempQuery", SensorTempQuery, "2"},
        {"SensorFanQuery", SensorFanQuery, "1"},
    };
    for (const auto& q : queries) {
        soak_here(q.name, kCalls, [&](long) {
            char* text = nullptr;
            return q.query(path, kModel, &text) == SENSOR_OK && text_is(text, q.count);
        });
    }

    install(insyde_board(kModel, "R1.05", "SN-0042"));
    char model[30];
    ASSERT_EQ(GetDeviceName(model), 1);
    soak_here("GetSensorValueByType", kCalls, [&](long i) {
        const unsigned long type = static_cast<unsigned long>(i % 3);
        const int expected = type == SENSOR_TEMP   ? kTemperatures[0]
                             : type == SENSOR_VOLT ? kVoltages[0]
                                                   : kFan;
        int value = 0;
        return GetSensorValueByType(model, type, 0, &value) == 1 && value == expected;
    });
}

// Where resources are most easily lost: the early returns after something was
// acquired.
TEST_F(HardwareSoak, FailurePaths) {
    install(insyde_board(kModel, "R1.05", "SN-0042"));
    Board& board = Board::get();
    board.fail_map = true;  // /dev/mem opens, its mapping fails
    soak_here("GetDeviceName (/dev/mem mapping fails)", kCalls,
              writes(GetDeviceName, 0, "untouched"));
    board.fail_map = false;

    const char* path = profile_.c_str();
    board.fail_open_msr = true;
    soak_here("SensorTemp (MSR device missing)", kCalls, [&](long) {
        char* text = nullptr;
        return SensorTemp(path, kModel, 0, &text) == SENSOR_ERR_VALUE && text == nullptr;
    });
    board.fail_open_msr = false;

    // The data port's permission is refused after the index port's was given.
    board.ioperm_result = [](const PermissionCall& call) {
        return call.from == 0x296 && call.turn_on != 0 ? -1 : 0;
    };
    soak_here("SensorVolt (data port permission refused)", kCalls, [&](long) {
        char* text = nullptr;
        return SensorVolt(path, kModel, 0, &text) == SENSOR_ERR_VALUE && text == nullptr;
    });
    // The SMI port refused after identification: the dispatch reads on
    // without it.
    board.ioperm_result = nullptr;
    char model[30];
    ASSERT_EQ(GetDeviceName(model), 1);
    board.ioperm_result = [](const PermissionCall& call) { return call.from == 0xB2 ? -1 : 0; };
    soak_here("GetSensorValueByType (SMI port refused)", kCalls, [&](long) {
        int value = 0;
        return GetSensorValueByType(model, SENSOR_FAN, 0, &value) == 1 && value == kFan;
    });
}

// ---- libquorvik without commands ----

class ApiSoak : public SoakBoard {
  protected:
    void SetUp() override {
        SoakBoard::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        install(insyde_board(kModel, "R1.05", "SN-0042"));
    }
};

TEST_F(ApiSoak, IdentityProfileDeviceAndSensors) {
    soak_rows(kCalls, {{"get_device_name", writes<128>(get_device_name, 0, kModel)},
                       {"get_bios_ver", writes<128>(get_bios_ver, 0, "R1.05")},
                       {"get_ser_num", writes<128>(get_ser_num, 0, "SN-0042")},
                       {"get_uart_count", fills(get_uart_count, 2)},
                       {"get_eth_count", fills(get_eth_count, 1)},
                       {"get_pwr_status", each_input(get_pwr_status, kPowerInputs, -1)},
                       {"set_relay (digital-I/O driver)",
                        [](long i) {
                            const int value = static_cast<int>(i % 2);
                            return set_relay(0, value) == 0 && SimRun::get().relay(0) == value;
                        }},
                       {"get_milli_volt", each_input(get_milli_volt, kVoltages)},
                       {"get_temperature", each_input(get_temperature, kTemperatures)}});
}

// ---- libquorvik's command-running functions ----

// Tools that answer at once from the shell's own built-ins; the pipelines'
// grep, sed and awk are the machine's.
class CommandSoak : public ApiSoak {
  protected:
    void SetUp() override {
        ApiSoak::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        tools_ = std::make_unique<FakeTools>();
        const std::string& dir = tools_->dir();
        const std::string cat = FakeTools::real("cat");
        write_script(dir + "/nproc", "echo 2");
        write_script(dir + "/free",
                     "echo '               total        used        free      shared  "
                     "buff/cache   available'\n"
                     "echo 'Mem:            8000        2000        5000         100        "
                     "1000        5900'");
        write_script(dir + "/df",
                     "echo 'Filesystem     1M-blocks   Used Available Capacity Mounted on'\n"
                     "echo '/dev/sda1        100000M 40000M    60000M      40% /'");
        write_script(dir + "/ls", "exit 0");
        write_script(dir + "/lsof", "echo 'agent 42 root 3u CHR 4,64 0t0 92 /dev/ttyS0'");
        write_script(dir + "/ifconfig", "echo 'eth0: flags=4163<UP,BROADCAST,RUNNING>  mtu 1500'");
        write_script(dir + "/ifstat",
                     "echo '       eth0'; echo ' Kbps in  Kbps out'; echo '  51200.0  51200.0'");
        write_script(dir + "/cat",
                     "case \"$1\" in\n"
                     "/sys/class/net/eth0/speed) echo 1000 ;;\n"
                     "/sys/class/net/eth0/carrier) echo 1 ;;\n"
                     "*) exec " +
                         cat + " \"$@\" ;;\nesac");
    }

    std::unique_ptr<FakeTools> tools_;
    MountedDisk disk_{"/dev/sda1"};  // in the mount table, for the disk queries
};

TEST_F(CommandSoak, CommandRunningFunctions) {
    const auto disk = [](int (*query)(const char*, double*)) {
        return [query](double* value) { return query("/dev/sda1", value); };
    };
    soak_rows(kCommandCalls,
              {{"get_cpu_count", fills(get_cpu_count, 2)},
               {"get_mem_usage", fills(get_mem_usage, 25)},
               {"get_mem_total_size", fills(get_mem_total_size, 8000.0)},
               {"get_mem_avail_size", fills(get_mem_avail_size, 5000.0)},
               {"get_uart_status", fills([](int* v) { return get_uart_status(0, v); }, 1)},
               {"get_eth_speed", fills([](int* v) { return get_eth_speed(0, v); }, 1000)},
               {"get_eth_link", fills([](int* v) { return get_eth_link(0, v); }, 1)},
               // With an ifstat of our own the 0.1 s measurement takes no time.
               {"get_eth_usage (ifstat answers at once)",
                fills([](int* v) { return get_eth_usage(0, v); }, 10)},
               {"get_disk_usage", fills(disk(get_disk_usage), 40.0)},
               {"get_disk_total_size", fills(disk(get_disk_total_size), 100000.0)},
               {"get_disk_avail_size", fills(disk(get_disk_avail_size), 60000.0)}});
}

// The KT-500R's relay goes through the shell to /dev/relay, in a private /dev.
TEST_F(CommandSoak, ShellRelay) {
    Overlay dev("/dev");
    QUORVIK_REQUIRE_OVERLAY(dev);
    fresh_board();
    forget_identity();
    install(insyde_board("KT-500R", "R1.05", "SN-0042"));
    write_system_profile("[KT-500R]\nO_Relay = 1\n");
    soak_here("set_relay (KT-500R, shell)", kCommandCalls, [](long i) {
        const int value = static_cast<int>(i % 2);
        if (set_relay(0, value) != 0) return false;
        std::ifstream relay("/dev/relay");
        int written = -1;
        relay >> written;
        return written == value;
    });
}

// One second of sleep a call: a few calls, the same checks.
TEST_F(CommandSoak, SleepingFunctions) {
    soak_here("get_average_cpu_usage (sleeps 1 s)", kSleepingCalls, [](long) {
        double usage = -1;
        return get_average_cpu_usage(&usage) == 0 && usage >= 0.0 && usage <= 100.0;
    });
    soak_here("get_cpu_usage (sleeps 1 s)", kSleepingCalls, [](long) {
        double usage = -1;
        return get_cpu_usage(0, &usage) == 0 && usage >= 0.0 && usage <= 100.0;
    });
}

}  // namespace
}  // namespace quorvik::sim
