// --output as node_exporter's textfile collector needs it: the report
// replaces the file atomically, keeps its owner and mode, and nothing that is
// not a regular file is ever replaced; a target that cannot be written is
// found before any measuring.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "exposition.h"
#include "tool_fixture.h"

namespace quorvik::report::test {
namespace {

namespace fs = std::filesystem;
using blackbox::Outcome;

constexpr double kMiB = 1024.0 * 1024.0;

struct stat status_of(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

TEST_F(Tool, OutputFileIsReplacedAtomicallyKeepingOwnerAndMode) {
    const fs::path file = dir_ / "quorvik.prom";
    std::ofstream(file) << "old\n";
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    // Another owner, as when root's cron job rewrites the collector's file.
    const bool other_owner = ::geteuid() == 0 && ::chown(file.c_str(), 4321, 4322) == 0;
    const struct stat before = status_of(file);

    const Outcome written = info({"--prometheus", "--output", file.string()});
    EXPECT_EQ(written.exit_status, 0) << written.err;
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(report_in(file).value("quorvik_memory_total_bytes"), 2000 * kMiB);
    const struct stat after = status_of(file);
    EXPECT_NE(after.st_ino, before.st_ino) << "renamed over, not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    if (other_owner) {
        EXPECT_EQ(after.st_uid, 4321u);
        EXPECT_EQ(after.st_gid, 4322u);
    }
    EXPECT_EQ(listing(), std::vector<std::string>{"quorvik.prom"}) << "no temporary file left";

    // A new file is readable by all: the collector runs as another user.
    const fs::path fresh = dir_ / "fresh.prom";
    EXPECT_EQ(info({"-p", "-o", fresh.string()}).exit_status, 0);
    EXPECT_EQ(status_of(fresh).st_mode & 07777, 0644u);

    // A symbolic link to a regular file is replaced as a link.
    const fs::path real = dir_ / "real.prom";
    std::ofstream(real) << "kept\n";
    const fs::path link = dir_ / "link.prom";
    fs::create_symlink(real, link);
    EXPECT_EQ(info({"-p", "-o", link.string()}).exit_status, 0);
    EXPECT_FALSE(fs::is_symlink(link));
    report_in(link);
    EXPECT_EQ(slurp(real), "kept\n");
}

TEST_F(Tool, OutputNeverReplacesWhatIsNotARegularFile) {
    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path to_null = dir_ / "stdout-like";
    fs::create_symlink("/dev/null", to_null);
    const fs::path dangling = dir_ / "dangling";
    fs::create_symlink(dir_ / "nothing", dangling);
    const fs::path directory = dir_ / "taken";
    fs::create_directory(directory);
    std::vector<fs::path> refused = {fifo, to_null, dangling, directory, "/dev/null"};
    // A device node of the test's own, where root may make one.
    const fs::path node = dir_ / "null-node";
    if (::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) refused.push_back(node);

    for (const fs::path& target : refused) {
        SCOPED_TRACE(target);
        const struct stat before = status_of(target);
        const Outcome outcome = info({"--json", "--output=" + target.string()});
        EXPECT_EQ(outcome.exit_status, 1);
        EXPECT_NE(outcome.err.find("quorvik-info: " + target.string()), std::string::npos)
            << outcome.err;
        const struct stat after = status_of(target);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_rdev, before.st_rdev);
    }
    EXPECT_TRUE(tools_.calls().empty()) << "refused before anything was measured";
    std::vector<std::string> expected = {"dangling", "fifo", "stdout-like", "taken"};
    if (refused.back() == node) expected.insert(expected.begin() + 2, "null-node");
    EXPECT_EQ(listing(), expected) << "no temporary file left";
    EXPECT_TRUE(fs::is_empty(directory));
}

// Whoever owns a directory on the way (prometheus owns the textfile
// directory's parent) may swap a directory for a symbolic link: root's
// report must not follow it, neither before the collection nor during it.
TEST_F(Tool, OutputNeverGoesThroughASymbolicLinkedDirectory) {
    const fs::path real = dir_ / "real";
    fs::create_directories(real / "sub");
    fs::create_directory_symlink(real, dir_ / "link");
    fs::create_directory_symlink("/", dir_ / "root");
    for (const fs::path& target :
         {dir_ / "link" / "quorvik.prom", dir_ / "link" / "sub" / "quorvik.prom",
          dir_ / "root" / "tmp" / "quorvik.prom", dir_ / "link" / "." / "quorvik.prom"}) {
        SCOPED_TRACE(target);
        const Outcome outcome = info({"-p", "-o", target.string()});
        EXPECT_EQ(outcome.exit_status, 1);
        EXPECT_NE(outcome.err.find("quorvik-info: " + target.string()), std::string::npos)
            << outcome.err;
    }
    EXPECT_TRUE(tools_.calls().empty()) << "refused before anything was measured";
    EXPECT_TRUE(fs::is_empty(real / "sub"));
    EXPECT_EQ(listing(), (std::vector<std::string>{"link", "real", "root"}));

    // The directory renamed and a link put in its place while the tool
    // measures: the report lands in the directory that was opened.
    serve_stat(growing_stat(2));
    const fs::path textfiles = dir_ / "textfiles";
    fs::create_directory(textfiles);
    const std::string script = std::string(QUORVIK_INFO_PATH) + " -c -p -o " +
                               (textfiles / "quorvik.prom").string() + " & sleep 0.4; mv " +
                               textfiles.string() + " " + (dir_ / "moved").string() + "; ln -s " +
                               real.string() + " " + textfiles.string() + "; wait $!";
    const Outcome swapped = blackbox::run("/bin/sh", {"-c", script});
    EXPECT_EQ(swapped.exit_status, 0) << swapped.err;
    report_in(dir_ / "moved" / "quorvik.prom");
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(real), {}),
              std::vector<fs::path>{real / "sub"});
}

