#include "quorvik_common/model_match.h"

#include <strings.h>

#include <cctype>
#include <cstring>

#include "quorvik_common/ini_value.h"

namespace quorvik::sensor {
namespace {

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// The matching over section names in file order; Sections is any range of
// them. Two walks, each over every name at most once.
template <typename Sections>
int match(const char* model, const Sections& sections, char* section) {
    for (const char* name : sections) {
        // Section names are kept in lower case: this compares the whole model
        // name, lowered, with the name.
        if (name != nullptr && strcasecmp(model, name) == 0) return 0;
    }

    // At most 30 characters take part in a prefix match; a section name must
    // leave room for its terminator in the caller's 30 bytes.
    char lowered[kSectionSize] = {};
    std::size_t lowered_length = 0;
    for (; lowered_length < sizeof lowered && model[lowered_length] != '\0'; ++lowered_length) {
        lowered[lowered_length] = lower(model[lowered_length]);
    }
    for (const char* name : sections) {
        if (name == nullptr) continue;
        const std::size_t length = std::strlen(name);
        // An empty name begins every name: it would serve every model.
        if (length == 0 || length >= kSectionSize || length > lowered_length) continue;
        if (std::memcmp(lowered, name, length) == 0) {
            std::memcpy(section, name, length + 1);
            return 1;
        }
    }
    return 0;
}

}  // namespace

int serving_section(const char* model, const dictionary* profile, char* section) {
    if (model == nullptr || profile == nullptr || section == nullptr) return 0;
    return match(model, ini::Sections(profile), section);
}

int serving_section(const char* model, std::span<const char* const> sections, char* section) {
    if (model == nullptr || section == nullptr) return 0;
    return match(model, sections, section);
}

SectionName::SectionName(const dictionary* profile, const char* model) : name_(model) {
    if (serving_section(model, profile, buffer_) == 1) name_ = buffer_;
}

}  // namespace quorvik::sensor
