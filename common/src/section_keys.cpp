#include "quorvik_common/section_keys.h"

#include <cstring>

#include "quorvik_common/ini_value.h"
#include "quorvik_common/text.h"

namespace quorvik {

const char* SectionKeys::value(const char* key) {
    return find(text::format_into(key_, "%s:%s", section_, key));
}

const char* SectionKeys::input_value(const char* field) {
    return find(text::format_into(key_, "%s:%s%d%s", section_, prefix_, input_, field));
}

const char* SectionKeys::find(bool formed) {
    why_ = "";
    if (!formed) {
        name_length_ = 0;
        key_[0] = '\0';
        return nullptr;
    }
    name_length_ = std::strlen(section_) + 1;
    if (asked_ != nullptr) asked_->emplace(last_key());
    return ini::find_text(profile_, key_);
}

void SectionKeys::note_refusal(const char* why, const char* key) {
    why_ = why;
    if (key != nullptr && text::format_into(key_, "%s:%s", section_, key)) {
        name_length_ = std::strlen(section_) + 1;
    }
}

}  // namespace quorvik
