// quorvik-info's report on a simulated board whose every reading is known:
// the Super I/O chip behind the sensors, the identity in BIOS memory, the
// system profile, the digital-I/O driver, and tools of our own on PATH for
// the shell commands. One collection per test, rendered three ways.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "api_fixture.h"
#include "exposition.h"
#include "fake_tools.h"
#include "fixed_paths.h"
#include "report.h"
#include "superio_chip.h"

namespace quorvik::report::test {
namespace {

using sim::Board;
using sim::FakeTools;

// The DRAM role's label is too long for the dispatch, which refuses the
// reading while the reader still gives the label; the 5V role lies beyond
// Volt; fan input 1 has no keys.
const std::string kLongLabel(45, 'D');
const std::string kSection =
    "Volt = 2\nTemp = 2\nFan = 2\n"
    "V_CPU_Index = 0\nV_DRAM_Index = 1\nV_5V_Index = 2\nT_CPU_Index = 1\nT_SYSTEM_Index = 0\n"
    "TotalLanPort = 2\nTotalSerialPort = 2\nTtyType = S\nTtyNum = 0,1\nS_Power_indicator = 1\n"
    "Index = 0x295\nData = 0x296\nSio = W83627DHG\n"
    "Vin0Str = VCORE\nVin0Bnk = 0\nVin0Idx = 0x20\nVin0Cof = 8\n"
    "Vin1Str = " +
    kLongLabel +
    "\nVin1Bnk = 0\nVin1Idx = 0x21\nVin1Cof = 16\n"
    "Tin0Str = SYSTEM\nTin0Bnk = 0\nTin0Idx = 0x27\nTin0Cof = 1.0\nTin0Off = 0.0\n"
    "Tin1Str = CPUTIN\nTin1Bnk = 0\nTin1Idx = 0x2A\nTin1Cof = 1.0\nTin1Off = 0.0\n"
    "Fin0Str = SYSFAN\nFin0Bnk = 0\nFin0MSB = 0x28\nFin0LSB = 0x29\nFin0Count = 1350000\n";

// The serial number carries the characters a label value must escape.
const std::string kSerial = "SN\"7\\2";

class ReportBoard : public sim::BoardApiTest {
  protected:
    void SetUp() override {
        BoardApiTest::SetUp();
        if (IsSkipped()) return;
        install(sim::insyde_board("KT-500R", "R1.05", kSerial));
        sim::write_system_profile("[KT-500R]\n" + kSection);
        arrange_chip();
        arrange_tools();
        run().add_driver();
        run().set_power(0, 1);
        run().set_power(1, 0);
    }
    void TearDown() override {
        EXPECT_TRUE(Board::get().permitted.none()) << "a port permission was left raised";
        BoardApiTest::TearDown();
        Board::get().reset();
    }

    void arrange_chip() {
        chip_ = std::make_unique<sim::SuperIoChip>(0x295, 0x296, true);
        chip_->attach_to(Board::get());
        chip_->set(0, 0x20, 142);  // 1136 mV
        chip_->set(0, 0x21, 100);  // 1600 mV, refused by the dispatch
        chip_->set(0, 0x27, 45);   // system 45 degrees
        chip_->set(0, 0x2A, 60);   // CPU 60 degrees
        chip_->set(0, 0x28, 0x05);
        chip_->set(0, 0x29, 0x46);  // 1350000 / 0x0546 = 1000 RPM
    }

