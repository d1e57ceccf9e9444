#include "process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace quorvik::blackbox {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

Outcome run(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& environment, const std::vector<int>& closed) {
    char out_name[] = "/tmp/quorvik-out-XXXXXX";
    char err_name[] = "/tmp/quorvik-err-XXXXXX";
    const int out = ::mkstemp(out_name);
    const int err = ::mkstemp(err_name);
    Outcome outcome;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::close(out);
        ::close(err);
        for (const int fd : closed) ::close(fd);
        for (const auto& variable : environment) ::putenv(const_cast<char*>(variable.c_str()));
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        outcome.exit_status = WEXITSTATUS(status);
    }
    ::close(out);
    ::close(err);
    outcome.out = slurp(out_name);
    outcome.err = slurp(err_name);
    ::unlink(out_name);
    ::unlink(err_name);
    return outcome;
}

}  // namespace quorvik::blackbox
