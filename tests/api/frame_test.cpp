// The monitoring API's frame: the command runner, the queries' key readers,
// the model lookup and the identity queries over the late binding.
#include "frame.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "QuorvikSO.h"
#include "bios_builder.h"
#include "capture.h"
#include "private_mounts.h"
#include "quorvik.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/ini_value.h"
#include "sim_board.h"

namespace quorvik {
namespace {

struct CommandResult {
    int status;
    std::string output;
};

CommandResult run(const std::string& command) {
    char output[kBufferSize];
    std::memset(output, 'x', sizeof output);
    const int status = exec_cmd(command.c_str(), output);
    return {status, std::string(output)};
}

TEST(ExecCmd, KeepsTheLastLineAndMapsTheExitStatus) {
    const struct {
        const char* command;
        int status;
        std::string output;
    } cases[] = {
        {"printf 'one\\ntwo\\nthree\\n'", 0, "three\n"},
        {"printf 'no newline'", 0, "no newline"},
        {"true", 0, ""},
        {"echo kept; exit 1", ERR_CMD_EXIT, "kept\n"},
        {"echo before; kill -9 $$", ERR_CMD_EXIT, "before\n"},
        {"exit 3 | true", 0, ""},  // a pipeline's status is its last stage's
        {"echo err 1>&2", 0, ""},  // standard error is not captured
    };
    for (const auto& c : cases) {
        const CommandResult result = run(c.command);
        EXPECT_EQ(result.status, c.status) << c.command;
        EXPECT_EQ(result.output, c.output) << c.command;
    }
}

TEST(ExecCmd, LongLinesLeaveTheirLastPiece) {
    const CommandResult long_line = run("printf '%0200d\\n' 7");
    EXPECT_EQ(long_line.output, std::string(73, '0') + "7\n");
    const CommandResult exact = run("printf '%0126d\\n' 7");
    EXPECT_EQ(exact.output, "\n");
    const CommandResult fits = run("printf '%0125d\\n' 7");
    EXPECT_EQ(fits.output, std::string(124, '0') + "7\n");
}

// True when no process's command line holds marker within a second.
bool none_left(const std::string& marker) {
    for (int tries = 0; tries < 50; ++tries) {
        bool found = false;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            std::ifstream cmdline(entry.path() / "cmdline");
            std::string text((std::istreambuf_iterator<char>(cmdline)), {});
            if (text.find(marker) != std::string::npos &&
                text.find("sh\0-c") == std::string::npos) {
                found = true;
            }
        }
        if (!found) return true;
        ::usleep(20000);
    }
    return false;
}

// A command still running at the deadline is given up with every process of
// its group, also those that outlive the shell and hold its output open.
TEST(ExecCmd, GivesUpAtTheDeadlineAndEndsTheWholeCommand) {
    const struct {
        const char* command;
        const char* marker;  // the sleep's own duration, found in its command line
        std::string output;
    } cases[] = {
        {"exec sleep 61.1", "61.1", ""},
        {"echo started; sleep 61.2 | cat", "61.2", "started\n"},
        {"sleep 61.3 & echo started", "61.3", "started\n"},  // the shell ends, sleep keeps the pipe
    };
    using Clock = std::chrono::steady_clock;
    std::vector<std::future<std::pair<CommandResult, Clock::duration>>> runs;
    for (const auto& c : cases) {
        runs.push_back(std::async(std::launch::async, [command = c.command] {
            const auto begin = Clock::now();
            CommandResult result = run(command);
            return std::pair{result, Clock::now() - begin};
        }));
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto [result, took] = runs[i].get();
        EXPECT_EQ(result.status, ERR_CMD_EXIT) << cases[i].command;
        EXPECT_EQ(result.output, cases[i].output) << cases[i].command;
        EXPECT_GE(took, kCommandDeadline) << cases[i].command;
        EXPECT_LT(took, kCommandDeadline + std::chrono::seconds(1)) << cases[i].command;
        EXPECT_TRUE(none_left(std::string("sleep\0") + cases[i].marker)) << cases[i].command;
    }
}

class ProfileFile : public testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/quorvik-profile-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
    }
    void TearDown() override { std::remove(path_.c_str()); }

    void write(const std::string& text) { std::ofstream(path_, std::ios::trunc) << text; }

    int integer(const char* section, const char* key, int& value) {
        return integer_at(path_, section, key, value);
    }
    int text(const char* section, const char* key, char (&value)[kBufferSize]) {
        const ini::Profile profile(path_.c_str());
        SectionKeys keys(profile.get(), section);
        return read_text(keys, key, value);
    }
    static int integer_at(const std::string& path, const char* section, const char* key,
                          int& value) {
        const ini::Profile profile(path.c_str());
        SectionKeys keys(profile.get(), section);
        return read_integer(keys, key, value);
    }

    std::string path_;
};

