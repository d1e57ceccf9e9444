// The device profile checker of quorvik-info: which finding each mistake in a
// profile gives, on which line, and the exit status that follows.
#include "profile_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "quorvik_common/profile_schema.h"
#include "quorvik_common/tty_list.h"

namespace {

using quorvik::profile_check::check_file;
using quorvik::profile_check::check_profile;
using quorvik::profile_check::Finding;
using quorvik::profile_check::format_finding;
using quorvik::profile_check::LoadState;
using quorvik::profile_check::Report;
using quorvik::profile_check::Severity;

constexpr Severity E = Severity::error;
constexpr Severity W = Severity::warning;

// A profile file that lives as long as the object.
class TempProfile {
  public:
    explicit TempProfile(const std::string& text) {
        char pattern[] = "/tmp/quorvik-profile-XXXXXX";
        const int fd = mkstemp(pattern);
        path_ = pattern;
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            ADD_FAILURE() << "cannot write " << path_;
        }
        if (fd >= 0) close(fd);
    }
    ~TempProfile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

Report check_text(const std::string& text) {
    return check_file(TempProfile(text).path());
}

std::string describe(const Report& report) {
    std::string text;
    for (const Finding& f : report.findings) text += format_finding("profile", f) + "\n";
    return text;
}

// The example section of the README, one key a line; line 1 is the section.
// clang-format off
const std::vector<std::string> kExample = {
    "[example-board]",    "TotalSerialPort = 2", "TtyType = S",         "TtyNum = 0,1",
    "TotalLanPort = 2",   "S_Power_indicator = 1", "O_Relay = 1",       "Relay_Node = /dev/dio",
    "Volt = 3",           "Temp = 2",            "Fan = 1",             "V_CPU_Index = 0",
    "V_DRAM_Index = 1",   "V_5V_Index = 2",      "T_CPU_Index = 0",     "T_SYSTEM_Index = 1",
    "Index = 0x295",      "Data = 0x296",        "Sio = W83627DHG",     "Vin0Str = VCORE",
    "Vin0Bnk = 0",        "Vin0Idx = 0x20",      "Vin0Cof = 8",         "Vin1Str = VDRAM",
    "Vin1Bnk = 0",        "Vin1Idx = 0x21",      "Vin1Cof = 16",        "Vin2Str = V5",
    "Vin2Bnk = 0",        "Vin2Idx = 0x23",      "Vin2Cof = 24",        "Tin0Str = CPU",
    "Tin0Bnk = 0",        "Tin0MSR = 0x1A2",     "Tin0MSROffset = 0x19C", "Tin1Str = SYSTEM",
    "Tin1Bnk = 0",        "Tin1Idx = 0x27",      "Tin1Cof = 1.0",       "Tin1Off = 0.0",
    "Fin0Str = SYSFAN",   "Fin0Bnk = 0",         "Fin0MSB = 0x28",      "Fin0LSB = 0x29",
    "Fin0Count = 1350000"};
// clang-format on
constexpr int kSection = 1;  // the line of a missing key: the section's

// Sets a key of the example in its own line, or removes it (value nullptr)
// leaving a comment, so that the other keys keep their lines.
struct Edit {
    const char* key;
    const char* value;
};

std::string edited_example(const std::vector<Edit>& edits, const std::string& appended = "") {
    std::vector<std::string> lines = kExample;
    for (const Edit& edit : edits) {
        const std::string prefix = std::string(edit.key) + " = ";
        bool found = false;
        for (std::string& line : lines) {
            if (line.rfind(prefix, 0) != 0) continue;
            line = edit.value != nullptr ? prefix + edit.value : "; removed";
            found = true;
        }
        if (!found) ADD_FAILURE() << "the example has no key " << edit.key;
    }
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text + appended;
}

TEST(CheckProfile, ExampleSectionAndShippedExampleHaveNoFindings) {
    const Report example = check_text(edited_example({}));
    EXPECT_EQ(example.exit_status(), 0);
    EXPECT_TRUE(example.findings.empty()) << describe(example);
    EXPECT_EQ(example.sections, 1);

    const Report shipped = check_file(QUORVIK_EXAMPLE_PROFILE);
    EXPECT_EQ(shipped.exit_status(), 0);
    EXPECT_TRUE(shipped.findings.empty()) << describe(shipped);
}

struct BrokenCase {
    const char* what;
    std::vector<Edit> edits;
    Severity severity;  // an error makes the exit status 1, warnings alone 0
    const char* key;
    int line;
    const char* message;        // a part of the finding's message
    std::string appended = "";  // lines after the last key, from line 46 on
    int findings = 1;           // all findings of the profile
};

const std::string k39(39, 'T');    // with its colon, one more than the dispatch keeps
const std::string k99(99, 'S');    // "ls /dev/tty<99 letters>1 > /dev/null 2>&1" is 128
const std::string k128(128, 'a');  // one more than the monitoring library takes
const std::string kImplausible = std::to_string(quorvik::schema::kMostPlausible + 1);

// clang-format off
const BrokenCase kBroken[] = {
    // what, edits, the finding (severity, key, line, message part), appended lines, findings
    {"factor 0", {{"Vin0Cof", "0"}}, E, "Vin0Cof", 23, "factor 0"},
    {"factor empty", {{"Vin0Cof", ""}}, E, "Vin0Cof", 23, "SENSOR_ERR_VALUE"},
    {"factor octal junk", {{"Vin1Cof", "08"}}, E, "Vin1Cof", 27, "factor 0 ('08')"},
    {"factor missing", {{"Vin0Cof", nullptr}}, E, "Vin0Cof", kSection, "SENSOR_ERR_KEY"},
    {"port not a number", {{"Index", "0x29G"}}, E, "Index", 17, "read 41"},
    {"port beyond 16 bits", {{"Data", "0x10000"}}, E, "Data", 18, "outside 0-0xFFFF"},
    {"port empty", {{"Index", ""}}, E, "Index", 17, "SENSOR_ERR_VALUE"},
    {"bank 255", {{"Vin1Bnk", "0xFF"}}, E, "Vin1Bnk", 25, "names no bank"},
    {"bank missing", {{"Tin1Bnk", nullptr}}, E, "Tin1Bnk", kSection, "SENSOR_ERR_KEY"},
    {"bank empty", {{"Fin0Bnk", ""}}, W, "Fin0Bnk", 42, "reads as 0"},
    {"bank too high", {{"Vin0Bnk", "9"}}, W, "Vin0Bnk", 21, "bank select"},
    {"chip in lower case", {{"Sio", "w83627dhg"}}, E, "Sio", 19, "case counts"},
    {"unknown chip", {{"Sio", "NCT6776"}}, W, "Sio", 19, "Bnk keys are ignored"},
    {"chip missing", {{"Sio", nullptr}}, E, "Sio", kSection, "SENSOR_ERR_KEY"},
    {"offset MSR alone", {{"Tin0MSR", nullptr}}, E, "Tin0MSROffset", 35, "no reference register"},
    {"MSR register 0", {{"Tin0MSROffset", "0"}}, E, "Tin0MSROffset", 35, "SENSOR_ERR_VALUE"},
    {"MSR empty", {{"Tin0MSR", ""}}, E, "Tin0MSR", 34, "SENSOR_ERR_VALUE"},
    {"register missing", {{"Tin1Idx", nullptr}}, E, "Tin1Idx", kSection, "SENSOR_ERR_KEY"},
    {"register beyond a byte", {{"Vin2Idx", "0x123"}}, W, "Vin2Idx", 30, "35"},
    {"temperature factor 0", {{"Tin1Cof", "0"}}, E, "Tin1Cof", 39, "factor 0"},
    {"temperature factor comma", {{"Tin1Cof", "1,5"}}, E, "Tin1Cof", 39, "reads 1.0"},
    {"temperature offset not finite", {{"Tin1Off", "inf"}}, E, "Tin1Off", 40, "SENSOR_ERR_VALUE"},
    {"temperature offset empty", {{"Tin1Off", ""}}, W, "Tin1Off", 40, "0.0"},
    {"fan dividend missing", {{"Fin0Count", nullptr}},
     E, "Fin0Count", kSection, "SENSOR_ERR_VALUE"},
    {"fan dividend 0", {{"Fin0Count", "0"}}, E, "Fin0Count", 45, "always 0"},
    {"label with a blank", {{"Vin0Str", "CPU Core"}}, W, "Vin0Str", 20, "one word"},
    {"label too long for the dispatch", {{"Tin0Str", k39.c_str()}}, E, "Tin0Str", 32, "ERR_SENSOR"},
    {"label empty", {{"Tin1Str", ""}}, W, "Tin1Str", 36, "colon"},
    {"label missing", {{"Fin0Str", nullptr}}, E, "Fin0Str", kSection, "SENSOR_ERR_KEY"},
    {"role names an input without keys", {{"V_5V_Index", "7"}},
     E, "V_5V_Index", 14, "stops at Vin7Str"},
    {"role gated out by the count", {{"Volt", "2"}}, W, "V_5V_Index", 14, "ERR_RANGE", "", 2},
    {"LAN count no board has", {{"TotalLanPort", kImplausible.c_str()}},
     E, "TotalLanPort", 5, "more than any board"},
    {"relay count no board has", {{"O_Relay", kImplausible.c_str()}},
     E, "O_Relay", 7, "more than any board"},
    {"count above the inputs", {{"Volt", "4"}}, W, "Volt", 9, "3 voltage inputs (0, 1, 2)"},
    {"role missing", {{"T_SYSTEM_Index", nullptr}},
     E, "T_SYSTEM_Index", kSection, "get_temperature(1)"},
    {"role negative", {{"T_CPU_Index", "-1"}}, E, "T_CPU_Index", 15, "ERR_PROFILE_VALUE"},
    {"count missing", {{"Fan", nullptr}}, E, "Fan", kSection, "SensorFanQuery"},
    {"integer with junk", {{"TotalLanPort", "0x1G"}}, E, "TotalLanPort", 5, "read 1"},
    {"integer negative", {{"S_Power_indicator", "-1"}},
     E, "S_Power_indicator", 6, "get_pwr_status"},
    {"integer empty", {{"TotalLanPort", ""}}, W, "TotalLanPort", 5, "reads as 0"},
    {"tty type with a digit", {{"TtyType", "S1"}}, E, "TtyType", 3, "letters only"},
    {"tty type too long", {{"TtyType", k128.c_str()}}, E, "TtyType", 3, "too long"},
    {"tty type missing", {{"TtyType", nullptr}}, E, "TtyType", kSection, "get_uart_status"},
    {"fewer tty numbers than ports", {{"TtyNum", "0"}}, E, "TtyNum", 4, "ports 1 and up"},
    {"more tty numbers than ports", {{"TtyNum", "0,1,2"}}, W, "TtyNum", 4, "never used"},
    {"tty number beyond an int", {{"TtyNum", "0,1e12"}}, E, "TtyNum", 4, "ERR_PROFILE_VALUE"},
    {"tty type too long for the command line", {{"TtyType", k99.c_str()}},
     E, "TtyType", 3, "command line"},
    {"tty number not a number", {{"TtyNum", "0,1.5"}}, E, "TtyNum", 4, "reads 1"},
    {"relay node missing", {{"Relay_Node", nullptr}}, E, "Relay_Node", kSection, "set_relay"},
    {"relay node empty", {{"Relay_Node", ""}}, E, "Relay_Node", 8, "ERR_DEV_OPEN"},
    {"relay node too long", {{"Relay_Node", k128.c_str()}}, E, "Relay_Node", 8, "too long"},
    {"value cut by a comment sign", {{"Relay_Node", "/dev/dio#2"}},
     W, "Relay_Node", 8, "read '/dev/dio'"},
    {"misspelt key", {}, W, "Vin0Cofs", 46, "unknown key", "Vin0Cofs = 8\n"},
    {"input number with a leading zero", {}, W, "Vin01Str", 46, "leading zeros", "Vin01Str = X\n"},
    {"key given twice", {}, W, "Vin0Cof", 46, "line 23", "Vin0Cof = 9\n"},
};
// clang-format on

void PrintTo(const BrokenCase& c, std::ostream* out) {
    *out << c.what;
}

class BrokenProfile : public testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenProfile, GivesItsFindingOnItsLine) {
    const BrokenCase& c = GetParam();
    const Report report = check_text(edited_example(c.edits, c.appended));
    int matches = 0;
    for (const Finding& f : report.findings) {
        if (f.severity != c.severity || f.section != "example-board" || f.key != c.key ||
            f.line != c.line) {
            continue;
        }
        ++matches;
        EXPECT_NE(f.message.find(c.message), std::string::npos) << f.message;
    }
    EXPECT_EQ(matches, 1) << describe(report);
    EXPECT_EQ(static_cast<int>(report.findings.size()), c.findings) << describe(report);
    EXPECT_EQ(report.exit_status(), c.severity == E ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenProfile, testing::ValuesIn(kBroken),
                         [](const testing::TestParamInfo<BrokenCase>& info) {
                             std::string name = info.param.what;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             }
                             return name;
                         });