TEST_F(Tool, UnwritableTargetsFailBeforeTheMeasuringSecond) {
    serve_stat(growing_stat(2));  // a measurement would now take its second
    const fs::path unwritable = dir_ / "locked";
    fs::create_directory(unwritable);
    fs::permissions(unwritable, fs::perms::owner_read | fs::perms::owner_exec);
    std::vector<fs::path> targets = {dir_ / "missing" / "quorvik.prom",
                                     dir_ / "plain" / "quorvik.prom"};
    std::ofstream(dir_ / "plain") << "a file, not a directory\n";
    // Root writes where the mode says no: only a user can check that.
    if (::geteuid() != 0) targets.push_back(unwritable / "quorvik.prom");
    for (const fs::path& target : targets) {
        SCOPED_TRACE(target);
        const Outcome outcome = info({"--per-cpu", "-p", "-o", target.string()});
        EXPECT_EQ(outcome.exit_status, 1);
        EXPECT_NE(outcome.err.find("quorvik-info: "), std::string::npos) << outcome.err;
    }
    EXPECT_TRUE(tools_.calls().empty()) << "nothing measured for a target that cannot be written";
    fs::permissions(unwritable, fs::perms::owner_all);

    // Standard output that takes nothing fails after the fact, with status 1.
    const Outcome full = blackbox::run(
        "/bin/sh", {"-c", std::string(QUORVIK_INFO_PATH) + " --prometheus > /dev/full"});
    EXPECT_EQ(full.exit_status, 1);
}

TEST_F(Tool, TargetNamesUpToTheFileSystemLimitWork) {
    const long most = ::pathconf(dir_.c_str(), _PC_NAME_MAX);
    ASSERT_GT(most, 8);
    for (const long length : {most, most - 7, most - 8}) {
        const fs::path target =
            dir_ / (std::string(static_cast<std::size_t>(length - 5), 'q') + ".prom");
        SCOPED_TRACE(length);
        const Outcome outcome = info({"-p", "-o", target.string()});
        EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
        report_in(target);
        fs::remove(target);
        EXPECT_TRUE(fs::is_empty(dir_)) << "no temporary file left";
    }
}

// A daemon may start the tool with standard output closed: no descriptor
// the libraries open may become 1 and take their messages (or the report).
TEST_F(Tool, ClosedStandardOutputStaysOccupied) {
    const fs::path file = dir_ / "quorvik.prom";
    const Outcome outcome = blackbox::run(
        "/bin/sh", {"-c", std::string(QUORVIK_INFO_PATH) + " -p -o " + file.string() + " >&-"});
    EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
    const Exposition exposition = report_in(file);
    EXPECT_EQ(exposition.value("quorvik_memory_total_bytes"), 2000 * kMiB);
    if (exposition.family("quorvik_board_info").empty()) {
        EXPECT_NE(outcome.err.find("quorvik-info: library message"), std::string::npos)
            << "the libraries' messages were lost: " << outcome.err;
    }
    // Without -o the report has nowhere to go, which is said at once.
    const std::size_t calls = tools_.calls().size();
    const Outcome nowhere =
        blackbox::run("/bin/sh", {"-c", std::string(QUORVIK_INFO_PATH) + " -p >&-"});
    EXPECT_EQ(nowhere.exit_status, 1);
    EXPECT_EQ(nowhere.err, "quorvik-info: standard output: it is closed\n");
    EXPECT_EQ(tools_.calls().size(), calls) << "nothing measured for a report with nowhere to go";
}

// A timer's timeout may end the tool while it measures: the temporary file
// made before the collection goes with it, and the old report stays.
TEST_F(Tool, TerminationDuringTheCollectionLeavesNoTemporaryFile) {
    serve_stat(growing_stat(2));  // the collection now takes its second
    const fs::path file = dir_ / "quorvik.prom";
    std::ofstream(file) << "old\n";
    // (SIGINT is left out: a shell's background job ignores it, and so does
    // the tool. Any signal that ends it but SIGKILL takes the file along.)
    const struct {
        const char* name;
        int number;
    } signals[] = {{"TERM", SIGTERM}, {"HUP", SIGHUP}, {"USR1", SIGUSR1}, {"ALRM", SIGALRM}};
    for (const auto& sig : signals) {
        SCOPED_TRACE(sig.name);
        const std::string script = std::string(QUORVIK_INFO_PATH) + " -p -o " + file.string() +
                                   " & sleep 0.4; ls -a " + dir_.string() +
                                   " | grep -c '^\\.quorvik'; kill -" + sig.name +
                                   " $!; wait $!; echo status $?";
        const Outcome outcome = blackbox::run("/bin/sh", {"-c", script});
        EXPECT_EQ(outcome.out, "1\nstatus " + std::to_string(128 + sig.number) + "\n")
            << "the temporary file existed, and the signal ended the tool";
        EXPECT_EQ(listing(), std::vector<std::string>{"quorvik.prom"});
        EXPECT_EQ(slurp(file), "old\n");
    }
}

}  // namespace
}  // namespace quorvik::report::test