TEST_F(ProfileFile, IntegersConvertLikeTheIniLibrary) {
    write(
        "[ab-1234]\nhex = 0x295\ndec = 661\noct = 01225\noct2 = 0661\nzero = 0\nneg = -3\n"
        "empty =\nword = abc\nmixed = 12abc\nkey_2 = 22\nVolt = 3\n[ab-1234:volt]\nx = 1\n");
    const struct {
        const char* key;
        int value;
        int status;
    } cases[] = {{"hex", 661, 0},
                 {"dec", 661, 0},
                 {"oct", 661, 0},
                 {"oct2", 433, 0},
                 {"zero", 0, 0},
                 {"neg", -3, ERR_PROFILE_VALUE},
                 {"empty", 0, 0},
                 {"word", 0, 0},
                 {"mixed", 12, 0},
                 {"missing", -1, ERR_PROFILE_VALUE},
                 // A key naming a section crashes iniparser 4.1's own readers.
                 {"volt", -1, ERR_PROFILE_VALUE}};
    for (const auto& c : cases) {
        int value = 12345;
        EXPECT_EQ(integer("AB-1234", c.key, value), c.status) << c.key;
        EXPECT_EQ(value, c.value) << c.key;
    }
    int indexed = 0;
    EXPECT_EQ(integer("ab-1234", "KEY_2", indexed), 0);
    EXPECT_EQ(indexed, 22);
}

TEST_F(ProfileFile, TextsFitTheCallersBuffers) {
    write("[m]\ntext = /dev/ttyS\nempty =\nlong = " + std::string(128, 'L') +
          "\nfits = " + std::string(127, 'F') + "\n[m:sub]\nx = 1\n");
    char value[kBufferSize] = "untouched";
    EXPECT_EQ(text("M", "TEXT", value), 0);
    EXPECT_STREQ(value, "/dev/ttyS");
    EXPECT_EQ(text("m", "empty", value), 0);
    EXPECT_STREQ(value, "");
    std::strcpy(value, "untouched");
    EXPECT_EQ(text("m", "missing", value), ERR_PROFILE_VALUE);
    EXPECT_STREQ(value, "untouched");
    EXPECT_EQ(text("m", "long", value), ERR_PROFILE_VALUE);
    EXPECT_STREQ(value, "untouched");
    EXPECT_EQ(text("m", "sub", value), ERR_PROFILE_VALUE);
    EXPECT_STREQ(value, "untouched");
    EXPECT_EQ(text("m", "fits", value), 0);
    EXPECT_EQ(std::string(value), std::string(127, 'F'));
}

TEST_F(ProfileFile, LoadFailures) {
    int value = 0;
    write("[m]\nbroken line without equals\n");
    EXPECT_EQ(integer("m", "x", value), ERR_PROFILE_LOAD);
    std::remove(path_.c_str());
    EXPECT_EQ(integer("m", "x", value), ERR_PROFILE_LOAD);
}

// Only a regular file is loaded, refused at once otherwise: a FIFO with no
// writer would hang the load for good. Both libraries load the same way.
TEST_F(ProfileFile, OnlyARegularFileIsLoaded) {
    write("[m]\nx = 1\nVolt = 2\n");
    const std::string dir = path_ + ".d";
    const std::string fifo = path_ + ".fifo";
    const std::string link = path_ + ".link";
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(path_.c_str(), link.c_str()), 0);
    const struct {
        std::string path;
        int status;
        int sensor_status;
    } cases[] = {
        {path_, 0, SENSOR_OK},
        {link, 0, SENSOR_OK},  // a link to a regular file is that file
        {fifo, ERR_PROFILE_LOAD, SENSOR_ERR_PROFILE},
        {dir, ERR_PROFILE_LOAD, SENSOR_ERR_PROFILE},
        {"/dev/zero", ERR_PROFILE_LOAD, SENSOR_ERR_PROFILE},
    };
    for (const auto& c : cases) {
        int value = 0;
        EXPECT_EQ(integer_at(c.path, "m", "x", value), c.status) << c.path;
        char* text = nullptr;
        EXPECT_EQ(SensorVoltQuery(c.path.c_str(), "m", &text), c.sensor_status) << c.path;
        std::free(text);
    }
    ::unlink(link.c_str());
    ::unlink(fifo.c_str());
    ::rmdir(dir.c_str());
}

