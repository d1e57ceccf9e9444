// CPU count and usage, memory usage and sizes, from nproc, /proc/stat and free.
#include "cpu_mem.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>

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
    const double elapsed = *total2 - *total1;
    if (!(elapsed > 0.0)) return ERR_CMD_EXIT;
    const double value = 100.0 - ((*idle2 - *idle1) / elapsed) * 100.0;
    *usage = value < 0.0 ? 0.0 : (value > 100.0 ? 100.0 : value);
    return 0;
}

}  // namespace quorvik

using namespace quorvik;

extern "C" int get_cpu_count(int* count) {
    if (count == nullptr) return ERR_RANGE;
    char output[kBufferSize];
    const int status = exec_cmd("nproc", output);
    if (status != 0) return status;
    return cut_to_int(leading_number(output), count) ? 0 : ERR_CMD_EXIT;
}

extern "C" int get_average_cpu_usage(double* usage) {
    if (usage == nullptr) return ERR_RANGE;
    return measure_usage(kAverageCommand, usage);
}

extern "C" int get_cpu_usage(int index, double* usage) {
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
}

extern "C" int get_mem_usage(int* percent) {
    if (percent == nullptr) return ERR_RANGE;
    double value = 0.0;
    const int status = read_number("free -m | awk 'NR==2{printf $3*100/$2 }'", &value);
    if (status != 0) return status;
    return cut_to_int(value, percent) ? 0 : ERR_CMD_EXIT;
}

extern "C" int get_mem_total_size(double* mebibytes) {
    if (mebibytes == nullptr) return ERR_RANGE;
    return read_number("free -m | awk 'NR==2{printf $2}'", mebibytes);
}

extern "C" int get_mem_avail_size(double* mebibytes) {
    if (mebibytes == nullptr) return ERR_RANGE;
    return read_number("free -m | awk 'NR==2{printf $4}'", mebibytes);
}