    // Two CPUs whose /proc/stat counters grow with the time (hundredths of a
    // second), whoever samples them when: all CPUs 40 % busy, CPU 0 60 %,
    // CPU 1 10 %. Memory 25 % used, 8000 MiB, 5000 MiB free. Disk /dev/sim0
    // of 1000 MiB, 25 % used. eth0 up at 1000 Mbit/s carrying 50 Mbit/s,
    // eth1 down. ttyS1 held open.
    void arrange_tools() {
        const std::string cat = FakeTools::real("cat");
        tools_.add("nproc", "echo 2");
        tools_.add("cat", "if [ \"$1\" = /proc/stat ]; then\n" +
                              stat_lines({{40, 60}, {60, 40}, {10, 90}}) +
                              "  exit 0\nfi\n"
                              "case \"$1\" in\n  /sys/class/net/eth0/speed) echo 1000 ;;\n"
                              "  /sys/class/net/eth0/carrier) echo 1 ;;\n  *) exec " +
                              cat + " \"$@\" ;;\nesac");
        tools_.add("free",
                   "echo '       total   used   free  shared  buff/cache  available'\n"
                   "echo 'Mem:    8000   2000   5000      10        1000       6000'");
        tools_.add("df",
                   "echo 'Filesystem 1M-blocks Used Available Capacity Mounted on'\n"
                   "echo '/dev/sim0 1000M 250M 750M 25% /'");
        tools_.add("ifconfig", "echo 'eth0: flags=4163<UP,BROADCAST,RUNNING,MULTICAST>  mtu 1500'");
        tools_.add("ifstat", "echo '  eth0'; echo ' Kbps in  Kbps out'; echo ' 25600.00 25600.00'");
        tools_.add("ls",
                   "case \"$1\" in /usr/bin/ifstat|/dev/ttyS0|/dev/ttyS1) exit 0 ;; esac\n"
                   "exit 2");
        tools_.add("lsof",
                   "[ \"$1\" = /dev/ttyS1 ] && echo 'agent 42 root 3u CHR 4,65 0t0 1 "
                   "/dev/ttyS1'\nexit 0");
    }

    // Shell lines printing /proc/stat's "cpu" line and one line per CPU,
    // its {user, idle} counters growing by that much per hundredth.
    static std::string stat_lines(const std::vector<std::pair<int, int>>& rates) {
        std::string lines = "  t=$(( $(date +%s%N) / 10000000 ))\n";
        for (std::size_t i = 0; i < rates.size(); ++i) {
            const std::string name = i == 0 ? "cpu " : "cpu" + std::to_string(i - 1);
            const auto [busy, idle] = rates[i];
            lines += "  echo \"" + name + " $((t * " + std::to_string(busy) + ")) 0 0 $((t * " +
                     std::to_string(idle) + ")) 0 0 0\"\n";
        }
        return lines;
    }

    Report collect_board(bool per_cpu) {
        CollectOptions options;
        options.per_cpu = per_cpu;
        options.disks = {"/dev/sim0", "/dev/nothing"};
        options.cpu_progress = [this](int done, int total) { progress_.emplace_back(done, total); };
        Report report;
        // time() reads a coarser clock than the collection's: both bounds from
        // the system clock, the collection's own second between them.
        collected_at_ = now_seconds();
        diagnostics_ = sim::printed_by([&] { report = collect(options); });
        collected_until_ = now_seconds();
        return report;
    }

    FakeTools tools_;
    sim::MountedDisk disk_{"/dev/sim0"};  // in the mount table, for the disk queries
    std::unique_ptr<sim::SuperIoChip> chip_;
    std::vector<std::pair<int, int>> progress_;
    std::string diagnostics_;
    long long collected_at_ = 0;
    long long collected_until_ = 0;

    static long long now_seconds() {
        using namespace std::chrono;
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    }
};

// `labels` and `more` together.
LabelSet with(LabelSet labels, const LabelSet& more) {
    labels.insert(more.begin(), more.end());
    return labels;
}

// An exposition parsed, with no error found by our parser.
Exposition parsed(const std::string& text) {
    Exposition exposition = parse_exposition(text);
    EXPECT_TRUE(exposition.errors.empty()) << testing::PrintToString(exposition.errors) << text;
    return exposition;
}

// What promtool, the reference parser and linter, says of an exposition;
// "" when it finds nothing.
std::string promtool_says(const std::string& exposition) {
    char name[] = "/tmp/quorvik-promtool-XXXXXX";
    const int fd = ::mkstemp(name);
    EXPECT_GE(fd, 0);
    ::close(fd);
    std::ofstream(name) << exposition;
    const std::string command = std::string("promtool check metrics < ") + name + " 2>&1";
    std::string said;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) said += buffer;
        const int status = ::pclose(pipe);
        if (status != 0 && said.empty()) said = "exit status " + std::to_string(status);
    } else {
        said = "promtool cannot be run";
    }
    ::unlink(name);
    return said;
}