// Our reader must answer exactly as iniparser does wherever iniparser is sound.
TEST_F(ProfileFile, HelperAgreesWithTheIniLibraryOnSoundFiles) {
    const char* values[] = {"0x1A2", "0X10", "077", "08", "-12",        "+5",   " 42",     "4.75",
                            "1e3",   "",     "x",   "0x", "2147483648", "-0.0", "0x1A2#c", "\"7\""};
    std::string text = "[s]\n";
    for (std::size_t i = 0; i < std::size(values); ++i) {
        text += "k" + std::to_string(i) + " = " + values[i] + "\n";
    }
    write(text);
    const ini::Profile profile(path_.c_str());
    ASSERT_TRUE(profile);
    for (std::size_t i = 0; i < std::size(values) + 1; ++i) {
        const std::string key = "s:k" + std::to_string(i);
        const char* text = ini::find_text(profile.get(), key.c_str());
        const std::optional<int> whole = text != nullptr ? number::c_strtoi(text) : -9;
        // Only a value beyond an int may differ: iniparser wraps it, we refuse it.
        if (whole) {
            EXPECT_EQ(*whole, iniparser_getint(profile.get(), key.c_str(), -9)) << values[i];
        } else {
            EXPECT_STREQ(text, "2147483648");
        }
        EXPECT_EQ(text != nullptr ? number::c_strtod(text) : -9.5,
                  iniparser_getdouble(profile.get(), key.c_str(), -9.5))
            << values[i];
        EXPECT_EQ(ini::has_key(profile.get(), key.c_str()),
                  iniparser_find_entry(profile.get(), key.c_str()) == 1);
    }
}

// ---- identity over the binding, on the simulated board ----

class IdentityQueries : public testing::Test {
  protected:
    void SetUp() override {
        sim::Board::get().reset();
        std::memset(Model_str, 0, sizeof Model_str);
        std::memset(BIOS_Ver_str, 0, sizeof BIOS_Ver_str);
        std::memset(SerialNumber_str, 0, sizeof SerialNumber_str);
        PlatformInfo_Flag = 0;
    }
};

TEST_F(IdentityQueries, AnswerFromTheHardwareLibrary) {
    sim::install(sim::insyde_board("KT-500R", "R1.05", "SN0042"));
    char buf[128];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(get_device_name(buf), 0);
    EXPECT_STREQ(buf, "KT-500R");
    EXPECT_EQ(buf[127], '\0') << "all 128 bytes are cleared first";
    EXPECT_EQ(get_bios_ver(buf), 0);
    EXPECT_STREQ(buf, "R1.05");
    EXPECT_EQ(get_ser_num(buf), 0);
    EXPECT_STREQ(buf, "SN0042");
}

TEST_F(IdentityQueries, UnidentifiedBoardGivesEachQuerysStatusAndAnEmptyText) {
    const struct {
        int (*query)(char*);
        int failure;
    } queries[] = {{get_device_name, ERR_DEVICE_NAME},
                   {get_bios_ver, ERR_BIOS_VER},
                   {get_ser_num, ERR_SERIAL_NUM}};
    for (const auto& q : queries) {
        char buf[128] = "stale";
        sim::printed_by([&] { EXPECT_EQ(q.query(buf), q.failure); });
        EXPECT_STREQ(buf, "");
        EXPECT_EQ(q.query(nullptr), q.failure);
    }
}

TEST_F(IdentityQueries, ModelLookupReadsTheRunningModelsSection) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    sim::write_system_profile("[kt-500r]\nTotalSerialPort = 4\nTtyType = S\n");
    int count = -5;
    sim::printed_by([&] { EXPECT_EQ(model_lookup("TotalSerialPort", count), ERR_DEVICE_NAME); });
    EXPECT_EQ(count, -5) << "no lookup without a model name";

    sim::install(sim::insyde_board("KT-500R", "R1.05", "SN0042"));
    EXPECT_EQ(model_lookup("TotalSerialPort", count), 0);
    EXPECT_EQ(count, 4);
    char text[kBufferSize] = {};
    const ModelProfile profile;
    SectionKeys keys = profile.keys();
    EXPECT_EQ(read_text(keys, "TtyType", text), 0);
    EXPECT_STREQ(text, "S");
    EXPECT_EQ(model_lookup("TotalLanPort", count), ERR_PROFILE_VALUE);
    sim::remove_system_profile();
    EXPECT_EQ(model_lookup("TotalSerialPort", count), ERR_PROFILE_LOAD);
}

}  // namespace
}  // namespace quorvik
