// Both libraries called from many threads at once on the simulated board.
// Every call must answer exactly as it does alone; the Super I/O chip must
// never see one reading break into another, nor the firmware two mailbox
// transfers mixed; no thread may touch a port it holds no permission for.
// In the Tsan build ThreadSanitizer's first report ends the run (see
// tests/CMakeLists.txt).
#include <gtest/gtest.h>
#include <iniparser.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "QuorvikSO.h"
#include "bios_builder.h"
#include "capture.h"
#include "concurrent_board.h"
#include "fake_tools.h"
#include "fixed_paths.h"
#include "private_mounts.h"
#include "quorvik.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/sensor_reader.h"
#include "sim_run.h"

namespace quorvik::sim {
namespace {

constexpr char kModel[] = "AB-1234";

// Inputs on three banks of a W83627DHG, the same register numbers in each,
// so that a reading that lands in another thread's bank reads a wrong value.
// Temperature input 1 comes from the model-specific registers.
const std::string kProfile =
    "[AB-1234]\n"
    "TotalSerialPort = 2\nTtyType = S\nTtyNum = 0,1\nTotalLanPort = 2\n"
    "S_Power_indicator = 1\nO_Relay = 8\nRelay_Node = /dev/dio\n"
    "Volt = 3\nTemp = 2\nFan = 2\n"
    "V_CPU_Index = 0\nV_DRAM_Index = 1\nV_5V_Index = 2\nT_CPU_Index = 1\nT_SYSTEM_Index = 0\n"
    "Index = 0x295\nData = 0x296\nSio = W83627DHG\n"
    "Vin0Str = VCORE\nVin0Bnk = 0\nVin0Idx = 0x20\nVin0Cof = 8\n"
    "Vin1Str = VDRAM\nVin1Bnk = 1\nVin1Idx = 0x20\nVin1Cof = 16\n"
    "Vin2Str = V5\nVin2Bnk = 2\nVin2Idx = 0x20\nVin2Cof = 24\n"
    "Tin0Str = SYSTEM\nTin0Bnk = 1\nTin0Idx = 0x27\n"
    "Tin1Str = CPU\nTin1Bnk = 0\nTin1MSR = 0x1A2\nTin1MSROffset = 0x19C\n"
    "Fin0Str = SYSFAN\nFin0Bnk = 0\nFin0MSB = 0x28\nFin0LSB = 0x29\nFin0Count = 1350000\n"
    "Fin1Str = CPUFAN\nFin1Bnk = 2\nFin1MSB = 0x28\nFin1LSB = 0x29\nFin1Count = 1350000\n"
    "[kt-5]\nVolt = 1\n";

constexpr char kSystemProfile[] = "/etc/quorvik/DeviceProfile.ini";

// One call (or a short fixed sequence) and everything it answered, as text.
struct Probe {
    std::string name;
    std::function<std::string(int thread)> run;
};
using Answers = std::map<std::string, std::string>;

template <typename... Parts>
std::string answer(const Parts&... parts) {
    std::ostringstream text;
    ((text << parts << ' '), ...);
    return text.str();
}

// ---- libQuorvikSO ----

using TextQuery = int (*)(char*);
using Reader = quorvik::sensor::Reader;
using CountQuery = int (*)(const char*, const char*, char**);

std::string heap_text(int status, char* text) {
    std::string copy = text != nullptr ? text : "(none)";
    std::free(text);
    return answer(status, copy);
}

// The board's images, the F-segment carrying a model word after the
// signature.
const BoardImages& board_images() {
    static const BoardImages board = [] {
        BoardImages images = insyde_board(kModel, "R1.00", "SN1");
        images.fsegment.text(0x100, "ZEKT AB-1234 R1.00");
        return images;
    }();
    return board;
}

const std::vector<unsigned char>& fsegment() {
    return board_images().fsegment.bytes();
}

// The structure table as a search reads it: a whole segment.
const std::vector<unsigned char>& table() {
    static const std::vector<unsigned char> segment = [] {
        std::vector<unsigned char> bytes = board_images().table.bytes();
        bytes.resize(kSegmentSize, 0);
        return bytes;
    }();
    return segment;
}

// Writes a region of the firmware store that belongs to this thread with a
// pattern of this call, reads it back and sends one echo SMI.
std::string mailbox_round_trip(int thread) {
    static std::atomic<unsigned> calls{0};
    const unsigned call = calls.fetch_add(1);
    constexpr std::uint32_t kLength = Firmware::kReadChunks * 16;
    const std::uint32_t offset = static_cast<std::uint32_t>(thread) * kLength;
    unsigned char out[kLength];
    unsigned char expected[kLength];
    for (std::uint32_t i = 0; i < kLength; ++i) {
        out[i] = static_cast<unsigned char>(call * 7 + i * 13 + static_cast<unsigned>(thread));
        // Bytes 10 and 11 of a chunk do not reach the firmware.
        expected[i] = (i % 16 == 10 || i % 16 == 11) ? 0 : out[i];
    }
    unsigned char back[kLength];
    const int init = SmbxInit();
    const int written = SmbxWrite(offset, kLength, out);
    const int read = SmbxRead(offset, kLength, back);
    SmiRegisterBlock echo{Firmware::kEcho, call, 0, 0, 0, 0, 0};
    const int sent = SmbxSendSMI(&echo);
    const int exited = SmbxExit();
    const bool same = std::memcmp(back, expected, kLength) == 0;
    return answer(init, written, read, same ? "same" : "differs", sent,
                  echo.ebx == ~call ? "echoed" : "not-echoed", exited);
}

// Queries that write text into a buffer of `Size` bytes.
template <std::size_t Size>
std::vector<Probe> text_probes(std::initializer_list<std::pair<const char*, TextQuery>> queries) {
    std::vector<Probe> probes;
    for (const auto& [name, query] : queries) {
        probes.push_back({name, [query = query](int) {
                              char buf[Size] = {};
                              const int status = query(buf);
                              return answer(status, buf);
                          }});
    }
    return probes;
}

std::vector<Probe> identity_probes() {
    std::vector<Probe> probes = text_probes<30>({{"GetDeviceName", GetDeviceName},
                                                 {"GetBiosVersion", GetBiosVersion},
                                                 {"GetSerialNumber", GetSerialNumber}});
    probes.push_back({"PlatformInfo", [](int) { return answer(PlatformInfo()); }});
    return probes;
}

std::vector<Probe> sensor_probes() {
    std::vector<Probe> probes;
    const struct {
        const char* name;
        Reader reader;
        unsigned long type;
        int inputs;
    } kinds[] = {{"Volt", SensorVolt, SENSOR_VOLT, 3},
                 {"Temp", SensorTemp, SENSOR_TEMP, 2},
                 {"Fan", SensorFan, SENSOR_FAN, 2}};
    for (const auto& kind : kinds) {
        for (int input = 0; input < kind.inputs; ++input) {
            probes.push_back({std::string("Sensor") + kind.name + " " + std::to_string(input),
                              [reader = kind.reader, input](int) {
                                  char* text = nullptr;
                                  const int status = reader(kSystemProfile, kModel, input, &text);
                                  return heap_text(status, text);
                              }});
            // As a caller does it: the model name first, then the reading.
            probes.push_back(
                {std::string("GetSensorValueByType ") + kind.name + " " + std::to_string(input),
                 [type = kind.type, input](int) {
                     char model[30] = {};
                     GetDeviceName(model);
                     int value = -1;
                     const int status = GetSensorValueByType(model, type, input, &value);
                     return answer(status, value);
                 }});
        }
    }
    for (const auto& [name, query] :
         {std::pair<const char*, CountQuery>{"SensorVoltQuery", SensorVoltQuery},
          {"SensorTempQuery", SensorTempQuery},
          {"SensorFanQuery", SensorFanQuery}}) {
        probes.push_back({name, [query = query](int) {
                              char* text = nullptr;
                              const int status = query(kSystemProfile, kModel, &text);
                              return heap_text(status, text);
                          }});
    }
    probes.push_back({"SensorModelCheck", [](int) {
                          const ini::Profile profile(kSystemProfile);
                          char section[30] = {};
                          const int status = SensorModelCheck("KT-500R", profile.get(), section);
                          return answer(status, section);
                      }});
    return probes;
}

std::vector<Probe> memory_probes() {
    return {
        {"MemBlockRead",
         [](int) {
             std::vector<unsigned char> copy(kSegmentSize);
             const int status = MemBlockRead(kFSegment, copy.data(), copy.size());
             const bool same = copy == fsegment();
             return answer(status, same ? "same" : "differs");
         }},
        {"F000_search_ZEKT", [](int) { return answer(F000_search_ZEKT(fsegment().data())); }},
        {"F000_search_SMBIOS",
         [](int) {
             const unsigned char* anchor = nullptr;
             const int status = F000_search_SMBIOS(fsegment().data(), &anchor);
             return answer(status, anchor - fsegment().data());
         }},
        {"search_type", [](int) { return answer(search_type(table().data(), 2)); }},
        {"Copy_F000_MODEL",
         [](int) {
             char model[30] = {};
             const int status = Copy_F000_MODEL(fsegment().data(), model);
             return answer(status, model);
         }},
        {"SmbxInit SmbxExit",
         [](int) {
             const int raised = SmbxInit();
             return answer(raised, SmbxExit());
         }},
        {"SmbxWrite SmbxRead SmbxSendSMI", mailbox_round_trip},
    };
}

// ---- libquorvik ----

template <typename Value>
Probe out_probe(std::string name, std::function<int(Value*)> query) {
    return {std::move(name), [query = std::move(query)](int) {
                Value value{};
                const int status = query(&value);
                return answer(status, value);
            }};
}

std::vector<Probe> api_probes() {
    std::vector<Probe> probes = text_probes<128>({{"get_device_name", get_device_name},
                                                  {"get_bios_ver", get_bios_ver},
                                                  {"get_ser_num", get_ser_num}});
    probes.push_back(out_probe<int>("get_cpu_count", get_cpu_count));
    probes.push_back(out_probe<int>("get_mem_usage", get_mem_usage));
    probes.push_back(out_probe<double>("get_mem_total_size", get_mem_total_size));
    probes.push_back(out_probe<double>("get_mem_avail_size", get_mem_avail_size));
    probes.push_back(out_probe<int>("get_uart_count", get_uart_count));
    probes.push_back(out_probe<int>("get_eth_count", get_eth_count));
    // Queries of a port or an input, each index its own probe.
    const struct {
        const char* name;
        int (*query)(int, int*);
        int indices;
    } indexed[] = {{"get_uart_status", get_uart_status, 2}, {"get_eth_speed", get_eth_speed, 2},
                   {"get_eth_link", get_eth_link, 2},       {"get_pwr_status", get_pwr_status, 2},
                   {"get_temperature", get_temperature, 2}, {"get_eth_usage", get_eth_usage, 1},
                   {"get_milli_volt", get_milli_volt, 3}};
    for (const auto& [name, query, indices] : indexed) {
        for (int index = 0; index < indices; ++index) {
            probes.push_back(out_probe<int>(std::string(name) + " " + std::to_string(index),
                                            [query, index](int* v) { return query(index, v); }));
        }
    }
    for (const auto& [name, query] :
         {std::pair<const char*, int (*)(const char*, double*)>{"get_disk_usage", get_disk_usage},
          {"get_disk_total_size", get_disk_total_size},
          {"get_disk_avail_size", get_disk_avail_size}}) {
        probes.push_back(
            out_probe<double>(std::string(name) + " /data",
                              [query = query](double* v) { return query("/data", v); }));
    }
    // Each thread drives a relay of its own to a value of its own.
    probes.push_back(
        {"set_relay", [](int thread) { return answer(set_relay(thread, thread % 2)); }});
    return probes;
}

std::string first_few(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < 5; ++i) text += lines[i] + "\n";
    return text;
}

void expect_none_differ(const std::vector<std::string>& wrong) {
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " answers differ, e.g.\n" << first_few(wrong);
}

template <typename... Lists>
std::vector<Probe> joined(Lists... lists) {
    std::vector<Probe> all;
    (all.insert(all.end(), lists.begin(), lists.end()), ...);
    return all;
}

class ConcurrentCalls : public testing::Test {
  protected:
    void SetUp() override {
        // The mount namespace is entered by this thread before any other
        // starts, so that all of them see the private profile.
        QUORVIK_REQUIRE_PRIVATE_MOUNTS();
        SimRun& run = SimRun::get();
        run.reset();
        run.add_driver();
        run.set_power(0, 1);
        run.set_power(1, 0);
        Board& board = Board::get();
        board.reset();
        board.per_thread_permissions = true;
        board.yield_between_accesses = true;
        chip_.attach_to(board);
        arrange_chip();
        board.msr = {{0x1A2, 100u << 16}, {0x19C, 40u << 16}};  // 100 - 40 degrees
        firmware_.serve(board);
        install(board_images());
        write_system_profile(kProfile);
        forget_identity();
        arrange_tools();
    }

