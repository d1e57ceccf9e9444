// CPU count and usage, memory usage and sizes, from nproc, /proc/stat and free.
#include "cpu_mem.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "frame.h"
#include "numbers.h"
#include "quorvik.h"
#include "quorvik_common/text.h"

namespace quorvik {
namespace {

constexpr int kCounters = 7;
constexpr int kIdleCounter = 3;

constexpr const char* kAverageCommand =
    "cat /proc/stat | grep \"cpu\" | sed -n \"1p\" | awk -F \"cpu\" '{print $2}'";

// A 32-bit counter value held in a double, as get_cpu_stat gives it.
bool is_counter(double value) {
    return value >= 0.0 && value < 4294967296.0;
}

// Ticks from first to second, both counter values: modulo 2^32, read as
// signed.
double tick_difference(double first, double second) {
    const std::uint32_t difference =
        static_cast<std::uint32_t>(second) - static_cast<std::uint32_t>(first);
    return static_cast<double>(static_cast<std::int32_t>(difference));
}

// Every CPU of the board, the ones whose /proc/stat lines get_cpu_usage
// reads. Plain nproc follows the caller's affinity and OMP_NUM_THREADS /
// OMP_THREAD_LIMIT: an agent pinned to one CPU would be told the board has
// one, and get_cpu_usage would refuse the others.
constexpr const char* kCountCommand = "nproc --all";

// Two samples of the command's counters one second apart, and their usage.
int measure_usage(const char* command, double* usage) {
    char output[kBufferSize];
    int status = exec_cmd(command, output);
    if (status != 0) return status;
    double idle1 = 0.0;
    double total1 = 0.0;
    status = get_cpu_stat(output, &idle1, &total1);
    if (status != 0) return status;

    ::sleep(1);

    status = exec_cmd(command, output);
    if (status != 0) return status;
    double idle2 = 0.0;
    double total2 = 0.0;
    status = get_cpu_stat(output, &idle2, &total2);
    if (status != 0) return status;
    return calc_cpu_util(&idle1, &total1, &idle2, &total2, usage);
}

// Runs a free pipeline that prints one number and returns it in *value.
int read_number(const char* command, double* value) {
    char output[kBufferSize];
    const int status = exec_cmd(command, output);
    if (status != 0) return status;
    *value = leading_number(output);
    return 0;
}

}  // namespace

int get_cpu_stat(const char* text, double* idle, double* total) {
    std::uint32_t counters[kCounters] = {};
    const char* cursor = text;
    for (std::uint32_t& counter : counters) {
        char* end = nullptr;
        const long long value = std::strtoll(cursor, &end, 10);
        if (end == cursor) return ERR_CMD_EXIT;
        counter = static_cast<std::uint32_t>(value);
        cursor = end;
    }
    std::uint32_t sum = 0;
    for (const std::uint32_t counter : counters) sum += counter;
    *idle = static_cast<double>(counters[kIdleCounter]);
    *total = static_cast<double>(sum);
    return 0;
}

int calc_cpu_util(const double* idle1, const double* total1, const double* idle2,
                  const double* total2, double* usage) {
    // The counters are held in 32 bits and wrap (the all-CPU line of a large
    // board about monthly): differences are taken modulo 2^32. One second is
    // far less than 2^31 ticks, so a difference read as signed is the true
    // one, and a negative one means the counter ran backwards.
    for (const double* counter : {idle1, total1, idle2, total2}) {
        if (!is_counter(*counter)) return ERR_CMD_EXIT;
    }
    const double elapsed = tick_difference(*total1, *total2);
    if (!(elapsed > 0.0)) return ERR_CMD_EXIT;
    const double value = 100.0 - (tick_difference(*idle1, *idle2) / elapsed) * 100.0;
    *usage = value < 0.0 ? 0.0 : (value > 100.0 ? 100.0 : value);
    return 0;
}

}  // namespace quorvik

using namespace quorvik;

extern "C" int get_cpu_count(int* count) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (count == nullptr) return ERR_RANGE;
        char output[kBufferSize];
        const int status = exec_cmd(kCountCommand, output);
        if (status != 0) return status;
        return cut_to_int(leading_number(output), count) ? 0 : ERR_CMD_EXIT;
    });
}

extern "C" int get_average_cpu_usage(double* usage) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (usage == nullptr) return ERR_RANGE;
        return measure_usage(kAverageCommand, usage);
    });
}

extern "C" int get_cpu_usage(int index, double* usage) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (usage == nullptr) return ERR_RANGE;
        int count = 0;
        const int status = get_cpu_count(&count);
        if (status < 0) return status;
        if (index < 0 || index >= count) return ERR_RANGE;
        // The lines holding "cpu" are the total, then one per CPU: CPU n is line
        // n + 2, and splitting it at "cpu<n>" leaves its counters.
        char command[kBufferSize];
        text::format_into(command,
                          "cat /proc/stat | grep \"cpu\" | sed -n \"%lldp\" | awk -F \"cpu%d\" "
                          "'{print $2}'",
                          static_cast<long long>(index) + 2, index);
        return measure_usage(command, usage);
    });
}

extern "C" int get_mem_usage(int* percent) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (percent == nullptr) return ERR_RANGE;
        double value = 0.0;
        const int status = read_number("free -m | awk 'NR==2{printf $3*100/$2 }'", &value);
        if (status != 0) return status;
        return cut_to_int(value, percent) ? 0 : ERR_CMD_EXIT;
    });
}

extern "C" int get_mem_total_size(double* mebibytes) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (mebibytes == nullptr) return ERR_RANGE;
        return read_number("free -m | awk 'NR==2{printf $2}'", mebibytes);
    });
}

extern "C" int get_mem_avail_size(double* mebibytes) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (mebibytes == nullptr) return ERR_RANGE;
        return read_number("free -m | awk 'NR==2{printf $4}'", mebibytes);
    });
}