TEST_F(ReportBoard, TextShowsEveryReadingWithItsUnitOrItsStatus) {
    const std::string text = render_text(collect_board(true));
    EXPECT_EQ(text,
              "Board identity\n"
              "  Model                          KT-500R\n"
              "  BIOS version                   R1.05\n"
              "  Serial number                  " +
                  kSerial +
                  "\n\n"
                  "Sensors\n"
                  "  Voltage cpu VCORE              1.136 V\n"
                  "  Voltage dram " +
                  kLongLabel +
                  " unavailable (ERR_SENSOR, -201)\n"
                  "  Temperature cpu CPUTIN         60.0 °C\n"
                  "  Temperature system SYSTEM      45.0 °C\n"
                  "  Fans                           2\n"
                  "  Fan 0 SYSFAN                   1000 RPM\n"
                  "  Fan 1                          unavailable (SENSOR_ERR_KEY, -4)\n"
                  "\nCPU\n"
                  "  CPUs                           2\n"
                  "  CPU usage                      40.0 %\n"
                  "  CPU 0 usage                    60.0 %\n"
                  "  CPU 1 usage                    10.0 %\n"
                  "\nMemory\n"
                  "  Memory usage                   25.0 %\n"
                  "  Memory total                   8000 MiB\n"
                  "  Memory free                    5000 MiB\n"
                  "\nDisks\n"
                  "  Disk /dev/sim0 usage           25.0 %\n"
                  "  Disk /dev/sim0 size            1000 MiB\n"
                  "  Disk /dev/sim0 available       750 MiB\n"
                  "  Disk /dev/nothing usage        unavailable (ERR_CMD_EXIT, -107)\n"
                  "  Disk /dev/nothing size         unavailable (ERR_CMD_EXIT, -107)\n"
                  "  Disk /dev/nothing available    unavailable (ERR_CMD_EXIT, -107)\n"
                  "\nEthernet\n"
                  "  Ethernet ports                 2\n"
                  "  eth0 carrier                   yes\n"
                  "  eth0 speed                     1000 Mbit/s\n"
                  "  eth0 usage                     5.0 %\n"
                  "  eth1 carrier                   unavailable (ERR_LINK_DOWN, -300)\n"
                  "  eth1 speed                     unavailable (ERR_LINK_DOWN, -300)\n"
                  "  eth1 usage                     unavailable (ERR_LINK_DOWN, -300)\n"
                  "\nSerial ports\n"
                  "  Serial ports                   2\n"
                  "  Serial port 0 in use           no\n"
                  "  Serial port 1 in use           yes\n"
                  "\nPower inputs\n"
                  "  Power input 0                  1\n"
                  "  Power input 1                  0\n"
                  "\n8 of 35 readings unavailable.\n");
    const std::vector<std::pair<int, int>> progress = {{0, 2}, {1, 2}, {2, 2}};
    EXPECT_EQ(progress_, progress);
}