    void TearDown() override {
        Board& board = Board::get();
        EXPECT_EQ(board.permission_violations, 0) << "a port touched without permission";
        EXPECT_FALSE(board.any_thread_permission_left()) << "a port permission left raised";
        EXPECT_EQ(chip_.foreign_data_accesses, 0) << "Super I/O sequences interleaved";
        EXPECT_EQ(firmware_.broken_transfers, 0) << "mailbox transfers interleaved";
        EXPECT_EQ(board.open_files(), 0) << "a descriptor left open";
        SimRun& run = SimRun::get();
        EXPECT_EQ(run.open_nodes(), 0) << "a device node left open";
        for (const DriverRequest& request : run.driver_log())
            EXPECT_TRUE(request.ok) << request.name << " port " << request.port << " refused";
        run.reset();
        board.reset();
        forget_identity();
    }

    // Distinct values in every bank; the profile's inputs read these.
    void arrange_chip() {
        for (int bank = 0; bank < SuperIoChip::kBanks; ++bank) {
            for (std::uint8_t reg = 0x20; reg <= 0x29; ++reg) {
                chip_.set(bank, reg, static_cast<std::uint8_t>(0x10 * bank + reg));
            }
        }
        chip_.set(0, 0x20, 142);  // VCORE 1136 mV
        chip_.set(1, 0x20, 100);  // VDRAM 1600 mV
        chip_.set(2, 0x20, 200);  // V5 4800 mV
        chip_.set(1, 0x27, 45);   // SYSTEM 45 degrees
        chip_.set(0, 0x28, 0x05);
        chip_.set(0, 0x29, 0x46);  // SYSFAN 1350000 / 1350
        chip_.set(2, 0x28, 0x0A);
        chip_.set(2, 0x29, 0x8C);  // CPUFAN 1350000 / 2700
    }