const std::string k38(38, 'T');  // the longest label the dispatch keeps
const std::string k98(98, 'S');  // the longest tty type of the command line
// The dispatch ends a reading's first word at any blank, a vertical tab too.
const std::string kVerticalTabLabel = "T\v" + std::string(45, 'T');

// Profiles that every call reads without an error: keys that no call reads
// with the section's other values, and values at the limits.
TEST(CheckProfile, KeysNoCallReadsAndValuesAtTheLimitsAreNoErrors) {
    const struct {
        const char* what;
        std::vector<Edit> edits;
        int warnings;           // -1: not counted
        const char* said = "";  // a part of a finding
        std::string appended = "";
    } cases[] = {
        // clang-format off
        {"relay node without relays", {{"O_Relay", "0"}, {"Relay_Node", nullptr}}, 0},
        {"tty keys without serial ports",
         {{"TotalSerialPort", "0"}, {"TtyType", nullptr}, {"TtyNum", nullptr}}, 0},
        {"an input beyond the count without keys",
         {{"Volt", "2"}, {"V_5V_Index", nullptr}, {"Vin2Str", nullptr}, {"Vin2Bnk", nullptr},
          {"Vin2Idx", nullptr}, {"Vin2Cof", nullptr}}, 0},
        {"another banked chip", {{"Sio", "W83627EHF"}}, 0},
        {"longest tty type", {{"TtyType", k98.c_str()}}, 0},
        {"longest label", {{"Tin0Str", k38.c_str()}}, 0},
        {"temperature factor and offset left out", {{"Tin1Cof", nullptr}, {"Tin1Off", nullptr}}, 0},
        {"label cut at a vertical tab", {{"Tin0Str", kVerticalTabLabel.c_str()}}, 0},
        // Model-specific registers are 32 bits.
        {"MSR number beyond an int", {{"Tin0MSR", "0xC0010299"}}, 0},
        // Without a banked chip, bank keys are not read at all.
        {"bank key missing on an unbanked chip", {{"Sio", "IT8786"}, {"Vin0Bnk", nullptr}}, 1},
        // A role key beyond the model's count is never read, so that a model
        // with one voltage input may keep the table's other role keys.
        {"role keys beyond the count", {{"Volt", "1"}}, 3},  // two roles, the count
        {"tty keys without serial ports, broken",
         {{"TotalSerialPort", "0"}, {"TtyType", "S1"}, {"TtyNum", "x"}}, -1, "TtyType: not read"},
        {"relay node empty without relays",
         {{"O_Relay", "0"}, {"Relay_Node", ""}}, -1, "Relay_Node: not read"},
        // The temperature comes from the two MSRs: its register is not read.
        {"register of an MSR temperature", {}, -1, "Tin0Idx: not read", "Tin0Idx = 0x1G\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Report report = check_text(edited_example(c.edits, c.appended));
        EXPECT_EQ(report.exit_status(), 0) << describe(report);
        if (c.warnings >= 0) {
            EXPECT_EQ(report.count(W), c.warnings) << describe(report);
        }
        EXPECT_NE(describe(report).find(c.said), std::string::npos) << describe(report);
    }
}

// A section that every call can read, without sensor inputs.
std::string plain_section(const std::string& name) {
    return "[" + name +
           "]\nTotalSerialPort = 0\nTotalLanPort = 0\nS_Power_indicator = 0\nO_Relay = 0\n"
           "Volt = 0\nTemp = 0\nFan = 0\n";
}

struct SectionCase {
    const char* what;
    std::string text;
    Severity severity;
    std::string section;
    const char* key;
    int line;
    const char* message;
    int exit_status;
};

TEST(CheckProfile, SectionNamesAndFileShape) {
    const SectionCase cases[] = {
        {"shorter name first shadows", plain_section("ab-12") + plain_section("ab-1234"), W,
         "ab-1234", "", 9, "[ab-12] (line 1)", 0},
        {"name of 30 characters", plain_section(std::string(30, 'm')), W, std::string(30, 'm'), "",
         1, "no model reaches", 0},
        {"section named like a key hides it", plain_section("x") + "[x:volt]\n", E, "x", "Volt", 6,
         "[x:volt] (line 9)", 1},
        {"section with a colon", plain_section("x") + "[x:volt]\n", W, "x:volt", "", 9,
         "iniparser_getnsec", 1},
        {"section given twice", plain_section("a") + plain_section("b") + "[a]\n", W, "a", "", 17,
         "first at line 1", 0},
        {"key above the sections", "Volt = 1\n" + plain_section("a"), W, "", "", 1,
         "above the first section", 0},
        {"no sections", "; nothing\n", E, "", "", 0, "no sections", 1},
        {"continued value stands on its first line",
         plain_section("a") + "Vin0Str = CPU\\\n  Core\n", W, "a", "Vin0Str", 9, "one word", 1},
        {"continued value keeps later lines",
         plain_section("a") + "Vin0Str = CPU\\\n  Core\nVin0Idx = x1\n", E, "a", "Vin0Idx", 11,
         "read 0", 1},
    };
    for (const SectionCase& c : cases) {
        const Report report = check_text(c.text);
        const bool found =
            std::any_of(report.findings.begin(), report.findings.end(), [&c](const Finding& f) {
                return f.severity == c.severity && f.section == c.section && f.key == c.key &&
                       f.line == c.line && f.message.find(c.message) != std::string::npos;
            });
        EXPECT_TRUE(found) << c.what << ":\n" << describe(report);
        EXPECT_EQ(report.exit_status(), c.exit_status) << c.what;
    }
    // The first fitting section wins, so the longest name hides behind the shortest.
    const Report chain =
        check_text(plain_section("ab") + plain_section("abc") + plain_section("abcd"));
    ASSERT_EQ(chain.findings.size(), 2u) << describe(chain);
    EXPECT_EQ(chain.findings[1].section, "abcd");
    EXPECT_NE(chain.findings[1].message.find("[ab] (line 1)"), std::string::npos);

    const Report clean = check_text(plain_section("ab-1234") + plain_section("ab-12") +
                                    plain_section(std::string(29, 'm')));
    EXPECT_TRUE(clean.findings.empty()) << describe(clean);
}

// Files that cannot be read or loaded, and files that are no profile,
// refused before any byte is read from them.
TEST(CheckProfile, FilesThatAreNoLoadableProfile) {
    char directory[] = "/tmp/quorvik-fifo-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string fifo = std::string(directory) + "/profile";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string section = plain_section("a");
    const struct {
        const char* what;
        std::string path;  // empty: a file of the text
        std::string text;
        int exit_status;
        const char* message;  // of the one finding; empty: findings not looked at
        int line = -1;        // of that finding; -1: not looked at
    } cases[] = {
        {"missing", "/nonexistent/DeviceProfile.ini", "", 2, ""},
        {"syntax", "", section + "Vin0Str\n", 2, "'Vin0Str'", 9},
        // iniparser reads a line and its newline into 1024 bytes.
        {"longest line", "", section + ";" + std::string(1021, 'x') + "\n", 0, ""},
        {"line too long", "", section + ";" + std::string(1022, 'x') + "\n", 2, "1023 characters",
         9},
        {"NUL byte", "", section + std::string("Vin0Str = A\0B\n", 14), 2, "NUL byte", 9},
        {"device", "/dev/zero", "", 2, "not a regular file"},
        {"FIFO without a writer", fifo, "", 2, ""},  // must not wait for one
        {"larger than the limit", "", section + std::string(1 << 20, '\n'), 2, "larger than"},
        {"just below the limit", "", section + std::string((1 << 20) - section.size(), '\n'), 0,
         ""},
    };
    std::map<std::string, Report> reports;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Report& report = reports[c.what] =
            c.path.empty() ? check_text(c.text) : check_file(c.path);
        EXPECT_EQ(report.exit_status(), c.exit_status) << describe(report);
        if (*c.message == '\0') continue;
        ASSERT_EQ(report.findings.size(), 1u) << describe(report);
        EXPECT_NE(report.findings[0].message.find(c.message), std::string::npos);
        if (c.line >= 0) {
            EXPECT_EQ(report.findings[0].line, c.line);
        }
    }
    EXPECT_EQ(reports["missing"].load, LoadState::unreadable);
    EXPECT_EQ(reports["syntax"].load, LoadState::unloadable);
    std::remove(fifo.c_str());
    rmdir(directory);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// What check_profile prints for the file at path, and its status.
std::string printed_check(const std::string& path, int& status) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    if (out == nullptr) {
        ADD_FAILURE() << "open_memstream";
        return "";
    }
    status = check_profile(path.c_str(), out);
    std::fclose(out);
    const std::string printed(buffer, size);
    std::free(buffer);
    return printed;
}

