// A host program of the built libquorvik.so, run by the black-box tests with
// the preloaded digital-I/O driver: it loads the simulated libQuorvikSO and
// libquorvik.so as a host does and makes the calls named on its command line.
//   quorvik_dio_host REPORT MODEL [--chatter] CALL...
// CALL is pwr:<index> (get_pwr_status) or relay:<index>:<value> (set_relay);
// each appends "<call> <status> <value>" to the file REPORT. With --chatter
// another thread keeps printing diagnostics with puts meanwhile, as a
// daemon's threads do, whether or not stdout is open.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "sim_control.h"

namespace {

[[noreturn]] void fail(const char* what) {
    // stderr may be closed; the exit status tells the test.
    std::fprintf(stderr, "quorvik_dio_host: %s\n", what);
    std::exit(3);
}

void* load(const char* path, int flags) {
    void* library = dlopen(path, flags);
    if (library == nullptr) fail(dlerror());
    return library;
}

template <typename Function>
Function* symbol(void* library, const char* name) {
    void* found = dlsym(library, name);
    if (found == nullptr) fail(name);
    return reinterpret_cast<Function*>(found);
}

// The report goes on a descriptor above the standard ones, so that it does
// not fill a place the test left empty on purpose.
FILE* open_report(const char* path) {
    const int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) fail("report");
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    FILE* report = moved >= 0 ? fdopen(moved, "a") : nullptr;
    if (report == nullptr) fail("report");
    return report;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) fail("usage: quorvik_dio_host REPORT MODEL [--chatter] CALL...");
    FILE* report = open_report(argv[1]);
    void* so = load(LIBQUORVIKSO_SIM_PATH, RTLD_NOW | RTLD_GLOBAL);
    symbol<int(const char*, const char*, const char*)>(so, QUORVIK_SIM_BOARD_SYMBOL)(
        argv[2], "R1.00", "SN1");
    void* api = load(LIBQUORVIK_PATH, RTLD_NOW | RTLD_LOCAL);
    auto* get_pwr_status = symbol<int(int, int*)>(api, "get_pwr_status");
    auto* set_relay = symbol<int(int, int)>(api, "set_relay");

    int first_call = 3;
    int repeats = 1;
    std::atomic<bool> done{false};
    std::thread chatter;
    if (argc > 3 && std::strcmp(argv[3], "--chatter") == 0) {
        first_call = 4;
        // Each call made many times: a node on descriptor 1 would catch the
        // chatter within one of them.
        repeats = 200;
        chatter = std::thread([&done] {
            while (!done.load()) {
                std::puts("agent: still alive");
                std::fflush(stdout);
            }
        });
    }
    for (int arg = first_call; arg < argc; ++arg) {
        const std::string call = argv[arg];
        int index = 0;
        int value = 0;
        int status = 0;
        for (int repeat = 0; repeat < repeats; ++repeat) {
            if (std::sscanf(call.c_str(), "pwr:%d", &index) == 1) {
                value = -9;
                status = get_pwr_status(index, &value);
            } else if (std::sscanf(call.c_str(), "relay:%d:%d", &index, &value) == 2) {
                status = set_relay(index, value);
            } else {
                fail("unknown call");
            }
        }
        std::fprintf(report, "%s %d %d\n", call.c_str(), status, value);
    }
    done.store(true);
    if (chatter.joinable()) chatter.join();
    std::fclose(report);
    return 0;
}
