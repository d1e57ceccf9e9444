// The command runner over arbitrary command output: lines of any length,
// NUL bytes, no final newline. The output is replayed by cat.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame.h"

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
    return 0;
}
