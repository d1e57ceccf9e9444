#include "sensor_profile.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "quorvik_common/c_number.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/text.h"

namespace quorvik::sensor {

const char* Keys::last_key() const {
    return name_length_ == 0 ? "" : key_ + name_length_;
}

const char* Keys::section_value(const char* key) {
    name_length_ = std::strlen(name_) + 1;
    if (!text::format_into(key_, "%s:%s", name_, key)) return nullptr;
    return find();
}

const char* Keys::input_value(const char* key) {
    name_length_ = std::strlen(name_) + 1;
    if (!text::format_into(key_, "%s:%s%d%s", name_, kind_, input_, key)) return nullptr;
    return find();
}

const char* Keys::find() {
    if (asked_ != nullptr) asked_->emplace(last_key());
    return ini::find_text(profile_, key_);
}

Status Keys::whole_number(const char* text, int& value) {
    const std::optional<int> converted = number::c_strtoi(text);
    if (!converted) return refuse("a number beyond an int");
    value = *converted;
    return SENSOR_OK;
}

Status Keys::number(const char* text, int& value) {
    if (text == nullptr) return SENSOR_ERR_KEY;
    if (*text == '\0') return SENSOR_ERR_VALUE;
    return whole_number(text, value);
}

Status read_count(Keys& keys, const char* key, int& count) {
    const char* value = keys.section_value(key);
    if (value == nullptr) return SENSOR_ERR_KEY;
    return keys.whole_number(value, count);
}

Status read_port_description(Keys& keys, PortDescription& ports) {
    if (const Status s = keys.section_number(schema::kIndexPort, ports.index_port); s != SENSOR_OK)
        return s;
    if (const Status s = keys.section_number(schema::kDataPort, ports.data_port); s != SENSOR_OK)
        return s;
    const char* chip = keys.section_value(schema::kChip);
    if (chip == nullptr) return SENSOR_ERR_KEY;
    if (*chip == '\0') return SENSOR_ERR_VALUE;
    ports.banked = schema::banked_chip(chip);
    return SENSOR_OK;
}

Status read_label(Keys& keys, const char*& label) {
    const char* text = keys.input_value(schema::kLabel);
    if (text == nullptr) return SENSOR_ERR_KEY;
    if (std::strlen(text) > schema::kLongestLabel)
        return keys.refuse("a label that leaves no room for the value");
    label = text;
    return SENSOR_OK;
}

Status read_bank(Keys& keys, const PortDescription& ports, int& bank) {
    if (!ports.banked) return SENSOR_OK;
    const char* text = keys.input_value(schema::kBank);
    if (text == nullptr) return SENSOR_ERR_KEY;
    // An empty value reads as bank 0.
    int value = 0;
    if (const Status s = keys.whole_number(text, value); s != SENSOR_OK) return s;
    if (value == schema::kNoBank) return keys.refuse("a bank number that names no bank");
    bank = value;
    return SENSOR_OK;
}

Status hand_over(char** text, const char* label, long value) {
    char* result = static_cast<char*>(std::malloc(kResultSize));
    *text = result;
    if (result == nullptr) return SENSOR_ERR_NOMEM;
    std::memset(result, 0, kResultSize);
    // read_label keeps the label short enough for the text never to be cut.
    text::format_into({result, kResultSize}, "%s: %ld", label, value);
    return SENSOR_OK;
}

}  // namespace quorvik::sensor
