// Model matching over arbitrary section and model names. Input: lines; the
// last is the model name, the others name the profile's sections in file
// order (lowered, as the INI library keeps them). The answer is checked
// against the rule written out plainly: an exact name serves nobody by
// prefix; otherwise the first section, in file order, shorter than 30
// characters whose name begins the lowered model.
#include <iniparser.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "QuorvikSO.h"

namespace {

constexpr std::size_t kSectionSize = 30;
constexpr std::size_t kMaxSections = 16;

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

struct DictionaryDeleter {
    void operator()(dictionary* d) const { iniparser_freedict(d); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = input.find('\n', start);
        // Names are C strings: each ends at its first NUL.
        const std::string_view line = input.substr(start, end - start);
        lines.emplace_back(line.substr(0, line.find('\0')));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    const std::string model = lines.back();
    lines.pop_back();
    if (lines.size() > kMaxSections) lines.resize(kMaxSections);

    std::unique_ptr<dictionary, DictionaryDeleter> profile(dictionary_new(0));
    if (!profile) return 0;
    for (const auto& name : lines) {
        // Names holding ':' are keys to the INI library, not sections; very
        // long ones it refuses. Both stay in the test as they are.
        iniparser_set(profile.get(), name.c_str(), nullptr);
    }

    // The caller's buffer, on the heap so that a write past its 30 bytes
    // shows; '#' marks what was not written.
    auto section = std::make_unique<char[]>(kSectionSize);
    std::memset(section.get(), '#', kSectionSize);
    const int result = SensorModelCheck(model.c_str(), profile.get(), section.get());

    const std::string model_lowered = lowered(model);
    bool exact = false;
    const char* first_fit = nullptr;
    for (int i = 0; i < iniparser_getnsec(profile.get()); ++i) {
        const char* name = iniparser_getsecname(profile.get(), i);
        if (name == nullptr) continue;
        const std::string_view view(name);
        if (view == model_lowered) exact = true;
        // An empty name would begin every model's name: it serves none.
        const bool fits = !view.empty() && view.size() < kSectionSize &&
                          view.size() <= std::min(model_lowered.size(), kSectionSize) &&
                          std::string_view(model_lowered).starts_with(view);
        if (fits && first_fit == nullptr) first_fit = name;
    }

    if (!exact && first_fit != nullptr) {
        if (result != 1) __builtin_trap();
        const std::size_t length = std::strlen(first_fit);
        if (std::memcmp(section.get(), first_fit, length + 1) != 0) __builtin_trap();
        for (std::size_t i = length + 1; i < kSectionSize; ++i) {
            if (section[i] != '#') __builtin_trap();
        }
    } else {
        if (result != 0) __builtin_trap();
        for (std::size_t i = 0; i < kSectionSize; ++i) {
            if (section[i] != '#') __builtin_trap();
        }
    }
    // Null arguments are refused before anything is read.
    if (SensorModelCheck(nullptr, profile.get(), section.get()) != 0) __builtin_trap();
    if (SensorModelCheck(model.c_str(), nullptr, section.get()) != 0) __builtin_trap();
    return 0;
}