TEST_F(ReportBoard, JsonCarriesEveryReadingInBaseUnits) {
    const Report report = collect_board(false);
    const auto document = nlohmann::json::parse(render_json(report));
    EXPECT_EQ(document["schema_version"], 1);
    EXPECT_EQ(document["identity"]["model"],
              nlohmann::json({{"value", "KT-500R"}, {"status", "OK"}, {"code", 0}}));
    EXPECT_EQ(document["identity"]["serial_number"]["value"], kSerial);

    // Every reading comes back as it was collected, in order.
    const std::map<int, std::string> kStatusNames = {{0, "OK"},
                                                     {-4, "SENSOR_ERR_KEY"},
                                                     {-107, "ERR_CMD_EXIT"},
                                                     {-201, "ERR_SENSOR"},
                                                     {-300, "ERR_LINK_DOWN"}};
    const auto& readings = document["readings"];
    ASSERT_EQ(readings.size(), report.readings.size() - 3);
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const Reading& expected = report.readings[i + 3];
        const auto& entry = readings[i];
        SCOPED_TRACE(entry.dump());
        EXPECT_EQ(entry["group"], expected.quantity->group);
        EXPECT_EQ(entry["name"], expected.quantity->name);
        nlohmann::json labels = nlohmann::json::object();
        for (const Label& label : expected.labels) labels[label.name] = label.value;
        EXPECT_EQ(entry["labels"], labels);
        EXPECT_EQ(entry["status"], kStatusNames.at(expected.status));
        EXPECT_EQ(entry["code"], expected.status);
        EXPECT_EQ(entry.contains("value"), expected.ok());
        if (expected.ok()) {
            EXPECT_DOUBLE_EQ(entry["value"].get<double>(), expected.value);
        }
    }

    // Values in base units, keyed as the schema names them.
    const auto find = [&](const std::string& name, const nlohmann::json& labels) {
        for (const auto& entry : readings) {
            if (entry["name"] == name && entry["labels"] == labels) return entry;
        }
        return nlohmann::json();
    };
    EXPECT_EQ(find("voltage", {{"role", "cpu"}, {"label", "VCORE"}, {"input", "0"}}),
              nlohmann::json::parse(R"({"group":"sensors","name":"voltage","labels":{"role":"cpu",
                  "label":"VCORE","input":"0"},"unit":"volts","value":1.136,"status":"OK",
                  "code":0})"));
    EXPECT_EQ(find("temperature", {{"role", "cpu"}, {"label", "CPUTIN"}, {"input", "1"}})["value"],
              60);
    EXPECT_EQ(find("total", nlohmann::json::object())["value"], 8000LL * 1024 * 1024);
    EXPECT_EQ(find("speed", {{"port", "0"}, {"interface", "eth0"}})["value"], 1000000000);
    EXPECT_DOUBLE_EQ(find("usage", {{"port", "0"}, {"interface", "eth0"}})["value"], 0.05);
    EXPECT_EQ(find("carrier", {{"port", "1"}, {"interface", "eth1"}}),
              nlohmann::json::parse(R"({"group":"ethernet","name":"carrier","labels":{"port":"1",
                  "interface":"eth1"},"unit":"","status":"ERR_LINK_DOWN","code":-300})"));
    EXPECT_TRUE(progress_.empty()) << "no per-CPU measurement asked for";

    // Where and when, for merging many boards' documents.
    char host[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(document["hostname"], host);
    const std::string at = document["collected_at"];
    bool within = false;
    for (long long second = collected_at_; second <= collected_until_; ++second) {
        within |= at == rfc3339_utc(second);
    }
    EXPECT_TRUE(within) << at << " is not the start of the collection";
}