    void arrange_tools() {
        const std::string dir = tools_.dir();
        const std::string cat = FakeTools::real("cat");
        tools_.add("nproc", "echo 4");
        tools_.add("free",
                   "echo '       total  used  free  shared  buff/cache  available'\n"
                   "echo 'Mem:   8000  2000  5000  10  1000  5900'");
        tools_.add("df",
                   "echo 'Filesystem 1048576-blocks Used Available Capacity Mounted on'\n"
                   "echo '/dev/sdz1 15000M 7000M 8000M 47% /data'");
        tools_.add("ifconfig", "echo 'eth0: flags=4163<UP,BROADCAST,RUNNING,MULTICAST>  mtu 1500'");
        tools_.add("cat",
                   "case \"$1\" in\n"
                   "/sys/class/net/eth0/speed) echo 1000 ;;\n"
                   "/sys/class/net/eth0/carrier) echo 1 ;;\n"
                   "*) exec " +
                       cat + " \"$@\" ;;\nesac");
        tools_.add("ifstat",
                   "echo '       eth0'; echo ' Kbps in  Kbps out'; echo '20480.0 10240.0'");
        tools_.add("ls",
                   "case \"$1\" in /dev/ttyS0|/dev/ttyS1|/usr/bin/ifstat) exit 0 ;; esac\nexit 2");
        tools_.add("lsof",
                   "[ \"$1\" = /dev/ttyS1 ] || exit 1\n"
                   "echo 'agent 42 root 3u CHR 4,65 0t0 92 /dev/ttyS1'");
    }

