// Renderings of readings that no simulated board gives: texts that must be
// escaped or are not UTF-8, and the mounts table behind the disk list.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exposition.h"
#include "report.h"

namespace quorvik::report::test {
namespace {

Report identity_report(const std::string& model) {
    Report report;
    Reading reading(quantity::kModel);
    reading.text = model;
    report.readings.push_back(reading);
    return report;
}

TEST(Render, LabelValuesAreEscapedAndUtf8InBothFormats) {
    const std::string kReplacement = "\xEF\xBF\xBD";
    const struct {
        std::string raw;
        std::string escaped;  // as written between the quotes
        std::string read_back;
    } cases[] = {
        {"KT\"500", R"(KT\"500)", "KT\"500"},
        {"C:\\bios", R"(C:\\bios)", "C:\\bios"},
        {"two\nlines", R"(two\nlines)", "two\nlines"},
        {"\\n", R"(\\n)", "\\n"},  // a backslash and an n, not a newline
        {"5 °C Ω", "5 °C Ω", "5 °C Ω"},
        {"bad\xFF", "bad" + kReplacement, "bad" + kReplacement},
        {"cut\xC3", "cut" + kReplacement, "cut" + kReplacement},
        {"\xED\xA0\x80", kReplacement + kReplacement + kReplacement,
         kReplacement + kReplacement + kReplacement},  // a surrogate is no character
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},  // U+10FFFF is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.escaped);
        const Report report = identity_report(c.raw);
        const std::string text = render_prometheus(report);
        EXPECT_NE(text.find("quorvik_board_info{model=\"" + c.escaped + "\"} 1\n"),
                  std::string::npos)
            << text;
        const Exposition exposition = parse_exposition(text);
        EXPECT_TRUE(exposition.errors.empty()) << testing::PrintToString(exposition.errors);
        EXPECT_EQ(exposition.value("quorvik_board_info", {{"model", c.read_back}}), 1.0);

        const auto document = nlohmann::json::parse(render_json(report));
        EXPECT_EQ(document["identity"]["model"]["value"], c.read_back);
    }
}

TEST(Render, JsonValuesAreIntegersWhenWholeAndFailuresCarryNoValue) {
    Report report;
    report.readings.emplace_back(quantity::kCpus).value = 4;
    report.readings.emplace_back(quantity::kMemoryTotal).value = 8000.0 * 1024 * 1024;
    report.readings.emplace_back(quantity::kVoltage, std::vector<Label>{{"role", "cpu"}}).value =
        1.136;
    report.readings.emplace_back(quantity::kTemperature, std::vector<Label>{{"role", "cpu"}}, -201);
    const std::string note =
        "the count 2147483647 is more than a board has; ports 0 to 31 are read";
    report.readings.emplace_back(quantity::kSerialPorts, std::vector<Label>{}, -100).note = note;
    const auto readings = nlohmann::json::parse(render_json(report))["readings"];
    ASSERT_EQ(readings.size(), 5u);
    EXPECT_TRUE(readings[0]["value"].is_number_integer());
    EXPECT_EQ(readings[1]["value"], 8388608000LL);
    EXPECT_TRUE(readings[2]["value"].is_number_float());
    EXPECT_EQ(readings[3], nlohmann::json::parse(R"({"group":"sensors","name":"temperature",
        "labels":{"role":"cpu"},"unit":"celsius","status":"ERR_SENSOR","code":-201})"));
    // A failure of the tool's own says why, after its status.
    nlohmann::json refused = nlohmann::json::parse(R"({"group":"serial","name":"ports",
        "labels":{},"unit":"","status":"ERR_RANGE","code":-100})");
    refused["note"] = note;
    EXPECT_EQ(readings[4], refused);
    const std::string text = render_text(report);
    EXPECT_NE(
        text.find("  Serial ports                   unavailable (ERR_RANGE, -100): " + note + "\n"),
        std::string::npos)
        << text;
}

TEST(Render, DisksAreTheMountedDevicesOnceOrElseTheRootSource) {
    const auto path = std::filesystem::temp_directory_path() / "quorvik-report-mounts";
    const struct {
        const char* mounts;
        std::vector<std::string> disks;
    } cases[] = {
        {"/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n/dev/sdb1 /data xfs rw 0 0\n"
         "/dev/sda1 /srv ext4 rw 0 0\ntmpfs /tmp tmpfs rw 0 0\n",
         {"/dev/sda1", "/dev/sdb1"}},
        {"/dev/disk\\040one /mnt ext4 rw 0 0\n/dev/odd\\134name /o ext4 rw 0 0\n",
         {"/dev/disk one", "/dev/odd\\name"}},
        {"overlay / overlay rw 0 0\nproc /proc proc rw 0 0\n", {"overlay"}},
        {"proc /proc proc rw 0 0\n", {}},
    };
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::trunc) << c.mounts;
        EXPECT_EQ(mounted_disks(path.string()), c.disks) << c.mounts;
    }
    std::filesystem::remove(path);
    EXPECT_TRUE(mounted_disks(path.string()).empty());
}