TEST(CheckProfile, PrintsOneLinePerFindingAndASummaryWithControlCharactersEscaped) {
    const TempProfile profile(edited_example({{"Vin0Cof", "0"}, {"Sio", "w83627dhg"}}));
    int status = -1;
    const std::vector<std::string> lines = lines_of(printed_check(profile.path(), status));
    EXPECT_EQ(status, 1);
    ASSERT_EQ(lines.size(), 3u);
    const std::string& path = profile.path();
    EXPECT_EQ(lines[0].rfind(path + ":19: error: [example-board] Sio: 'w83627dhg'", 0), 0u);
    EXPECT_EQ(lines[1].rfind(path + ":23: error: [example-board] Vin0Cof: factor 0", 0), 0u);
    EXPECT_EQ(lines[2], path + ": 1 section, 2 errors, 0 warnings");

    // A name too long for any model, so that a finding echoes it.
    const TempProfile escaped(plain_section(std::string(30, 'm') + "\x1b[2J"));
    const std::string printed = printed_check(escaped.path(), status);
    EXPECT_EQ(printed.find('\x1b'), std::string::npos) << printed;
    EXPECT_NE(printed.find("m\\x1B[2j]"), std::string::npos) << printed;
}

// The built quorvik-info, run as an integrator runs it.
struct ToolRun {
    std::string output;
    int exit_status = -1;
};

