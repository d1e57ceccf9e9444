// The profile lookup over arbitrary INI text: every key type, section and
// key names taken from the input itself.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame.h"

namespace {

const std::string& profile_path() {
    static const std::string path = "/tmp/quorvik-fuzz-profile-" + std::to_string(::getpid());
    return path;
}

void lookup(const char* section, const char* key, int type) {
    union {
        int number;
        double real;
        char text[quorvik::kBufferSize];
    } value;
    std::memset(&value, 0, sizeof value);
    quorvik::profile_lookup(quorvik::ini::Profile(profile_path().c_str()), section, key, type,
                            &value);
    if (type == quorvik::INI_TYPE_STRING && value.text[sizeof value.text - 1] != 0) {
        __builtin_trap();  // text values must fit the 128-byte buffer
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(profile_path().c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    // Names from the input's first line, so that keys naming sections occur.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string first = text.substr(0, std::min<std::size_t>(text.find('\n'), 60));
    const std::size_t colon = first.find(':');
    const std::string section = colon == std::string::npos ? first : first.substr(0, colon);
    const std::string key = colon == std::string::npos ? "Volt" : first.substr(colon + 1);
    for (int type = 0; type <= 3; ++type) {
        lookup(section.c_str(), key.c_str(), type);
        lookup((section + "_1").c_str(), key.c_str(), type);
        lookup("ab-1234", "TotalSerialPort", type);
    }
    return 0;
}
