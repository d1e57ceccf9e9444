// What the sensor readers and the count queries read from the device profile:
// the name that addresses the model's keys, the keys of the section and of one
// input, the port description, label and bank of an input, and the result
// text handed to the caller.
#pragma once

#include <iniparser.h>

#include <cstddef>
#include <set>
#include <span>
#include <string>

#include "QuorvikSO.h"
#include "quorvik_common/profile_schema.h"

namespace quorvik::sensor {

// A sensor reader status: SENSOR_OK or one of the SENSOR_ERR_* codes.
using Status = int;

inline constexpr std::size_t kSectionSize = schema::kModelSize;
inline constexpr std::size_t kKeySize = 1024;
inline constexpr std::size_t kResultSize = schema::kResultSize;

// SensorModelCheck: 1 with the name of the first section (in file order)
// whose name begins the model name, lowered, in section[30]; 0 when a section
// bears the whole name or none begins it.
int serving_section(const char* model, dictionary* profile, char* section);

// The same over the profile's section names listed once (ini::section_names),
// for a caller that matches many models against one profile.
int serving_section(const char* model, std::span<const char* const> sections, char* section);

// The name that addresses the model's keys: the section serving the model by
// prefix, or else the model name as given (lookups ignore case).
class SectionName {
  public:
    SectionName(dictionary* profile, const char* model);
    SectionName(const SectionName&) = delete;
    SectionName& operator=(const SectionName&) = delete;

    const char* get() const { return name_; }

  private:
    char buffer_[kSectionSize] = {};
    const char* name_;
};

// Keys of one reading: "<name>:<key>" of the section, and
// "<name>:<kind><input><key>" of one input ("ab-12:Vin3Idx").
class Keys {
  public:
    Keys(const dictionary* profile, const char* name, const char* kind = "", int input = 0)
        : profile_(profile), name_(name), kind_(kind), input_(input) {}
    Keys(const Keys&) = delete;
    Keys& operator=(const Keys&) = delete;

    // The value text, or nullptr when the key is missing. A key too long for
    // the 1024-byte key buffer cannot stand in a profile, whose lines are
    // shorter, and counts as missing.
    const char* section_value(const char* key);
    const char* input_value(const char* key);

    // The key asked for last, without its section ("Vin3Idx"); "" before any.
    const char* last_key() const;

    // Every key asked from now on goes into asked too, without its section:
    // the profile checker learns which keys a reader reads.
    void record_asked(std::set<std::string>& asked) { asked_ = &asked; }

    // Refuses the value of the key asked for last with SENSOR_ERR_VALUE; why
    // says what the reader makes of it ("factor 0"), so that the
    // profile checker reports the reader's own reason.
    Status refuse(const char* why) {
        why_ = why;
        return SENSOR_ERR_VALUE;
    }
    // "" unless a value was refused.
    const char* why() const { return why_; }

    // A present number text converted as strtol with base 0 does (an empty
    // text is 0); a value that does not fit an int is refused, so that a
    // wrapped number never reaches a port or a caller.
    Status whole_number(const char* text, int& value);

    // A number key: missing gives SENSOR_ERR_KEY, empty SENSOR_ERR_VALUE,
    // anything else converts as whole_number does.
    Status section_number(const char* key, int& value) { return number(section_value(key), value); }
    Status input_number(const char* field, int& value) { return number(input_value(field), value); }

  private:
    Status number(const char* text, int& value);
    const char* find();

    const dictionary* profile_;
    const char* name_;
    const char* kind_;
    int input_;
    char key_[kKeySize] = {};
    std::size_t name_length_ = 0;  // of the section part of key_, with its colon
    const char* why_ = "";
    std::set<std::string>* asked_ = nullptr;
};

// Where the chip's hardware monitor answers, and its banks: the chip's row,
// or null for a chip without banks.
struct PortDescription {
    int index_port = 0;
    int data_port = 0;
    const schema::BankedChip* banked = nullptr;
};

// A count key of the section (Volt, Temp, Fan), taken as it stands, 0 and
// negative counts too; never wrapped.
Status read_count(Keys& keys, const char* key, int& count);

// Index, Data and Sio, in that order.
Status read_port_description(Keys& keys, PortDescription& ports);

// The input's label (<kind><n>Str), which may be empty. A label that would
// not leave room for the value in the result text is refused.
Status read_label(Keys& keys, const char*& label);

// The input's bank (<kind><n>Bnk) on a banked chip; nothing is read otherwise.
Status read_bank(Keys& keys, const PortDescription& ports, int& bank);

// Stores a new 1024-byte heap text "<label>: <value>" in *text; on
// SENSOR_ERR_NOMEM *text is null.
Status hand_over(char** text, const char* label, long value);

}  // namespace quorvik::sensor