ToolRun run_shell(const std::string& command) {
    ToolRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) run.output += chunk;
    const int status = pclose(pipe);
    if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
    return run;
}

// The tool reads the file once: standard input from a profile checks as the
// profile does, and a pipe is refused with the reason.
TEST(QuorvikInfo, ChecksProfilesAndListsItsOptionsFromTheCommandLine) {
    const std::string info = QUORVIK_INFO_PATH;
    const std::string example = QUORVIK_EXAMPLE_PROFILE;
    const std::string broken = std::string(QUORVIK_TEST_DATA) + "/profiles/broken.ini";
    const struct {
        std::string command;
        int exit_status;
        std::vector<std::string> said;
    } cases[] = {
        {info + " --check-profile " + example, 0, {"1 section, 0 errors, 0 warnings"}},
        {info + " --check-profile " + broken,
         1,
         {broken + ":15: warning: [kt-510] Sio:",
          broken + ":18: error: [kt-510] Vin0Cof: factor 0"}},
        {info + " --check-profile /nonexistent.ini", 2, {}},
        {info + " --check-profile /dev/stdin < " + example, 0, {"0 errors, 0 warnings"}},
        {"cat " + example + " | " + info + " --check-profile /dev/stdin",
         2,
         {"not a regular file"}},
        {info + " --help", 0, {"--per-cpu", "--check-profile[=FILE]", "--help"}},
        {info + " --no-such-option", 2, {"unknown option '--no-such-option'"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const ToolRun run = run_shell(c.command + " 2>&1");
        EXPECT_EQ(run.exit_status, c.exit_status) << run.output;
        for (const std::string& said : c.said) {
            EXPECT_NE(run.output.find(said), std::string::npos) << said << " in\n" << run.output;
        }
    }
}

// The checker takes its chips, roles and limits from the profile schema, so
// that whatever the schema adds, the checker judges without a change of its
// own: every banked chip is taken as one, in its own spelling only; every
// role key is read and gated by its count; every input field is known.
TEST(CheckProfile, FollowsTheSchema) {
    namespace schema = quorvik::schema;
    for (const schema::BankedChip& chip : schema::kBankedChips) {
        const std::string name(chip.name);
        const Report banked = check_text(edited_example({{"Sio", name.c_str()}}));
        EXPECT_TRUE(banked.findings.empty()) << name << "\n" << describe(banked);
        // Banked chips read their Bnk keys: one missing is an error.
        const Report no_bank =
            check_text(edited_example({{"Sio", name.c_str()}, {"Vin0Bnk", nullptr}}));
        EXPECT_EQ(no_bank.exit_status(), 1) << name << "\n" << describe(no_bank);
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const Report other_case = check_text(edited_example({{"Sio", lower.c_str()}}));
        EXPECT_EQ(other_case.exit_status(), 1) << lower << "\n" << describe(other_case);
    }
    const auto each_role = [](const auto& roles, const char* query) {
        for (std::size_t index = 0; index < std::size(roles); ++index) {
            const Report missing = check_text(edited_example({{roles[index].key, nullptr}}));
            EXPECT_EQ(missing.exit_status(), 1) << roles[index].key << "\n" << describe(missing);
            const std::string call = std::string(query) + "(" + std::to_string(index) + ")";
            EXPECT_NE(describe(missing).find(call), std::string::npos) << describe(missing);
        }
    };
    each_role(schema::kVoltRoles, "get_milli_volt");
    each_role(schema::kTempRoles, "get_temperature");
    // Every field of every input kind is a key some reader reads.
    for (const schema::InputKind* kind : schema::kInputKinds) {
        for (const schema::Field& field : kind->fields) {
            const std::string key = schema::input_key(*kind, 0, field.name);
            const Report report = check_text(edited_example({}, key + " = 1\n"));
            EXPECT_EQ(describe(report).find("unknown key"), std::string::npos) << describe(report);
        }
    }
    // The most plausible count passes, one more is an error.
    const std::string most = std::to_string(schema::kMostPlausible);
    EXPECT_EQ(check_text(edited_example({{"TotalLanPort", most.c_str()}})).exit_status(), 0);
}

TEST(CheckProfile, EmptySectionNameIsAnError) {
    const Report report = check_text("[]\nVolt = 1\n" + plain_section("a"));
    EXPECT_EQ(report.exit_status(), 1) << describe(report);
    ASSERT_FALSE(report.findings.empty());
    EXPECT_EQ(report.findings[0].line, 1);
    EXPECT_NE(report.findings[0].message.find("empty section name"), std::string::npos);
}

// The serial port list as the monitoring library and the checker both split
// and read it.
TEST(TtyList, SplitsAndReadsAsTheMonitoringLibrary) {
    using quorvik::tty::items;
    EXPECT_EQ(items("0,1"), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(items(",,0,,1,"), (std::vector<std::string>{"0", "1"})) << "empty items skipped";
    EXPECT_TRUE(items("").empty());
    EXPECT_EQ(items(" 2 , 3"), (std::vector<std::string>{" 2 ", " 3"}));

    using quorvik::tty::device_number;
    EXPECT_EQ(device_number(" 7x"), 7);
    EXPECT_EQ(device_number("1.9"), 1);
    EXPECT_EQ(device_number("-1.9"), -1);
    EXPECT_EQ(device_number("x"), 0);
    EXPECT_EQ(device_number("2147483647.5"), 2147483647);
    EXPECT_FALSE(device_number("2147483648"));
    EXPECT_FALSE(device_number("nan"));

    EXPECT_TRUE(quorvik::tty::letters_only("ttyUSB"));
    EXPECT_TRUE(quorvik::tty::letters_only(""));
    EXPECT_FALSE(quorvik::tty::letters_only("S1"));
    EXPECT_FALSE(quorvik::tty::letters_only("\xE9"));  // a letter in Latin-1, not ASCII
}

}  // namespace