TEST_F(ReportBoard, PrometheusHasOneValidFamilyPerQuantityAndSaysWhatFailed) {
    Report report = collect_board(true);
    const double collected =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    report.tool_version = "1.0.0";
    const std::string text = render_prometheus(report);
    const Exposition exposition = parsed(text);
    // When the collection started and how long it took, as this test's clock saw it.
    const auto started = exposition.value("quorvik_report_timestamp_seconds");
    const auto took = exposition.value("quorvik_report_duration_seconds");
    ASSERT_TRUE(started && took) << text;
    EXPECT_GE(*started, static_cast<double>(collected_at_));
    EXPECT_GT(*took, 0.0);
    EXPECT_LE(*started + *took, collected);
    // scripts/setup.sh installs promtool (Debian's prometheus package).
    EXPECT_EQ(promtool_says(text), "") << text;
    for (const auto& [name, type] : exposition.type) {
        EXPECT_EQ(name.rfind("quorvik_", 0), 0u) << name;
        EXPECT_EQ(type, "gauge") << name;
    }
    EXPECT_EQ(exposition.value(
                  "quorvik_board_info",
                  {{"model", "KT-500R"}, {"bios_version", "R1.05"}, {"serial_number", kSerial}}),
              1.0);
    EXPECT_NE(text.find(R"(serial_number="SN\"7\\2")"), std::string::npos) << text;

    const LabelSet dram = {{"role", "dram"}, {"sensor", kLongLabel}, {"input", "1"}};
    const LabelSet dram_volts = with(dram, {{"reading", "quorvik_voltage_volts"}});
    const LabelSet eth1_carrier = {
        {"reading", "quorvik_ethernet_carrier"}, {"port", "1"}, {"device", "eth1"}};

    const struct {
        const char* name;
        LabelSet labels;
        double value;
    } expected[] = {
        {"quorvik_voltage_volts", {{"role", "cpu"}, {"sensor", "VCORE"}, {"input", "0"}}, 1.136},
        {"quorvik_temperature_celsius",
         {{"role", "cpu"}, {"sensor", "CPUTIN"}, {"input", "1"}},
         60},
        {"quorvik_temperature_celsius",
         {{"role", "system"}, {"sensor", "SYSTEM"}, {"input", "0"}},
         45},
        {"quorvik_fans", {}, 2},
        {"quorvik_fan_speed_rpm", {{"input", "0"}, {"sensor", "SYSFAN"}}, 1000},
        {"quorvik_cpus", {}, 2},
        {"quorvik_cpu_usage_ratio", {}, 0.4},
        {"quorvik_cpu_core_usage_ratio", {{"cpu", "1"}}, 0.1},
        {"quorvik_memory_usage_ratio", {}, 0.25},
        {"quorvik_memory_free_bytes", {}, 5000.0 * 1024 * 1024},
        {"quorvik_disk_size_bytes", {{"device", "/dev/sim0"}}, 1000.0 * 1024 * 1024},
        {"quorvik_disk_available_bytes", {{"device", "/dev/sim0"}}, 750.0 * 1024 * 1024},
        {"quorvik_disk_usage_ratio", {{"device", "/dev/sim0"}}, 0.25},
        // Bytes per second, as node_network_speed_bytes.
        {"quorvik_ethernet_speed_bytes", {{"port", "0"}, {"device", "eth0"}}, 1.25e8},
        {"quorvik_ethernet_usage_ratio", {{"port", "0"}, {"device", "eth0"}}, 0.05},
        {"quorvik_serial_port_in_use", {{"port", "1"}}, 1},
        {"quorvik_power_input_state", {{"input", "0"}}, 1},
        // Failures, and their status by name in a series of its own.
        {"quorvik_reading_ok", dram_volts, 0},
        {"quorvik_reading_status_info",
         with(dram_volts, {{"status", "ERR_SENSOR"}, {"code", "-201"}}), 1},
        {"quorvik_reading_ok", eth1_carrier, 0},
        {"quorvik_reading_status_info",
         with(eth1_carrier, {{"status", "ERR_LINK_DOWN"}, {"code", "-300"}}), 1},
        {"quorvik_reading_ok", {{"reading", "quorvik_board_info"}, {"field", "serial_number"}}, 1},
    };
    for (const auto& e : expected) {
        EXPECT_EQ(exposition.value(e.name, e.labels), e.value)
            << e.name << testing::PrintToString(e.labels);
    }
    // A failed reading has no value sample, only its reading_ok.
    EXPECT_FALSE(exposition.value("quorvik_voltage_volts", dram));
    EXPECT_EQ(exposition.family("quorvik_ethernet_carrier").size(), 1u);
    // The role beyond Volt is left out altogether.
    for (const Sample& sample : exposition.samples) {
        const auto role = sample.labels.find("role");
        EXPECT_TRUE(role == sample.labels.end() || role->second != "5v") << sample.name;
    }
    // Every failed reading, and only those, has its status named; the names
    // of the reading_ok and status_info series differ by status and code alone.
    std::vector<LabelSet> failed, named;
    for (const Sample& sample : exposition.family("quorvik_reading_ok")) {
        EXPECT_EQ(sample.labels.count("status"), 0u) << "a status would split the series";
        if (sample.value == 0) failed.push_back(sample.labels);
    }
    for (Sample sample : exposition.family("quorvik_reading_status_info")) {
        EXPECT_EQ(sample.value, 1);
        EXPECT_NE(sample.labels.at("status"), "OK");
        sample.labels.erase("status");
        sample.labels.erase("code");
        named.push_back(sample.labels);
    }
    EXPECT_EQ(failed.size(), 8u);
    EXPECT_EQ(named, failed);
}

TEST_F(ReportBoard, UnidentifiedBoardReportsEveryStatusAndGoesOn) {
    unidentified_board();
    tools_.add("cat", "[ \"$1\" = /proc/stat ] && echo broken && exit 0\nexec " +
                          FakeTools::real("cat") + " \"$@\"");
    const Report report = collect_board(true);
    EXPECT_TRUE(Board::get().port_log.empty()) << "no sensor read without a model";

    std::vector<std::string> failures;
    for (const Reading& reading : report.readings) {
        if (!reading.ok()) {
            failures.push_back(std::string(reading.quantity->metric) + " " +
                               status_name(reading.status));
        }
    }
    const std::vector<std::string> expected = {
        "quorvik_board_info ERR_DEVICE_NAME",
        "quorvik_board_info ERR_BIOS_VER",
        "quorvik_board_info ERR_SERIAL_NUM",
        "quorvik_voltage_volts ERR_DEVICE_NAME",
        "quorvik_voltage_volts ERR_DEVICE_NAME",
        "quorvik_voltage_volts ERR_DEVICE_NAME",
        "quorvik_temperature_celsius ERR_DEVICE_NAME",
        "quorvik_temperature_celsius ERR_DEVICE_NAME",
        "quorvik_fans ERR_DEVICE_NAME",
        "quorvik_cpu_usage_ratio ERR_CMD_EXIT",
        "quorvik_cpu_core_usage_ratio ERR_CMD_EXIT",
        "quorvik_cpu_core_usage_ratio ERR_CMD_EXIT",
        "quorvik_disk_usage_ratio ERR_CMD_EXIT",
        "quorvik_disk_size_bytes ERR_CMD_EXIT",
        "quorvik_disk_available_bytes ERR_CMD_EXIT",
        "quorvik_ethernet_ports ERR_DEVICE_NAME",
        "quorvik_serial_ports ERR_DEVICE_NAME",
        "quorvik_power_input_state ERR_DEVICE_NAME",
        "quorvik_power_input_state ERR_DEVICE_NAME",
    };
    EXPECT_EQ(failures, expected);

    const std::string text = render_text(report);
    EXPECT_NE(text.find("  Memory total                   8000 MiB\n"), std::string::npos) << text;
    EXPECT_NE(text.find("The board could not be identified"), std::string::npos) << text;
    const std::string prometheus = render_prometheus(report);
    EXPECT_EQ(promtool_says(prometheus), "") << prometheus;
    const Exposition exposition = parsed(prometheus);
    EXPECT_TRUE(exposition.family("quorvik_board_info").empty())
        << "no empty labels for an unidentified board";
    EXPECT_EQ(exposition.value("quorvik_reading_ok",
                               {{"reading", "quorvik_board_info"}, {"field", "model"}}),
              0.0);
    EXPECT_TRUE(nlohmann::json::accept(render_json(report)));
}

// Counts no board has, as a hand-edited profile may give them: at most 32
// of each kind are asked for, and the count says why the rest are not.
TEST_F(ReportBoard, CountsBeyondAnyBoardAreCappedAndSaySo) {
    std::string section = kSection;
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"TotalLanPort = 2", "TotalLanPort = 0x7fffffff"},
          {"TotalSerialPort = 2", "TotalSerialPort = 2147483647"},
          {"Fan = 2", "Fan = 1000"}}) {
        section.replace(section.find(from), from.size(), to);
    }
    sim::write_system_profile("[KT-500R]\n" + section);
    const auto start = std::chrono::steady_clock::now();
    const Report report = collect_board(false);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 30.0) << "asked for more than a board has";

    const struct {
        const Quantity* count;
        const Quantity* item;
        const char* what;
        long long declared;
    } kinds[] = {
        {&quantity::kEthernetPorts, &quantity::kEthernetCarrier, "ports", 0x7fffffff},
        {&quantity::kSerialPorts, &quantity::kSerialInUse, "ports", 2147483647},
        {&quantity::kFans, &quantity::kFanSpeed, "inputs", 1000},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.count->metric);
        std::vector<std::string> items;
        int counts = 0;
        for (const Reading& reading : report.readings) {
            if (reading.quantity == kind.item) {
                items.emplace_back(
                    reading.label(kind.item == &quantity::kFanSpeed ? "input" : "port"));
            }
            if (reading.quantity != kind.count) continue;
            ++counts;
            EXPECT_EQ(status_name(reading.status), std::string("ERR_RANGE"));
            EXPECT_EQ(reading.note, "the count " + std::to_string(kind.declared) +
                                        " is more than a board has; " + kind.what +
                                        " 0 to 31 are read");
        }
        EXPECT_EQ(counts, 1) << "one failed reading says so";
        ASSERT_EQ(items.size(), 32u);
        for (int i = 0; i < 32; ++i) EXPECT_EQ(items[i], std::to_string(i)) << "in order";
    }
    const Exposition exposition = parsed(render_prometheus(report));
    EXPECT_FALSE(exposition.value("quorvik_serial_ports")) << "no value for a count refused";
    EXPECT_EQ(exposition.value(
                  "quorvik_reading_status_info",
                  {{"reading", "quorvik_serial_ports"}, {"status", "ERR_RANGE"}, {"code", "-100"}}),
              1.0);
}

