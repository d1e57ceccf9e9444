// The queries' key readers over arbitrary INI text: integers and texts, section
// and key names taken from the input itself.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "quorvik_common/ini_value.h"
#include "quorvik_common/model_keys.h"

namespace {

const std::string& profile_path() {
    static const std::string path = "/tmp/quorvik-fuzz-profile-" + std::to_string(::getpid());
    return path;
}

void lookup(const quorvik::ini::Profile& profile, const char* section, const char* key) {
    quorvik::SectionKeys keys(profile.get(), section);
    int number = 0;
    quorvik::read_integer(keys, key, number);
    char text[quorvik::kBufferSize];
    std::memset(text, 0, sizeof text);
    if (quorvik::read_text(keys, key, text) == 0 && text[sizeof text - 1] != 0) {
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
    const quorvik::ini::Profile profile(profile_path().c_str());
    lookup(profile, section.c_str(), key.c_str());
    lookup(profile, (section + "_1").c_str(), key.c_str());
    lookup(profile, "ab-1234", "TotalSerialPort");
    return 0;
}
