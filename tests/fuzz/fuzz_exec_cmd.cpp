// The command runner over arbitrary command output: lines of any length,
// NUL bytes, no final newline. The output is replayed by cat. What the
// runner keeps then goes through the parsers the queries apply to it: the
// CPU counters and the number cut to int.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cpu_mem.h"
#include "frame.h"
#include "numbers.h"
#include "quorvik.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/quorvik-fuzz-output-" + std::to_string(::getpid());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    char output[quorvik::kBufferSize + 8];
    std::memset(output, 0x5A, sizeof output);
    const std::string command = "cat " + path;
    if (quorvik::exec_cmd(command.c_str(), output) != 0) __builtin_trap();
    // Nothing beyond the 128-byte buffer, and the text ends inside it.
    for (std::size_t i = quorvik::kBufferSize; i < sizeof output; ++i) {
        if (output[i] != 0x5A) __builtin_trap();
    }
    if (std::memchr(output, 0, quorvik::kBufferSize) == nullptr) __builtin_trap();

    double idle = -1.0;
    double total = -1.0;
    const int parsed = quorvik::get_cpu_stat(output, &idle, &total);
    if (parsed != 0 && (parsed != ERR_CMD_EXIT || idle != -1.0 || total != -1.0)) __builtin_trap();
    if (parsed == 0) {
        // Counters are 32 bits and summed as such.
        if (idle < 0.0 || total < 0.0 || total > 4294967295.0) __builtin_trap();
        double usage = -1.0;
        // One tick later, as the 32-bit counter wraps.
        const double later = std::fmod(total + 1.0, 4294967296.0);
        if (quorvik::calc_cpu_util(&idle, &total, &idle, &later, &usage) != 0) __builtin_trap();
        if (!(usage >= 0.0 && usage <= 100.0)) __builtin_trap();
    }
    int cut = 0x5A5A5A5A;
    if (!quorvik::cut_to_int(quorvik::leading_number(output), &cut) && cut != 0x5A5A5A5A) {
        __builtin_trap();
    }
    return 0;
}