Reading identity(const Quantity& quantity, const char* text, int status = 0) {
    Reading reading(quantity, {}, status);
    if (status == 0) reading.text = text;
    return reading;
}

TEST(Render, BoardInfoHoldsWhatWasReadAndNothingForAnUnknownBoard) {
    const struct {
        int model, bios, serial;  // statuses
        std::optional<LabelSet> labels;
    } cases[] = {
        {0, 0, 0,
         LabelSet{{"model", "KT-500R"}, {"bios_version", "R1.05"}, {"serial_number", "S1"}}},
        {0, -202, 0, LabelSet{{"model", "KT-500R"}, {"serial_number", "S1"}}},
        {0, -202, -203, LabelSet{{"model", "KT-500R"}}},
        {-200, 0, 0, std::nullopt},
        {-200, -202, -203, std::nullopt},
    };
    for (const auto& c : cases) {
        Report report;
        report.readings = {identity(quantity::kModel, "KT-500R", c.model),
                           identity(quantity::kBiosVersion, "R1.05", c.bios),
                           identity(quantity::kSerialNumber, "S1", c.serial)};
        const Exposition exposition = parse_exposition(render_prometheus(report));
        EXPECT_TRUE(exposition.errors.empty()) << testing::PrintToString(exposition.errors);
        const auto info = exposition.family("quorvik_board_info");
        if (!c.labels) {
            EXPECT_TRUE(info.empty()) << testing::PrintToString(info.front().labels);
            EXPECT_EQ(exposition.help.count("quorvik_board_info"), 0u) << "no empty family";
        } else {
            ASSERT_EQ(info.size(), 1u);
            EXPECT_EQ(info.front().labels, *c.labels);
        }
        EXPECT_EQ(exposition.family("quorvik_reading_ok").size(), 3u) << "every field told";
    }
}

TEST(Render, AReadingKeepsItsSeriesWhateverItsStatus) {
    const std::vector<Label> port = {{"port", "1"}, {"interface", "eth1"}};
    std::optional<LabelSet> series;
    for (const auto& [status, name] : {std::pair{0, "OK"}, std::pair{-300, "ERR_LINK_DOWN"},
                                       std::pair{-107, "ERR_CMD_EXIT"}, std::pair{0, "OK"}}) {
        SCOPED_TRACE(status);
        Report report;
        report.readings.emplace_back(quantity::kEthernetCarrier, port, status).value = 1;
        const Exposition exposition = parse_exposition(render_prometheus(report));
        EXPECT_TRUE(exposition.errors.empty()) << testing::PrintToString(exposition.errors);
        const auto ok = exposition.family("quorvik_reading_ok");
        ASSERT_EQ(ok.size(), 1u);
        EXPECT_EQ(ok.front().value, status == 0 ? 1 : 0);
        if (!series) series = ok.front().labels;
        EXPECT_EQ(ok.front().labels, *series) << "one series for availability queries";

        const auto named = exposition.family("quorvik_reading_status_info");
        if (status == 0) {
            EXPECT_TRUE(named.empty());
            continue;
        }
        ASSERT_EQ(named.size(), 1u);
        LabelSet expected = *series;
        expected["status"] = name;
        expected["code"] = std::to_string(status);
        EXPECT_EQ(named.front().labels, expected);
    }
}