    // Every probe once, alone; then the board forgets its identity again so
    // that the threads race into identification.
    static Answers alone(const std::vector<Probe>& probes) {
        Answers answers;
        for (const Probe& probe : probes) answers[probe.name] = probe.run(0);
        forget_identity();
        return answers;
    }

    // Runs every probe `rounds` times in each thread, each thread in an order
    // of its own, all threads released at once; returns the answers that
    // differ from `expected`.
    static std::vector<std::string> together(const std::vector<Probe>& probes,
                                             const Answers& expected, int threads, int rounds) {
        std::mutex mutex;
        std::vector<std::string> wrong;
        std::atomic<bool> go{false};
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                std::vector<std::size_t> order(probes.size());
                std::iota(order.begin(), order.end(), std::size_t{0});
                std::mt19937 shuffler(static_cast<unsigned>(t));
                while (!go.load()) std::this_thread::yield();
                for (int round = 0; round < rounds; ++round) {
                    std::shuffle(order.begin(), order.end(), shuffler);
                    for (const std::size_t k : order) {
                        const Probe& probe = probes[k];
                        std::string got = probe.run(t);
                        if (got != expected.at(probe.name)) {
                            const std::lock_guard lock(mutex);
                            wrong.push_back(probe.name + ": " + got +
                                            "(alone: " + expected.at(probe.name) + ")");
                        }
                    }
                }
            });
        }
        go = true;
        for (auto& worker : workers) worker.join();
        return wrong;
    }

    CheckedChip chip_{0x295, 0x296, true};
    Firmware firmware_;
    FakeTools tools_;
    MountedDisk disk_{"/data"};  // in the mount table, for the disk queries
};

