// Renderings of readings that no simulated board gives: texts that must be
// escaped or are not UTF-8, and the mounts table behind the disk list.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
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
    const auto readings = nlohmann::json::parse(render_json(report))["readings"];
    ASSERT_EQ(readings.size(), 4u);
    EXPECT_TRUE(readings[0]["value"].is_number_integer());
    EXPECT_EQ(readings[1]["value"], 8388608000LL);
    EXPECT_TRUE(readings[2]["value"].is_number_float());
    EXPECT_EQ(readings[3], nlohmann::json::parse(R"({"group":"sensors","name":"temperature",
        "labels":{"role":"cpu"},"unit":"celsius","status":"ERR_SENSOR","code":-201})"));
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

}  // namespace
}  // namespace quorvik::report::test