TEST(Render, PrometheusSpeaksNodeExportersNamesAndUnits) {
    Report report;
    report.tool_version = "1.2.3";
    report.readings
        .emplace_back(quantity::kTemperature,
                      std::vector<Label>{{"role", "cpu"}, {"label", "CPUTIN"}})
        .value = 60;
    report.readings
        .emplace_back(quantity::kEthernetSpeed,
                      std::vector<Label>{{"port", "0"}, {"interface", "eth0"}})
        .value = 1e9;
    report.readings.emplace_back(quantity::kDiskSize, std::vector<Label>{{"disk", "/dev/sda1"}})
        .value = 4096;
    const Exposition exposition = parse_exposition(render_prometheus(report));
    EXPECT_TRUE(exposition.errors.empty()) << testing::PrintToString(exposition.errors);
    EXPECT_EQ(exposition.value("quorvik_build_info", {{"version", "1.2.3"}}), 1.0);
    EXPECT_EQ(
        exposition.value("quorvik_temperature_celsius", {{"role", "cpu"}, {"sensor", "CPUTIN"}}),
        60);
    EXPECT_EQ(exposition.value("quorvik_ethernet_speed_bytes", {{"port", "0"}, {"device", "eth0"}}),
              1.25e8);
    EXPECT_EQ(exposition.value("quorvik_disk_size_bytes", {{"device", "/dev/sda1"}}), 4096);
    EXPECT_EQ(exposition.value(
                  "quorvik_reading_ok",
                  {{"reading", "quorvik_ethernet_speed_bytes"}, {"port", "0"}, {"device", "eth0"}}),
              1);
    // JSON keeps its schema: bits per second, the report's own label names.
    const auto readings = nlohmann::json::parse(render_json(report))["readings"];
    EXPECT_EQ(readings[1]["value"], 1000000000);
    EXPECT_EQ(readings[1]["unit"], "bits_per_second");
    EXPECT_EQ(readings[1]["labels"], nlohmann::json({{"port", "0"}, {"interface", "eth0"}}));

    report.tool_version.clear();
    EXPECT_TRUE(parse_exposition(render_prometheus(report)).family("quorvik_build_info").empty());
}

TEST(Render, TextEscapesControlCharactersOfBiosAndProfileTexts) {
    const struct {
        std::string raw;
        std::string shown;
    } cases[] = {
        {"KT\x1B[2J", "KT\\x1B[2J"}, {"a\tb\r\n", "a\\x09b\\x0D\\x0A"},
        {"bell\x07", "bell\\x07"},   {"del\x7F", "del\\x7F"},
        {"5 °C Ω", "5 °C Ω"},        {"back\\slash", "back\\slash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        Report report = identity_report(c.raw);
        report.readings
            .emplace_back(quantity::kFanSpeed, std::vector<Label>{{"input", "0"}, {"label", c.raw}})
            .value = 900;
        const std::string text = render_text(report);
        EXPECT_NE(text.find("  Model                          " + c.shown + "\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("  Fan 0 " + c.shown), std::string::npos) << text;
        for (const char byte : text) {
            EXPECT_TRUE(byte == '\n' || static_cast<unsigned char>(byte) >= 0x20) << text;
        }
    }
}

TEST(Render, LibraryMessagesAreToldOnceEachWithHowOftenTheyCame) {
    const struct {
        std::string printed;
        std::string told;
    } cases[] = {
        {"", ""},
        {"\r\n\n", ""},
        {"Error: ioperm() fail\r\n", "quorvik-info: library message: Error: ioperm() fail\n"},
        {std::string(300, ' '), ""},
        {"Error: ioperm() fail\r\nFind Board structure Fail\nError: ioperm() fail\r\n"
         "Error: ioperm() fail\r\n",
         "quorvik-info: library message (3 times): Error: ioperm() fail\n"
         "quorvik-info: library message: Find Board structure Fail\n"},
        {"no newline at the end", "quorvik-info: library message: no newline at the end\n"},
        {"Fan\x1B[1m\nFan\x1B[1m\n", "quorvik-info: library message (2 times): Fan\\x1B[1m\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(library_messages(c.printed), c.told) << testing::PrintToString(c.printed);
    }
}

TEST(Render, JsonSaysWhichToolWhereAndWhen) {
    Report report = identity_report("KT-500R");
    report.tool_version = "1.2.3";
    report.hostname = "board-17";
    report.collected_at = rfc3339_utc(1796773800);
    const auto document = nlohmann::ordered_json::parse(render_json(report));
    std::vector<std::string> keys;
    for (const auto& [key, value] : document.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"schema_version", "quorvik_info_version", "hostname",
                                              "collected_at", "identity", "readings"}));
    EXPECT_EQ(document["schema_version"], 1);
    EXPECT_EQ(document["quorvik_info_version"], "1.2.3");
    EXPECT_EQ(document["hostname"], "board-17");
    EXPECT_EQ(document["collected_at"], "2026-12-08T23:50:00Z");

    const struct {
        long long seconds;
        const char* text;
    } times[] = {{0, "1970-01-01T00:00:00Z"},
                 {951782400, "2000-02-29T00:00:00Z"},
                 {1796773800 + 59, "2026-12-08T23:50:59Z"}};
    for (const auto& t : times) EXPECT_EQ(rfc3339_utc(t.seconds), t.text);
}

}  // namespace
}  // namespace quorvik::report::test