TEST_F(ConcurrentCalls, SensorReadingsFromManyThreadsReadAsAlone) {
    const auto probes = joined(identity_probes(), sensor_probes());
    const Answers expected = alone(probes);
    // What the arrangement gives: the checks below are worth something only
    // if the readings themselves are right.
    EXPECT_EQ(expected.at("GetDeviceName"), "1 AB-1234 ");
    EXPECT_EQ(expected.at("SensorVolt 1"), "0 VDRAM: 1600 ");
    EXPECT_EQ(expected.at("GetSensorValueByType Volt 2"), "1 4800 ");
    EXPECT_EQ(expected.at("GetSensorValueByType Temp 0"), "1 45000 ");
    EXPECT_EQ(expected.at("GetSensorValueByType Temp 1"), "1 60000 ");
    EXPECT_EQ(expected.at("SensorFan 1"), "0 CPUFAN: 500 ");
    EXPECT_EQ(expected.at("SensorFanQuery"), "0 2 ");
    EXPECT_EQ(expected.at("SensorModelCheck"), "1 kt-5 ");

    expect_none_differ(together(probes, expected, 8, 30));
    EXPECT_STREQ(Model_str, kModel);
    EXPECT_EQ(PlatformInfo_Flag, 1);
}

// Without a serial number identification is never final: every identity
// query identifies again, clearing and refilling the cache, while other
// threads' readings compare their model name with it.
TEST_F(ConcurrentCalls, SensorReadingsWhileIdentificationRunsAgainAndAgain) {
    BoardImages no_serial = board_images();
    no_serial.table = SmbiosTable().bios("Insyde Corp.", "R1.00").system("Quorvik", kModel);
    no_serial.table.end_of_table();
    // Elsewhere in memory, away from the first table's bytes.
    no_serial.table_address = 0xD9000;
    no_serial.fsegment.entry_point(0x800, no_serial.table_address);
    install(no_serial);
    const auto probes = joined(identity_probes(), sensor_probes());
    Answers expected;
    std::vector<std::string> wrong;
    const std::string printed = printed_by([&] {
        expected = alone(probes);
        wrong = together(probes, expected, 6, 10);
    });
    expect_none_differ(wrong);
    EXPECT_EQ(expected.at("GetSerialNumber"), "1  ");
    EXPECT_EQ(expected.at("GetSensorValueByType Volt 0"), "1 1136 ");
    EXPECT_EQ(printed.find("product input error"), std::string::npos) << "a reading saw no model";
    EXPECT_EQ(PlatformInfo_Flag, 0);
}

TEST_F(ConcurrentCalls, MailboxTransfersFromManyThreadsStayWhole) {
    const auto probes = memory_probes();
    const Answers expected = alone(probes);
    EXPECT_EQ(expected.at("SmbxWrite SmbxRead SmbxSendSMI"), "0 0 0 same 0 echoed 0 ");
    EXPECT_EQ(expected.at("MemBlockRead"), "0 same ");
    EXPECT_EQ(expected.at("Copy_F000_MODEL"), "0 AB-1234 ");

    expect_none_differ(together(probes, expected, 8, 100));
}

TEST_F(ConcurrentCalls, EveryFunctionOfBothLibrariesAtOnce) {
    const auto probes = joined(identity_probes(), sensor_probes(), memory_probes(), api_probes());
    const Answers expected = alone(probes);
    EXPECT_EQ(expected.at("get_device_name"), "0 AB-1234 ");
    EXPECT_EQ(expected.at("get_cpu_count"), "0 4 ");
    EXPECT_EQ(expected.at("get_mem_usage"), "0 25 ");
    EXPECT_EQ(expected.at("get_uart_status 1"), "0 1 ");
    EXPECT_EQ(expected.at("get_eth_speed 0"), "0 1000 ");
    EXPECT_EQ(expected.at("get_eth_speed 1"), std::to_string(ERR_LINK_DOWN) + " 0 ");
    EXPECT_EQ(expected.at("get_eth_usage 0"), "0 3 ");
    EXPECT_EQ(expected.at("get_disk_avail_size /data"), "0 8000 ");
    EXPECT_EQ(expected.at("get_pwr_status 0"), "0 1 ");
    EXPECT_EQ(expected.at("get_milli_volt 1"), "0 1600 ");
    EXPECT_EQ(expected.at("get_temperature 0"), "0 60000 ");
    EXPECT_EQ(expected.at("set_relay"), "0 ");

    constexpr int kThreads = 4;
    expect_none_differ(together(probes, expected, kThreads, 2));
    EXPECT_STREQ(Model_str, kModel);
    EXPECT_STREQ(BIOS_Ver_str, "R1.00");
    EXPECT_STREQ(SerialNumber_str, "SN1");
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(SimRun::get().relay(t), t % 2) << "relay " << t;
}

}  // namespace
}  // namespace quorvik::sim