// Each input is read once: the label and the value of a reading come from
// the same reading. A reading that the dispatch refused (the DRAM role, its
// label too long for it) takes its label from the profile, not from a second
// reading.
TEST_F(ReportBoard, ReadsEachSensorInputOnce) {
    Board::get().port_log.clear();
    collect_board(false);
    const auto selected = [](std::uint8_t reg) {
        return std::count(Board::get().port_log.begin(), Board::get().port_log.end(),
                          sim::PortAccess{sim::PortAccess::Out, 0x295, reg});
    };
    for (const std::uint8_t reg : {0x20, 0x21, 0x27, 0x2A, 0x28, 0x29}) {
        EXPECT_EQ(selected(reg), 1) << "register " << int{reg};
    }
}

// Every quorvik_ metric the monitoring mixin's rules and dashboard ask for is
// one the report writes: a renamed metric would leave an alert that never
// fires and a panel that stays empty. (up and ALERTS are Prometheus's own.)
// The words quorvik_... of a text (lower case, digits and '_', not ending in
// '_'). Scanned by hand: gcc 12's <regex> does not build warning-free.
std::set<std::string> metric_names(const std::string& text) {
    const auto word = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    };
    const auto name_char = [](char c) {
        return std::islower(static_cast<unsigned char>(c)) ||
               std::isdigit(static_cast<unsigned char>(c)) || c == '_';
    };
    const std::string prefix = "quorvik_";
    std::set<std::string> names;
    for (std::size_t at = text.find(prefix); at != std::string::npos;
         at = text.find(prefix, at + 1)) {
        if (at > 0 && word(text[at - 1])) continue;
        std::size_t end = at + prefix.size();
        while (end < text.size() && name_char(text[end])) ++end;
        if (end < text.size() && word(text[end])) continue;
        std::string name = text.substr(at, end - at);
        while (name.back() == '_') name.pop_back();
        if (name.size() > prefix.size() - 1) names.insert(name);
    }
    return names;
}

TEST_F(ReportBoard, MonitoringMixinAsksOnlyForMetricsTheReportWrites) {
    Report report = collect_board(false);
    report.tool_version = "1.0.0";
    const Exposition exposition = parse_exposition(render_prometheus(report));
    const struct {
        const char* file;
        std::size_t at_least;  // names the file must use, so that the test cannot pass empty
    } files[] = {{"quorvik_alerts.yaml", 9}, {"dashboards_out/quorvik-board.json", 14}};
    for (const auto& [file, at_least] : files) {
        SCOPED_TRACE(file);
        std::ifstream in(std::string(QUORVIK_MONITORING_DIR "/") + file);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        const std::set<std::string> names = metric_names(text);
        EXPECT_GE(names.size(), at_least) << testing::PrintToString(names);
        for (const std::string& name : names) {
            EXPECT_FALSE(exposition.family(name).empty()) << name << " is not in the report";
        }
    }
}

}  // namespace
}  // namespace quorvik::report::test
