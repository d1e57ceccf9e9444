// The built quorvik-info as an integrator runs it: the command line and exit
// statuses, standard output that holds only the report, the libraries'
// messages told once each, progress only on a terminal, a parent that
// ignores SIGCHLD.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "QuorvikSO.h"
#include "exposition.h"
#include "quorvik.h"
#include "tool_fixture.h"

namespace quorvik::report::test {
namespace {

namespace fs = std::filesystem;
using blackbox::Outcome;

// "quorvik-info: library message[ (N times)]: TEXT", TEXT not empty and
// without the libraries' carriage returns.
bool is_message_line(const std::string& line) {
    const std::string prefix = "quorvik-info: library message";
    if (line.rfind(prefix, 0) != 0) return false;
    std::size_t at = prefix.size();
    if (line.compare(at, 2, " (") == 0) {
        const std::size_t digits = line.find_first_not_of("0123456789", at + 2);
        if (digits == at + 2 || digits == std::string::npos) return false;
        if (line.compare(digits, 7, " times)") != 0) return false;
        at = digits + 7;
    }
    return line.compare(at, 2, ": ") == 0 && line.size() > at + 2 &&
           line.find('\r') == std::string::npos;
}

TEST_F(Tool, WrongCommandLinesFailWithStatusTwoBeforeReadingAnything) {
    const std::vector<std::vector<std::string>> wrong = {
        {"--json", "--prometheus"},
        {"--output"},
        {"--output="},
        {"--check-profile", "x.ini", "--json"},
        {"--per-cpu", "--check-profile"},
        {"--no-such-option"},
        {"extra"},
    };
    for (const auto& args : wrong) {
        const Outcome outcome = info(args);
        EXPECT_EQ(outcome.exit_status, 2) << testing::PrintToString(args);
        EXPECT_EQ(outcome.out, "") << testing::PrintToString(args);
        EXPECT_NE(outcome.err.find("Try 'quorvik-info --help'"), std::string::npos) << outcome.err;
    }
    EXPECT_TRUE(tools_.calls().empty()) << "nothing measured for a wrong command line";

    const Outcome help = info({"--help"});
    EXPECT_EQ(help.exit_status, 0);
    for (const char* option :
         {"-j, --json", "-p, --prometheus", "-c, --per-cpu", "-o, --output=FILE",
          "-C, --check-profile[=FILE]", "-h, --help", "-V, --version", "Exit status"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
}

TEST_F(Tool, CommandLineTakesShortOptionsEqualsAndTheEndOfOptions) {
    const fs::path file = dir_ / "m.prom";
    const struct {
        std::vector<std::string> args;
        const char* format;  // "json", "prometheus", "text", or "" for a usage error
        bool to_file;
        const char* said;  // in the usage error
    } cases[] = {
        {{"-j"}, "json", false, ""},
        {{"-p"}, "prometheus", false, ""},
        {{"-cj"}, "json", false, ""},
        {{"-p", "-o", file.string()}, "prometheus", true, ""},
        {{"-po" + file.string()}, "prometheus", true, ""},
        {{"--prometheus", "--output=" + file.string()}, "prometheus", true, ""},
        {{"--output", "-", "--prometheus"}, "prometheus", false, ""},  // "-": standard output
        {{"--"}, "text", false, ""},
        {{"--", "--json"}, "", false, "unexpected argument '--json'"},
        {{"-x"}, "", false, "unknown option '-x'"},
        {{"--jsn"}, "", false, "unknown option '--jsn'"},
        {{"-o"}, "", false, "FILE missing: '-o'"},
        {{"-j", "-p"}, "", false, "only one of --json and --prometheus"},
        {{"--version=1"}, "", false, "--version=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        fs::remove(file);
        const Outcome outcome = info(c.args);
        const std::string written = c.to_file ? slurp(file) : outcome.out;
        if (std::string(c.format).empty()) {
            EXPECT_EQ(outcome.exit_status, 2);
            EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
            EXPECT_EQ(outcome.out, "");
            continue;
        }
        EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
        EXPECT_EQ(c.to_file, outcome.out.empty()) << "the report went to one place only";
        if (std::string(c.format) == "json") {
            EXPECT_TRUE(nlohmann::json::accept(written)) << written;
        } else if (std::string(c.format) == "prometheus") {
            const Exposition exposition = parse_exposition(written);
            EXPECT_TRUE(exposition.errors.empty()) << written;
            EXPECT_EQ(exposition.value("quorvik_memory_total_bytes"), 2000 * 1024 * 1024.0);
            EXPECT_EQ(written.rfind("# HELP", 0), 0u) << written;
        } else {
            EXPECT_EQ(written.rfind("Board identity\n", 0), 0u) << written;
        }
    }
    fs::remove(file);
    EXPECT_FALSE(fs::exists("-"));
    EXPECT_TRUE(fs::is_empty(dir_));
}

// The libraries that are loaded, which may be older than the tool: each by
// its real file's name, "unknown" where that name carries no full version.
TEST_F(Tool, VersionNamesTheToolAndTheLoadedLibraries) {
    const std::string built = std::to_string(QUORVIK_VERSION_MAJOR) + "." +
                              std::to_string(QUORVIK_VERSION_MINOR) + "." +
                              std::to_string(QUORVIK_VERSION_PATCH);
    const std::string so_built = std::to_string(QUORVIK_SO_VERSION_MAJOR) + "." +
                                 std::to_string(QUORVIK_SO_VERSION_MINOR) + "." +
                                 std::to_string(QUORVIK_SO_VERSION_PATCH);
    for (const char* option : {"--version", "-V"}) {
        const Outcome outcome = info({option});
        EXPECT_EQ(outcome.exit_status, 0);
        EXPECT_EQ(outcome.out, "quorvik-info " QUORVIK_VERSION_TEXT " (libquorvik " + built +
                                   ", libQuorvikSO " + so_built + ")\n");
        EXPECT_EQ(outcome.err, "");
    }
    // Older libraries beside the tool: libquorvik.so.1 links to a file of
    // another version, libQuorvikSO.so.1 is the file itself.
    const fs::path libraries = fs::path(tools_.dir()) / "lib";
    fs::create_directory(libraries);
    fs::copy_file(LIBQUORVIK_PATH, libraries / "libquorvik.so.1.0.7");
    fs::create_symlink("libquorvik.so.1.0.7", libraries / "libquorvik.so.1");
    fs::copy_file(LIBQUORVIKSO_PATH, libraries / "libQuorvikSO.so.1");
    const Outcome older =
        blackbox::run(QUORVIK_INFO_PATH, {"--version"}, {"LD_LIBRARY_PATH=" + libraries.string()});
    EXPECT_EQ(older.exit_status, 0) << older.err;
    EXPECT_EQ(older.out,
              "quorvik-info " QUORVIK_VERSION_TEXT " (libquorvik 1.0.7, libQuorvikSO unknown)\n");
    EXPECT_TRUE(tools_.calls().empty()) << "nothing measured for the version";
    // The same version in the exposition and in the JSON document.
    const Exposition exposition = parse_exposition(info({"-p"}).out);
    EXPECT_EQ(exposition.value("quorvik_build_info", {{"version", QUORVIK_VERSION_TEXT}}), 1.0);
    EXPECT_EQ(nlohmann::json::parse(info({"-j"}).out)["quorvik_info_version"],
              QUORVIK_VERSION_TEXT);
}

TEST_F(Tool, StandardOutputHoldsOnlyTheReportWhateverTheLibrariesPrint) {
    // Off a board the hardware library prints why identification failed, on
    // standard output; the tool sends that to standard error.
    const Outcome json = info({"--json"});
    EXPECT_EQ(json.exit_status, 0) << json.err;
    nlohmann::json document;
    ASSERT_NO_THROW(document = nlohmann::json::parse(json.out)) << json.out;
    bool memory_total = false;
    for (const auto& reading : document["readings"]) {
        if (reading["group"] == "memory" && reading["name"] == "total") {
            memory_total = reading["value"] == 2000 * 1024 * 1024;
        }
    }
    EXPECT_TRUE(memory_total) << json.out;

    const Outcome text = info({});
    EXPECT_EQ(text.exit_status, 0) << text.err;
    for (const char* line : {
             "  CPUs                           2\n",
             "  CPU usage                      unavailable (ERR_CMD_EXIT, -107)\n",
             "  Memory usage                   37.0 %\n",
             "  Memory total                   2000 MiB\n",
             "  Memory free                    900 MiB\n",
         }) {
        EXPECT_NE(text.out.find(line), std::string::npos) << line << "in:\n" << text.out;
    }
    for (const std::string& output : {json.out, text.out}) {
        EXPECT_EQ(output.find('\r'), std::string::npos) << "a library message on stdout";
    }

    // Off a board the libraries say why identification failed, many times
    // over; each distinct message comes once, after the report, counted.
    const bool identified = document["identity"]["model"]["status"] == "OK";
    std::set<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = json.err.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = json.err.substr(at, end - at);
        EXPECT_TRUE(lines.insert(line).second) << "told twice: " << line;
        EXPECT_TRUE(is_message_line(line)) << line;
    }
    EXPECT_EQ(at, json.err.size()) << "every message ends its line";
    if (!identified) {
        EXPECT_FALSE(lines.empty()) << "the libraries said nothing off a board";
    }
}

// Started with SIGCHLD ignored, as some daemons start their children.
TEST_F(Tool, ParentIgnoringSigchldDoesNotFailTheCommands) {
    const Outcome outcome =
        blackbox::run("/usr/bin/env", {"--ignore-signal=CHLD", QUORVIK_INFO_PATH, "--json"});
    const auto document = nlohmann::json::parse(outcome.out);
    int commands_read = 0;
    for (const auto& reading : document["readings"]) {
        EXPECT_NE(reading["status"], "ERR_PCLOSE") << reading.dump();
        if (reading["group"] == "memory" || reading["name"] == "count") {
            EXPECT_EQ(reading["status"], "OK") << reading.dump();
            ++commands_read;
        }
    }
    EXPECT_EQ(commands_read, 4) << "CPU count and the three memory readings";
}

TEST_F(Tool, PerCpuProgressOnlyWhenStandardErrorIsATerminal) {
    const Outcome piped = info({"--per-cpu", "--json"});
    EXPECT_EQ(piped.exit_status, 0);
    EXPECT_EQ(piped.err.find("measuring CPU"), std::string::npos) << piped.err;
    const auto document = nlohmann::json::parse(piped.out);
    int cores = 0;
    for (const auto& reading : document["readings"]) cores += reading["name"] == "core_usage";
    EXPECT_EQ(cores, 2);

    // script(1) gives the tool a terminal; standard output goes elsewhere.
    const std::string command = std::string(QUORVIK_INFO_PATH) + " --per-cpu --json > /dev/null";
    const Outcome terminal = blackbox::run("/usr/bin/script", {"-qec", command, "/dev/null"});
    EXPECT_EQ(terminal.exit_status, 0) << terminal.err;
    EXPECT_NE(terminal.out.find("measuring CPU usage, 0 of 2 CPUs done"), std::string::npos)
        << terminal.out;
}

}  // namespace
}  // namespace quorvik::report::test
